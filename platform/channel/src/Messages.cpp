#include "channel/Messages.h"

#include <json/json.h>

#include <cstring>
#include <memory>
#include <sstream>

namespace channel {

namespace {

constexpr std::size_t kDefaultChunk = 64 * 1024;
constexpr std::size_t kShrinkAbove = 1024 * 1024;

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// Writers and readers are cached per thread: building them for every frame would cost more
// than the frame itself, and the two sides of a test may run on two threads.
Json::StreamWriter& BodyWriter() {
    thread_local std::unique_ptr<Json::StreamWriter> writer = [] {
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        // Texts go out as UTF-8 bytes rather than \u escapes, so non-ASCII text does not grow
        // sixfold inside the frame.
        builder["emitUTF8"] = true;
        return std::unique_ptr<Json::StreamWriter>(builder.newStreamWriter());
    }();
    return *writer;
}

Json::CharReader& BodyReader() {
    thread_local std::unique_ptr<Json::CharReader> reader = [] {
        Json::CharReaderBuilder builder;
        builder["allowComments"] = false;
        builder["failIfExtra"] = true;
        builder["rejectDupKeys"] = true;
        builder["allowSpecialFloats"] = false;
        // Bodies are flat objects: anything nested deeper than this is garbage anyway.
        builder["stackLimit"] = 16;
        return std::unique_ptr<Json::CharReader>(builder.newCharReader());
    }();
    return *reader;
}

Json::Value ToJson(const Message& message) {
    Json::Value body(Json::objectValue);
    body["type"] = MessageName(message);
    std::visit(Overloaded{
                   [&](const Hello& m) { body["secret"] = m.secret; },
                   [&](const WindowObjectCleared& m) {
                       body["pageId"] = Json::UInt64(m.pageId);
                       body["mainFrame"] = m.mainFrame;
                   },
                   [&](const ServiceCall& m) {
                       body["callId"] = Json::UInt64(m.callId);
                       body["pageId"] = Json::UInt64(m.pageId);
                       body["uri"] = m.uri;
                       body["method"] = m.method;
                       body["params"] = m.params;
                   },
                   [&](const ServiceAnswer& m) {
                       body["callId"] = Json::UInt64(m.callId);
                       body["handled"] = m.handled;
                       body["result"] = m.result;
                   },
                   [&](const PageCall& m) {
                       body["pageId"] = Json::UInt64(m.pageId);
                       body["function"] = m.function;
                       body["argument"] = m.argument;
                   },
                   [&](const CallComplete& m) {
                       body["pageId"] = Json::UInt64(m.pageId);
                       body["outcome"] = Json::Int64(m.outcome);
                   },
               },
               message);
    return body;
}

bool GetUInt64(const Json::Value& body, const char* name, std::uint64_t& out) {
    const Json::Value* v = body.find(name, name + std::strlen(name));
    if (v == nullptr || !v->isUInt64()) return false;
    out = v->asUInt64();
    return true;
}

bool GetInt64(const Json::Value& body, const char* name, std::int64_t& out) {
    const Json::Value* v = body.find(name, name + std::strlen(name));
    if (v == nullptr || !v->isInt64()) return false;
    out = v->asInt64();
    return true;
}

bool GetBool(const Json::Value& body, const char* name, bool& out) {
    const Json::Value* v = body.find(name, name + std::strlen(name));
    if (v == nullptr || !v->isBool()) return false;
    out = v->asBool();
    return true;
}

bool GetString(const Json::Value& body, const char* name, std::string& out) {
    const Json::Value* v = body.find(name, name + std::strlen(name));
    if (v == nullptr || !v->isString()) return false;
    const char* begin = nullptr;
    const char* end = nullptr;
    v->getString(&begin, &end);  // keeps embedded NULs
    out.assign(begin, end);
    return true;
}

bool FromJson(const Json::Value& body, Message& message) {
    std::string type;
    if (!GetString(body, "type", type)) return false;
    if (type == "Hello") {
        Hello m;
        if (!GetString(body, "secret", m.secret)) return false;
        message = std::move(m);
    } else if (type == "WindowObjectCleared") {
        WindowObjectCleared m;
        if (!GetUInt64(body, "pageId", m.pageId) || !GetBool(body, "mainFrame", m.mainFrame))
            return false;
        message = m;
    } else if (type == "ServiceCall") {
        ServiceCall m;
        if (!GetUInt64(body, "callId", m.callId) || !GetUInt64(body, "pageId", m.pageId) ||
            !GetString(body, "uri", m.uri) || !GetString(body, "method", m.method) ||
            !GetString(body, "params", m.params))
            return false;
        message = std::move(m);
    } else if (type == "ServiceAnswer") {
        ServiceAnswer m;
        if (!GetUInt64(body, "callId", m.callId) || !GetBool(body, "handled", m.handled) ||
            !GetString(body, "result", m.result))
            return false;
        message = std::move(m);
    } else if (type == "PageCall") {
        PageCall m;
        if (!GetUInt64(body, "pageId", m.pageId) || !GetString(body, "function", m.function) ||
            !GetString(body, "argument", m.argument))
            return false;
        message = std::move(m);
    } else if (type == "CallComplete") {
        CallComplete m;
        if (!GetUInt64(body, "pageId", m.pageId) || !GetInt64(body, "outcome", m.outcome))
            return false;
        message = m;
    } else {
        return false;
    }
    return true;
}

}  // namespace

const char* MessageName(const Message& message) {
    static const char* const kNames[] = {
        "Hello", "WindowObjectCleared", "ServiceCall", "ServiceAnswer", "PageCall", "CallComplete"};
    return kNames[message.index()];
}

bool EncodeFrame(const Message& message, std::string& out) {
    std::ostringstream stream;
    BodyWriter().write(ToJson(message), &stream);
    const std::string body = stream.str();
    if (body.size() > kMaxFrameSize) return false;
    const auto length = static_cast<std::uint32_t>(body.size());
    const char header[kFrameHeaderSize] = {
        static_cast<char>(length >> 24), static_cast<char>(length >> 16),
        static_cast<char>(length >> 8), static_cast<char>(length)};
    out.reserve(out.size() + kFrameHeaderSize + body.size());
    out.append(header, kFrameHeaderSize);
    out.append(body);
    return true;
}

bool DecodeBody(const char* data, std::size_t size, Message& message) {
    Json::Value body;
    std::string errors;
    try {
        if (!BodyReader().parse(data, data + size, &body, &errors)) return false;
        if (!body.isObject()) return false;
        return FromJson(body, message);
    } catch (const std::exception&) {
        // The reader throws on some inputs (nesting past its limit); that is garbage too.
        return false;
    }
}

char* FrameReader::Reserve(std::size_t want) {
    if (m_begin == m_end) {
        m_begin = m_end = 0;
        // A large frame once read should not pin its buffer for the life of the connection.
        if (m_buffer.size() > kShrinkAbove && want <= kShrinkAbove) {
            std::vector<char>().swap(m_buffer);
        }
    } else if (m_begin > 0 && (m_buffer.size() - m_end < want || m_begin >= m_buffer.size() / 2)) {
        // Moving the unconsumed tail to the front happens at most once per buffer-half consumed,
        // which keeps the total copying linear.
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_buffer.size() - m_end < want) m_buffer.resize(m_end + want);
    return m_buffer.data() + m_end;
}

void FrameReader::Commit(std::size_t bytes) {
    m_end += bytes;
}

void FrameReader::Append(const char* data, std::size_t size) {
    std::memcpy(Reserve(size), data, size);
    Commit(size);
}

bool FrameReader::HeaderLength(std::size_t& length) const {
    if (m_end - m_begin < kFrameHeaderSize) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(m_buffer.data() + m_begin);
    length = (std::size_t{p[0]} << 24) | (std::size_t{p[1]} << 16) | (std::size_t{p[2]} << 8) |
             std::size_t{p[3]};
    return true;
}

std::size_t FrameReader::Wanted() const {
    std::size_t length = 0;
    if (!HeaderLength(length) || length > m_maxFrameSize) return kDefaultChunk;
    const std::size_t have = m_end - m_begin;
    const std::size_t total = kFrameHeaderSize + length;
    return have < total ? std::max(total - have, kDefaultChunk) : kDefaultChunk;
}

bool FrameReader::HasFrame() const {
    std::size_t length = 0;
    if (!HeaderLength(length)) return false;
    return length > m_maxFrameSize || m_end - m_begin >= kFrameHeaderSize + length;
}

FrameReader::Result FrameReader::Next(Message& message) {
    std::size_t length = 0;
    if (!HeaderLength(length)) return Result::NeedMore;
    if (length > m_maxFrameSize) return Result::Error;
    if (m_end - m_begin < kFrameHeaderSize + length) return Result::NeedMore;
    const char* body = m_buffer.data() + m_begin + kFrameHeaderSize;
    m_begin += kFrameHeaderSize + length;
    if (!DecodeBody(body, length, message)) return Result::Error;
    return Result::Frame;
}

}  // namespace channel
