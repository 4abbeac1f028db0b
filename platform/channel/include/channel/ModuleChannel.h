// The bridge module's end of the channel, in the web process. The page's "call" is
// synchronous, so this end blocks: it sends a ServiceCall and reads the socket (a plain
// blocking wait, not a nested main loop) until the answer arrives, running the one-way messages
// that come first, in order. Outside calls it serves one-way messages from a GLib source.
#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "channel/Messages.h"

namespace channel {

class ModuleChannel {
public:
    // Runs a one-way message from the UI process (PageCall, CallComplete). It may itself make a
    // nested Call.
    using OneWayHandler = std::function<void(const Message&)>;

    // Takes ownership of a connected stream socket.
    explicit ModuleChannel(int fd);
    ~ModuleChannel();

    ModuleChannel(const ModuleChannel&) = delete;
    ModuleChannel& operator=(const ModuleChannel&) = delete;

    // Connects to the UI process's socket at `address` and presents `secret`. Null on failure.
    static std::unique_ptr<ModuleChannel> Connect(const std::string& address,
                                                  const std::string& secret);

    void SetOneWayHandler(OneWayHandler handler) { m_oneWay = std::move(handler); }

    // Writes a whole frame, blocking until the socket took it. False when the channel is closed
    // (it closes on a write error) or the frame is too large.
    bool Send(const Message& message);

    // Sends `call` under a fresh call id (its callId is ignored) and waits for the answer with
    // that id. One-way messages that arrive first run through the handler, in order; answers to
    // outer calls that arrive during a nested call are kept for them. False at once when the
    // channel is or becomes closed (end of file, socket error, garbage) or the frame is too
    // large; `answer` is then untouched.
    bool Call(ServiceCall call, ServiceAnswer& answer);

    // Serves one-way messages from the main loop of `context` while no call is waiting. One
    // context at a time; Attach replaces an earlier one.
    void Attach(GMainContext* context);
    void Detach();

    // Runs the one-way messages that can be read now without waiting. Answers how many ran.
    std::size_t DispatchPending();

    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    // How deep Call is nested right now (0 outside calls).
    int CallDepth() const { return static_cast<int>(m_waiting.size()); }

private:
    struct Source;
    static gboolean SourcePrepare(GSource* source, gint* timeout);
    static gboolean SourceCheck(GSource* source);
    static gboolean SourceDispatch(GSource* source, GSourceFunc, gpointer);

    enum class FrameStatus { Taken, NeedMore, Broken };

    // Reads what the socket holds; with `wait`, first blocks until something arrives. Answers
    // the bytes read, 0 when nothing was there, -1 once the channel is closed.
    long ReadMore(bool wait);
    // Runs or files the next complete frame of the buffer.
    FrameStatus TakeFrame();
    void RunOneWay(const Message& message);

    int m_fd = -1;
    FrameReader m_reader;
    OneWayHandler m_oneWay;
    std::uint64_t m_nextCallId = 1;
    std::set<std::uint64_t> m_waiting;               // ids of the calls waiting on the stack
    std::map<std::uint64_t, ServiceAnswer> m_stash;  // answers that arrived for outer calls
    GSource* m_source = nullptr;
    void* m_sourceTag = nullptr;
};

}  // namespace channel
