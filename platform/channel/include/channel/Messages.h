// The one message vocabulary between the UI process and the bridge module in the web process
// of the main window's page, and the framing both sides use on the socket.
//
// Framing: every frame is a 4-byte big-endian body length followed by that many bytes of JSON
// text, one object with the member "type" naming the message and one member per field. Texts
// are UTF-8. A frame whose length exceeds kMaxFrameSize, whose body is not such an object, or
// that names an unknown type or lacks a field of the right type is garbage: the reader closes
// the connection.
//
// Direction rule: the UI process never waits for the module. Only the module waits, and only
// for the answer to a message the list below marks as waiting for one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace channel {

// Large enough for a 64 MB "params" text even when escaping doubles it inside the frame.
constexpr std::size_t kMaxFrameSize = std::size_t{256} << 20;
// Until a connection has presented the secret it may send nothing bigger than a Hello.
constexpr std::size_t kMaxHelloFrameSize = 4096;
constexpr std::size_t kFrameHeaderSize = 4;

// The messages:
//  - Hello: the first frame of every connection. The UI closes a connection whose first frame
//    is not a Hello with the secret it handed out, or whose peer runs as another user. The
//    module connects while it initialises, before any page exists, so the page ids travel on
//    the later messages.
//  - WindowObjectCleared: a frame of the page `pageId` got a fresh window object and the module
//    installed `service` in it. The UI runs the main window's window-object hook on it and
//    learns from it which connection serves the page.
//  - ServiceCall: the page `pageId` ran "call": `uri` and `method` as the page set them,
//    `params` the compact JSON text of the value the module parsed from the page's "params"
//    (possibly partial, "null\n" when nothing parsed). Its answer is the ServiceAnswer with
//    the same callId.
//  - ServiceAnswer: the answer the module waits for. `handled` is false when no handler ran
//    (the page is not the main view's current page, no handler is set, or the handler failed);
//    `result` is then empty. Otherwise `result` is the compact JSON text of the handler's
//    result value.
//  - PageCall: call the global function `function` of the main frame of page `pageId` with one
//    string argument, the global object being this.
//  - CallComplete: deliver the latest answer of the service of page `pageId` to its
//    "onSuccess" (outcome 1) or "onFailure" (any other outcome), then "onResponse".
//
// The vocabulary itself, each message once: its name, which way it travels, whether it waits
// for an answer, and its fields. A field is FIELD(kind, name), the kind one of those in
// channel::field below; in the frame it is the member of that name. The structs, the encoder
// and the decoder are all made from this list, and the order of the list is the order of the
// Message variant.
#define CHANNEL_MESSAGES(MESSAGE, FIELD)                                                       \
    MESSAGE(Hello, ModuleToUi, OneWay, FIELD(Text, secret))                                    \
    MESSAGE(WindowObjectCleared, ModuleToUi, OneWay, FIELD(Id, pageId) FIELD(Bool, mainFrame)) \
    MESSAGE(ServiceCall, ModuleToUi, WaitsForAnswer,                                           \
            FIELD(Id, callId) FIELD(Id, pageId) FIELD(Text, uri) FIELD(Text, method)           \
                FIELD(Text, params))                                                           \
    MESSAGE(ServiceAnswer, UiToModule, OneWay,                                                 \
            FIELD(Id, callId) FIELD(Bool, handled) FIELD(Text, result))                        \
    MESSAGE(PageCall, UiToModule, OneWay,                                                      \
            FIELD(Id, pageId) FIELD(Text, function) FIELD(Text, argument))                     \
    MESSAGE(CallComplete, UiToModule, OneWay, FIELD(Id, pageId) FIELD(Int, outcome))

// The kinds of field: ids are unsigned 64-bit numbers, Int a signed one, texts are UTF-8 bytes
// (embedded NULs kept).
namespace field {
using Id = std::uint64_t;
using Int = std::int64_t;
using Bool = bool;
using Text = std::string;
}  // namespace field

enum class Direction { ModuleToUi, UiToModule };
enum class Flow { OneWay, WaitsForAnswer };

// For expansions of the list that need only the messages.
#define CHANNEL_NO_FIELD(kind, name)

#define CHANNEL_STRUCT_FIELD(kind, name) field::kind name{};
#define CHANNEL_STRUCT(Name, direction, flow, fields)                 \
    struct Name {                                                     \
        static constexpr Direction kDirection = Direction::direction; \
        static constexpr Flow kFlow = Flow::flow;                     \
        fields                                                        \
    };
CHANNEL_MESSAGES(CHANNEL_STRUCT, CHANNEL_STRUCT_FIELD)
#undef CHANNEL_STRUCT
#undef CHANNEL_STRUCT_FIELD

#define CHANNEL_CHECK_FLOW(Name, direction, flow, fields)                                   \
    static_assert(Name::kFlow == Flow::OneWay || Name::kDirection == Direction::ModuleToUi, \
                  #Name ": the UI process never waits for the module");
CHANNEL_MESSAGES(CHANNEL_CHECK_FLOW, CHANNEL_NO_FIELD)
#undef CHANNEL_CHECK_FLOW

namespace detail {
// std::variant of the types after the first; the list below starts with a comma.
template <class Ignored, class... Types>
struct VariantOfRest {
    using Type = std::variant<Types...>;
};
}  // namespace detail

#define CHANNEL_VARIANT_MEMBER(Name, direction, flow, fields) , Name
using Message =
    detail::VariantOfRest<void CHANNEL_MESSAGES(CHANNEL_VARIANT_MEMBER, CHANNEL_NO_FIELD)>::Type;
#undef CHANNEL_VARIANT_MEMBER

// The message's name as it appears in the frame's "type" member.
const char* MessageName(const Message& message);

// Appends the frame of `message` to `out`. Answers false (and leaves `out` as it was) when the
// frame would exceed kMaxFrameSize.
bool EncodeFrame(const Message& message, std::string& out);

// Parses one frame body. Answers false for garbage.
bool DecodeBody(const char* data, std::size_t size, Message& message);

// Collects bytes from a stream socket and cuts them into frames. Consumed bytes are dropped in
// amortised constant time, so a long stream of small frames costs linear time.
class FrameReader {
public:
    enum class Result { Frame, NeedMore, Error };

    explicit FrameReader(std::size_t maxFrameSize = kMaxFrameSize) : m_maxFrameSize(maxFrameSize) {}

    void SetMaxFrameSize(std::size_t maxFrameSize) { m_maxFrameSize = maxFrameSize; }

    // Room for at least `want` more bytes; pass the returned pointer to read(), then Commit.
    char* Reserve(std::size_t want);
    void Commit(std::size_t bytes);
    void Append(const char* data, std::size_t size);

    // How many bytes the reader would like next: the rest of the current frame when its length
    // is known, else a default chunk.
    std::size_t Wanted() const;

    // Takes the next complete frame out of the buffer. After Error the stream is unusable.
    Result Next(Message& message);

    // True when a complete frame (or an error) is waiting, so that Next answers without reading.
    bool HasFrame() const;

    bool Empty() const { return m_begin == m_end; }

private:
    bool HeaderLength(std::size_t& length) const;

    std::vector<char> m_buffer;
    std::size_t m_begin = 0;  // first unconsumed byte
    std::size_t m_end = 0;    // one past the last valid byte
    std::size_t m_maxFrameSize;
};

}  // namespace channel
