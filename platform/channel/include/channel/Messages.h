// The one message vocabulary between the UI process and the bridge module in the web process
// of the main window's page, and the framing both sides use on the socket.
//
// Framing: every frame is a 4-byte big-endian body length followed by that many bytes of JSON
// text, one object with the member "type" naming the message and one member per field. Texts
// are UTF-8. A frame whose length exceeds kMaxFrameSize, whose body is not such an object, or
// that names an unknown type or lacks a field of the right type is garbage: the reader closes
// the connection.
//
// Direction rule: the UI process never waits for the module. Only ServiceCall waits for an
// answer, and only the module waits.
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

// module -> UI, one-way. The first frame of every connection. The UI closes a connection whose
// first frame is not a Hello with the secret it handed out, or whose peer runs as another user.
// The module connects while it initialises, before any page exists, so the page ids travel on
// the later messages.
struct Hello {
    std::string secret;
};

// module -> UI, one-way. A frame of the page `pageId` got a fresh window object and the module
// installed `service` in it. The UI runs the main window's window-object hook on it and learns
// from it which connection serves the page.
struct WindowObjectCleared {
    std::uint64_t pageId = 0;
    bool mainFrame = false;
};

// module -> UI, waits for an answer (a ServiceAnswer with the same callId). The page `pageId`
// ran "call": `uri` and `method` as the page set them, `params` the compact JSON text of the
// value the module parsed from the page's "params" (possibly partial, "null\n" when nothing
// parsed).
struct ServiceCall {
    std::uint64_t callId = 0;
    std::uint64_t pageId = 0;
    std::string uri;
    std::string method;
    std::string params;
};

// UI -> module, one-way (it is the answer the module waits for). `handled` is false when no
// handler ran (the page is not the main view's current page, no handler is set, or the handler
// failed); `result` is then empty. Otherwise `result` is the compact JSON text of the handler's
// result value.
struct ServiceAnswer {
    std::uint64_t callId = 0;
    bool handled = false;
    std::string result;
};

// UI -> module, one-way. Call the global function `function` of the main frame of page
// `pageId` with one string argument, the global object being this.
struct PageCall {
    std::uint64_t pageId = 0;
    std::string function;
    std::string argument;
};

// UI -> module, one-way. Deliver the latest answer of the service of page `pageId` to its
// "onSuccess" (outcome 1) or "onFailure" (any other outcome), then "onResponse".
struct CallComplete {
    std::uint64_t pageId = 0;
    std::int64_t outcome = 0;
};

using Message =
    std::variant<Hello, WindowObjectCleared, ServiceCall, ServiceAnswer, PageCall, CallComplete>;

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
