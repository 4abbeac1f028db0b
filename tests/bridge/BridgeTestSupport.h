// Helpers for the bridge tests: standalone script contexts, captured standard error, a GLib
// main loop on a thread of its own (the UI process's side of the channel), and a service
// handler that answers like the real one.
#pragma once

#include <JavaScriptCore/JavaScript.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bridgetest {

// A context group with any number of global contexts in it, like the frames of one page.
class ScriptGroup {
public:
    ScriptGroup() : m_group(JSContextGroupCreate()) {}
    ~ScriptGroup() {
        for (JSGlobalContextRef c : m_contexts) JSGlobalContextRelease(c);
        JSContextGroupRelease(m_group);
    }
    JSGlobalContextRef NewContext() {
        m_contexts.push_back(JSGlobalContextCreateInGroup(m_group, nullptr));
        return m_contexts.back();
    }

private:
    JSContextGroupRef m_group;
    std::vector<JSGlobalContextRef> m_contexts;
};

// Runs `script`; the exception slot tells whether anything escaped to the page.
inline JSValueRef Eval(JSContextRef context, const std::string& script,
                       JSValueRef* exception = nullptr) {
    JSStringRef source = JSStringCreateWithUTF8CString(script.c_str());
    JSValueRef local = nullptr;
    JSValueRef value = JSEvaluateScript(context, source, nullptr, nullptr, 1, &local);
    JSStringRelease(source);
    if (exception != nullptr) *exception = local;
    return value;
}

inline std::string ToUtf8(JSContextRef context, JSValueRef value) {
    if (value == nullptr) return "<null ref>";
    JSStringRef s = JSValueToStringCopy(context, value, nullptr);
    if (s == nullptr) return "<no string>";
    std::string out(JSStringGetMaximumUTF8CStringSize(s), '\0');
    out.resize(JSStringGetUTF8CString(s, out.data(), out.size()) - 1);
    JSStringRelease(s);
    return out;
}

// Evaluates and answers the string form of the result, failing the test on an exception.
inline std::string EvalText(JSContextRef context, const std::string& script) {
    JSValueRef exception = nullptr;
    JSValueRef value = Eval(context, script, &exception);
    EXPECT_EQ(exception, nullptr) << "script threw: " << ToUtf8(context, exception);
    return ToUtf8(context, value);
}

// Collects what the process writes to standard error while it lives.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        m_file = std::tmpfile();
        m_saved = dup(2);
        dup2(fileno(m_file), 2);
    }
    ~StderrCapture() { Restore(); }
    std::string Text() {
        Restore();
        std::string text;
        std::rewind(m_file);
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0) text.append(buffer, n);
        return text;
    }

private:
    void Restore() {
        if (m_saved < 0) return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
    }
    std::FILE* m_file;
    int m_saved;
};

// A GLib main loop on its own thread, standing in for the UI process.
class LoopThread {
public:
    LoopThread() : m_context(g_main_context_new()), m_loop(g_main_loop_new(m_context, FALSE)) {
        m_thread = std::thread([this] {
            g_main_context_push_thread_default(m_context);
            g_main_loop_run(m_loop);
            g_main_context_pop_thread_default(m_context);
        });
    }
    ~LoopThread() {
        Run([this] { g_main_loop_quit(m_loop); });
        m_thread.join();
        g_main_loop_unref(m_loop);
        g_main_context_unref(m_context);
    }
    GMainContext* context() const { return m_context; }

    // Runs `fn` on the loop's thread and waits for it.
    template <class F>
    auto Run(F fn) -> decltype(fn()) {
        using R = decltype(fn());
        struct Job {
            F fn;
            std::promise<R> done;
        } job{std::move(fn), {}};
        auto future = job.done.get_future();
        g_main_context_invoke(
            m_context,
            [](gpointer data) -> gboolean {
                auto* j = static_cast<Job*>(data);
                if constexpr (std::is_void_v<R>) {
                    j->fn();
                    j->done.set_value();
                } else {
                    j->done.set_value(j->fn());
                }
                return G_SOURCE_REMOVE;
            },
            &job);
        return future.get();
    }

    // Asks `condition` on the loop's thread until it holds or `timeout` passes.
    bool WaitFor(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Run(condition)) return true;
            std::this_thread::yield();
        }
        return Run(condition);
    }

private:
    GMainContext* m_context;
    GMainLoop* m_loop;
    std::thread m_thread;
};

// What a handler saw, one entry per call.
struct HandledCall {
    std::u16string uri;
    std::u16string method;
    Json::Value params;
    void* userData = nullptr;
};

// A handler that answers like the real service handler: "returnValue" 1 for "pause" and
// "stop" of "com.kestovan.trawlet", 0 for anything else, and records every call.
struct TestHandlerLog {
    std::mutex lock;
    std::vector<HandledCall> calls;
    std::function<void(const HandledCall&, Json::Value&)> extra;  // runs before answering

    void Clear() {
        std::lock_guard<std::mutex> g(lock);
        calls.clear();
        extra = nullptr;
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> g(lock);
        return calls.size();
    }
    HandledCall Last() {
        std::lock_guard<std::mutex> g(lock);
        return calls.empty() ? HandledCall{} : calls.back();
    }
};

inline TestHandlerLog& HandlerLog() {
    static TestHandlerLog log;
    return log;
}

inline int TestHandler(const std::u16string& uri, const std::u16string& method,
                       const Json::Value& params, void* userData, Json::Value& result) {
    HandledCall call{uri, method, params, userData};
    std::function<void(const HandledCall&, Json::Value&)> extra;
    {
        std::lock_guard<std::mutex> g(HandlerLog().lock);
        HandlerLog().calls.push_back(call);
        extra = HandlerLog().extra;
    }
    int outcome = 0;
    if (uri == u"com.kestovan.trawlet" && (method == u"pause" || method == u"stop")) outcome = 1;
    if (extra) extra(call, result);
    result["returnValue"] = outcome;
    return outcome;
}

inline std::string JsonText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["commentStyle"] = "None";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

}  // namespace bridgetest
