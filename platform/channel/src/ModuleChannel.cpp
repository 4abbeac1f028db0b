#include "channel/ModuleChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Socket.h"

namespace channel {

struct ModuleChannel::Source {
    GSource base;
    ModuleChannel* channel;
};

ModuleChannel::ModuleChannel(int fd) : m_fd(fd) {
    // This end may block: the UI process never waits for us, so a full socket drains.
    if (m_fd >= 0) detail::SetNonBlocking(m_fd, false);
}

ModuleChannel::~ModuleChannel() {
    Detach();
    if (m_fd >= 0) close(m_fd);
}

std::unique_ptr<ModuleChannel> ModuleChannel::Connect(const std::string& address,
                                                      const std::string& secret) {
    struct sockaddr_un name {};
    if (address.empty() || address.size() >= sizeof name.sun_path) return nullptr;
    name.sun_family = AF_UNIX;
    std::memcpy(name.sun_path, address.c_str(), address.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<sockaddr*>(&name), sizeof name);
    } while (rc != 0 && errno == EINTR);
    // The folder is private to our user, but a socket that another user serves is refused all
    // the same: it is not our UI process.
    if (rc != 0 || !detail::PeerIsSameUser(fd)) {
        close(fd);
        return nullptr;
    }
    auto channel = std::make_unique<ModuleChannel>(fd);
    if (!channel->Send(Hello{secret})) return nullptr;
    return channel;
}

void ModuleChannel::Close() {
    if (m_fd < 0) return;
    if (m_source != nullptr && m_sourceTag != nullptr) {
        g_source_remove_unix_fd(m_source, m_sourceTag);
        m_sourceTag = nullptr;
    }
    close(m_fd);
    m_fd = -1;
}

bool ModuleChannel::Send(const Message& message) {
    if (m_fd < 0) return false;
    std::string frame;
    if (!EncodeFrame(message, frame)) return false;
    std::size_t offset = 0;
    while (offset < frame.size()) {
        ssize_t sent = send(m_fd, frame.data() + offset, frame.size() - offset, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            Close();
            return false;
        }
        offset += static_cast<std::size_t>(sent);
    }
    return true;
}

long ModuleChannel::ReadMore(bool wait) {
    if (m_fd < 0) return -1;
    if (wait) {
        struct pollfd p {
            m_fd, POLLIN, 0
        };
        for (;;) {
            int rc = poll(&p, 1, -1);
            if (rc > 0) break;
            if (rc < 0 && errno != EINTR) {
                Close();
                return -1;
            }
        }
    }
    for (;;) {
        const std::size_t want = m_reader.Wanted();
        char* buffer = m_reader.Reserve(want);
        ssize_t got = recv(m_fd, buffer, want, MSG_DONTWAIT);
        if (got > 0) {
            m_reader.Commit(static_cast<std::size_t>(got));
            return got;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        Close();  // end of file or a socket error
        return -1;
    }
}

ModuleChannel::FrameStatus ModuleChannel::TakeFrame() {
    Message message;
    switch (m_reader.Next(message)) {
        case FrameReader::Result::NeedMore:
            return FrameStatus::NeedMore;
        case FrameReader::Result::Error:
            // After garbage nothing on the stream can be trusted, buffered frames included.
            Close();
            m_reader = FrameReader();
            return FrameStatus::Broken;
        case FrameReader::Result::Frame:
            break;
    }
    if (auto* answer = std::get_if<ServiceAnswer>(&message)) {
        // An answer nobody waits for (a confused peer) is dropped rather than kept forever.
        if (m_waiting.count(answer->callId) != 0) m_stash[answer->callId] = std::move(*answer);
    } else {
        RunOneWay(message);
    }
    return FrameStatus::Taken;
}

void ModuleChannel::RunOneWay(const Message& message) {
    if (m_oneWay) m_oneWay(message);
}

bool ModuleChannel::Call(ServiceCall call, ServiceAnswer& answer) {
    if (m_fd < 0) return false;
    const std::uint64_t id = m_nextCallId++;
    call.callId = id;
    if (!Send(call)) return false;
    m_waiting.insert(id);
    for (;;) {
        auto stashed = m_stash.find(id);
        if (stashed != m_stash.end()) {
            answer = std::move(stashed->second);
            m_stash.erase(stashed);
            m_waiting.erase(id);
            return true;
        }
        FrameStatus status = TakeFrame();
        if (status == FrameStatus::Taken) continue;
        // Frames that arrived before the end of the stream have been taken by now: a closed
        // channel fails the call only once the buffer holds nothing complete.
        if (status == FrameStatus::Broken || ReadMore(true) < 0) {
            m_waiting.erase(id);
            return false;
        }
    }
}

std::size_t ModuleChannel::DispatchPending() {
    std::size_t ran = 0;
    for (;;) {
        FrameStatus status = TakeFrame();
        if (status == FrameStatus::Taken) {
            ++ran;
            continue;
        }
        if (status == FrameStatus::Broken || ReadMore(false) <= 0) break;
    }
    return ran;
}

gboolean ModuleChannel::SourcePrepare(GSource* source, gint* timeout) {
    *timeout = -1;
    return reinterpret_cast<Source*>(source)->channel->m_reader.HasFrame();
}

gboolean ModuleChannel::SourceCheck(GSource* source) {
    ModuleChannel* channel = reinterpret_cast<Source*>(source)->channel;
    if (channel->m_reader.HasFrame()) return TRUE;
    if (channel->m_sourceTag == nullptr) return FALSE;
    return (g_source_query_unix_fd(source, channel->m_sourceTag) &
            (G_IO_IN | G_IO_HUP | G_IO_ERR)) != 0;
}

gboolean ModuleChannel::SourceDispatch(GSource* source, GSourceFunc, gpointer) {
    reinterpret_cast<Source*>(source)->channel->DispatchPending();
    return G_SOURCE_CONTINUE;
}

void ModuleChannel::Attach(GMainContext* context) {
    Detach();
    static GSourceFuncs funcs = {&ModuleChannel::SourcePrepare,
                                 &ModuleChannel::SourceCheck,
                                 &ModuleChannel::SourceDispatch,
                                 nullptr,
                                 nullptr,
                                 nullptr};
    m_source = g_source_new(&funcs, sizeof(Source));
    reinterpret_cast<Source*>(m_source)->channel = this;
    g_source_set_name(m_source, "bridge channel");
    if (m_fd >= 0)
        m_sourceTag = g_source_add_unix_fd(
            m_source, m_fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_attach(m_source, context);
}

void ModuleChannel::Detach() {
    if (m_source == nullptr) return;
    g_source_destroy(m_source);
    g_source_unref(m_source);
    m_source = nullptr;
    m_sourceTag = nullptr;
}

}  // namespace channel
