#include "channel/Messages.h"

#include <json/json.h>

#include <cstring>
#include <memory>
#include <sstream>

namespace channel {

namespace {

constexpr std::size_t kDefaultChunk = 64 * 1024;
constexpr std::size_t kShrinkAbove = 1024 * 1024;

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

// One writer and one reader per field kind; the message list picks them by the field's type.
void Put(Json::Value& body, const char* name, std::uint64_t value) {
    body[name] = Json::UInt64(value);
}
void Put(Json::Value& body, const char* name, std::int64_t value) {
    body[name] = Json::Int64(value);
}
void Put(Json::Value& body, const char* name, bool value) {
    body[name] = value;
}
void Put(Json::Value& body, const char* name, const std::string& value) {
    body[name] = value;
}

const Json::Value* Find(const Json::Value& body, const char* name) {
    return body.find(name, name + std::strlen(name));
}

bool Get(const Json::Value& body, const char* name, std::uint64_t& out) {
    const Json::Value* v = Find(body, name);
    if (v == nullptr || !v->isUInt64()) return false;
    out = v->asUInt64();
    return true;
}

bool Get(const Json::Value& body, const char* name, std::int64_t& out) {
    const Json::Value* v = Find(body, name);
    if (v == nullptr || !v->isInt64()) return false;
    out = v->asInt64();
    return true;
}

bool Get(const Json::Value& body, const char* name, bool& out) {
    const Json::Value* v = Find(body, name);
    if (v == nullptr || !v->isBool()) return false;
    out = v->asBool();
    return true;
}

bool Get(const Json::Value& body, const char* name, std::string& out) {
    const Json::Value* v = Find(body, name);
    if (v == nullptr || !v->isString()) return false;
    const char* begin = nullptr;
    const char* end = nullptr;
    v->getString(&begin, &end);  // keeps embedded NULs
    out.assign(begin, end);
    return true;
}

#define CHANNEL_PUT_FIELD(kind, name) Put(body, #name, m.name);
#define CHANNEL_ENCODER(Name, direction, flow, fields) \
    void Encode(const Name& m, Json::Value& body) {    \
        fields                                         \
    }
CHANNEL_MESSAGES(CHANNEL_ENCODER, CHANNEL_PUT_FIELD)
#undef CHANNEL_ENCODER
#undef CHANNEL_PUT_FIELD

Json::Value ToJson(const Message& message) {
    Json::Value body(Json::objectValue);
    body["type"] = MessageName(message);
    std::visit([&body](const auto& m) { Encode(m, body); }, message);
    return body;
}

// Every field must be there with the right kind; other members are ignored.
bool FromJson(const Json::Value& body, Message& message) {
    std::string type;
    if (!Get(body, "type", type)) return false;
#define CHANNEL_GET_FIELD(kind, name) &&Get(body, #name, m.name)
#define CHANNEL_DECODER(Name, direction, flow, fields) \
    if (type == #Name) {                               \
        Name m;                                        \
        if (!(true fields)) return false;              \
        message = std::move(m);                        \
        return true;                                   \
    }
    CHANNEL_MESSAGES(CHANNEL_DECODER, CHANNEL_GET_FIELD)
#undef CHANNEL_DECODER
#undef CHANNEL_GET_FIELD
    return false;
}

}  // namespace

const char* MessageName(const Message& message) {
#define CHANNEL_NAME(Name, direction, flow, fields) #Name,
    static const char* const kNames[] = {CHANNEL_MESSAGES(CHANNEL_NAME, CHANNEL_NO_FIELD)};
#undef CHANNEL_NAME
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
