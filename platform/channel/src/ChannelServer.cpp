#include "channel/ChannelServer.h"

#include <glib-unix.h>
#include <glib/gstdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>

#include "Socket.h"

namespace channel {

namespace {

// One dispatch reads at most this much, so a peer that streams without pause cannot keep the
// UI's main loop from its other work.
constexpr std::size_t kMaxReadPerDispatch = std::size_t{8} << 20;

std::string SocketBaseFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && g_file_test(runtime, G_FILE_TEST_IS_DIR))
        return runtime;
    return g_get_tmp_dir();
}

GSource* AddFdWatch(GMainContext* context, int fd, GIOCondition condition, GUnixFDSourceFunc func,
                    gpointer data) {
    GSource* source = g_unix_fd_source_new(fd, condition);
    g_source_set_callback(source, reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(func)),
                          data, nullptr);
    g_source_attach(source, context);
    return source;
}

void DropSource(GSource*& source) {
    if (source == nullptr) return;
    g_source_destroy(source);
    g_source_unref(source);
    source = nullptr;
}

// Answers true when nobody listens on the socket at `path` any more.
bool NobodyListens(const std::string& path) {
    struct sockaddr_un address {};
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    address.sun_family = AF_UNIX;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool refused = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                         errno == ECONNREFUSED;
    close(fd);
    return refused;
}

// A program that was killed (kill -9, a crash) leaves its socket folder behind. The folders of
// this user whose socket nobody listens on any more are removed; a running program's folder
// answers and is kept, and anything else in the base folder is never touched.
void RemoveStaleFolders(const std::string& base, const std::string& socketName) {
    GDir* dir = g_dir_open(base.c_str(), 0, nullptr);
    if (dir == nullptr) return;
    while (const char* name = g_dir_read_name(dir)) {
        if (std::strncmp(name, "trawlet-", 8) != 0 || std::strlen(name) != 14) continue;
        const std::string folder = base + "/" + name;
        struct stat info {};
        if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != getuid()) {
            continue;
        }
        const std::string socket = folder + socketName;
        // A socket made in the last minute may belong to a program that is starting now and
        // has bound it but not yet listened on it.
        if (lstat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
            info.st_mtime > time(nullptr) - 60) {
            continue;
        }
        if (!NobodyListens(socket)) continue;
        g_unlink(socket.c_str());
        g_rmdir(folder.c_str());  // fails, and keeps the folder, when anything else is in it
    }
    g_dir_close(dir);
}

}  // namespace

struct ChannelServer::Connection {
    ChannelServer* server = nullptr;
    ConnectionId id = 0;
    int fd = -1;
    bool authenticated = false;
    FrameReader reader{kMaxHelloFrameSize};
    GSource* readSource = nullptr;
    GSource* writeSource = nullptr;
    GSource* helloTimer = nullptr;
    std::deque<std::string> output;
    std::size_t outputOffset = 0;  // bytes of output.front() already written
    std::size_t queuedBytes = 0;

    ~Connection() {
        DropSource(readSource);
        DropSource(writeSource);
        DropSource(helloTimer);
        if (fd >= 0) close(fd);
    }
};

ChannelServer::ChannelServer(GMainContext* context)
    : m_context(context != nullptr ? g_main_context_ref(context)
                                   : g_main_context_ref_thread_default()),
      m_secret(detail::MakeSecret()) {}

ChannelServer::~ChannelServer() {
    m_connections.clear();
    DropSource(m_listenSource);
    DropSource(m_listenPause);
    if (m_listenFd >= 0) close(m_listenFd);
    if (!m_address.empty()) g_unlink(m_address.c_str());
    if (!m_directory.empty()) g_rmdir(m_directory.c_str());
    g_main_context_unref(m_context);
}

bool ChannelServer::Listen() {
    if (m_listenFd >= 0) return true;
    const std::string base = SocketBaseFolder();
    std::string folder = base + "/trawlet-XXXXXX";
    const std::string socketName = "/channel";
    RemoveStaleFolders(base, socketName);
    struct sockaddr_un address {};
    if (folder.size() + socketName.size() >= sizeof address.sun_path) {
        // A runtime folder too deep for a socket path: the temporary folder is short enough.
        folder = std::string("/tmp") + "/trawlet-XXXXXX";
    }
    // mkdtemp makes the folder with mode 0700: nobody else can reach the socket inside it.
    if (mkdtemp(folder.data()) == nullptr) return false;
    m_directory = folder;
    const std::string path = folder + socketName;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    address.sun_family = AF_UNIX;

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0) {
        close(fd);
        return false;
    }
    m_listenFd = fd;
    m_address = path;
    WatchListeningSocket();
    return true;
}

void ChannelServer::WatchListeningSocket() {
    m_listenSource =
        AddFdWatch(m_context, m_listenFd, G_IO_IN, &ChannelServer::OnAcceptReady, this);
}

gboolean ChannelServer::OnListenAgain(gpointer self) {
    auto* server = static_cast<ChannelServer*>(self);
    DropSource(server->m_listenPause);
    server->WatchListeningSocket();
    return G_SOURCE_REMOVE;
}

gboolean ChannelServer::OnAcceptReady(gint, GIOCondition, gpointer self) {
    static_cast<ChannelServer*>(self)->AcceptPending();
    return G_SOURCE_CONTINUE;
}

void ChannelServer::AcceptPending() {
    for (int accepted = 0; accepted < kMaxAcceptsPerDispatch;) {
        int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if ((errno == EMFILE || errno == ENFILE) && DropOldestPending()) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors with nobody to push out: the socket stays readable, so
                // watching it would spin. Look again in a little while.
                DropSource(m_listenSource);
                m_listenPause = g_timeout_source_new(100);
                g_source_set_callback(m_listenPause, &ChannelServer::OnListenAgain, this, nullptr);
                g_source_attach(m_listenPause, m_context);
            }
            return;  // EAGAIN: nothing more waits
        }
        ++accepted;
        const ConnectionId id = Adopt(fd);
        // The module writes its secret as soon as it has connected, so it is often here
        // already; reading it now settles the connection before the next one is let in.
        if (Connection* connection = Find(id)) ReadFrom(*connection);
    }
}

std::size_t ChannelServer::PendingCount() const {
    std::size_t count = 0;
    for (const auto& entry : m_connections) count += entry.second->authenticated ? 0 : 1;
    return count;
}

bool ChannelServer::DropOldestPending() {
    // Identifiers grow with each connection, so the first waiting one found is the oldest.
    for (const auto& entry : m_connections) {
        if (!entry.second->authenticated) {
            m_connections.erase(entry.first);
            return true;
        }
    }
    return false;
}

gboolean ChannelServer::OnHelloTimeout(gpointer data) {
    auto* connection = static_cast<Connection*>(data);
    // The timer belongs to the connection; dropping the connection destroys it, and GLib
    // ignores what a destroyed source answers.
    connection->server->Fail(connection->id);
    return G_SOURCE_REMOVE;
}

ChannelServer::ConnectionId ChannelServer::Adopt(int fd) {
    if (fd < 0) return 0;
    if (!detail::PeerIsSameUser(fd) || !detail::SetNonBlocking(fd, true)) {
        close(fd);
        return 0;
    }
    if (PendingCount() >= kMaxPendingConnections) DropOldestPending();
    auto connection = std::make_unique<Connection>();
    connection->server = this;
    connection->id = m_nextId++;
    connection->fd = fd;
    connection->readSource =
        AddFdWatch(m_context, fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                   &ChannelServer::OnReadReady, connection.get());
    connection->helloTimer = g_timeout_source_new(m_helloTimeoutMs);
    g_source_set_callback(connection->helloTimer, &ChannelServer::OnHelloTimeout, connection.get(),
                          nullptr);
    g_source_attach(connection->helloTimer, m_context);
    ConnectionId id = connection->id;
    m_connections.emplace(id, std::move(connection));
    return id;
}

ChannelServer::Connection* ChannelServer::Find(ConnectionId id) const {
    auto it = m_connections.find(id);
    return it == m_connections.end() ? nullptr : it->second.get();
}

bool ChannelServer::IsAuthenticated(ConnectionId id) const {
    Connection* c = Find(id);
    return c != nullptr && c->authenticated;
}

std::size_t ChannelServer::QueuedBytes(ConnectionId id) const {
    Connection* c = Find(id);
    return c == nullptr ? 0 : c->queuedBytes;
}

void ChannelServer::Close(ConnectionId id) {
    m_connections.erase(id);
}

void ChannelServer::Fail(ConnectionId id) {
    auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    const bool announce = it->second->authenticated;
    m_connections.erase(it);
    if (announce && onClosed) onClosed(id);
}

gboolean ChannelServer::OnReadReady(gint, GIOCondition, gpointer data) {
    auto* connection = static_cast<Connection*>(data);
    ChannelServer* server = connection->server;
    const ConnectionId id = connection->id;
    server->ReadFrom(*connection);
    // The connection may be gone now; its source was destroyed with it, and GLib ignores the
    // answer of a destroyed source.
    return server->Find(id) != nullptr ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void ChannelServer::ReadFrom(Connection& connection) {
    const ConnectionId id = connection.id;
    std::size_t total = 0;
    bool peerGone = false;
    while (total < kMaxReadPerDispatch) {
        const std::size_t want = connection.reader.Wanted();
        char* buffer = connection.reader.Reserve(want);
        ssize_t got = recv(connection.fd, buffer, want, MSG_DONTWAIT);
        if (got > 0) {
            connection.reader.Commit(static_cast<std::size_t>(got));
            total += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        peerGone = true;  // end of file or a socket error
        break;
    }
    // Whatever complete frames arrived before the end still count.
    for (;;) {
        Message message;
        FrameReader::Result result = connection.reader.Next(message);
        if (result == FrameReader::Result::NeedMore) break;
        if (result == FrameReader::Result::Error) {
            Fail(id);
            return;
        }
        if (!Handle(connection, message)) return;
    }
    if (peerGone) Fail(id);
}

bool ChannelServer::Handle(Connection& connection, Message& message) {
    const ConnectionId id = connection.id;
    if (!connection.authenticated) {
        auto* hello = std::get_if<Hello>(&message);
        if (hello == nullptr || !detail::SecretsEqual(hello->secret, m_secret)) {
            Fail(id);
            return false;
        }
        connection.authenticated = true;
        DropSource(connection.helloTimer);
        connection.reader.SetMaxFrameSize(kMaxFrameSize);
        if (onHello) onHello(id);
        return Find(id) != nullptr;
    }
    if (auto* cleared = std::get_if<WindowObjectCleared>(&message)) {
        if (onWindowObjectCleared) onWindowObjectCleared(id, *cleared);
    } else if (auto* call = std::get_if<ServiceCall>(&message)) {
        if (onServiceCall) onServiceCall(id, *call);
    } else {
        // A second Hello, or a message that only the UI process sends: the peer is confused.
        Fail(id);
        return false;
    }
    return Find(id) != nullptr;
}

bool ChannelServer::Send(ConnectionId id, const Message& message) {
    Connection* connection = Find(id);
    if (connection == nullptr || !connection->authenticated) return false;
    std::string frame;
    if (!EncodeFrame(message, frame)) return false;
    if (connection->queuedBytes + frame.size() > kMaxQueuedBytes) return false;
    connection->queuedBytes += frame.size();
    connection->output.push_back(std::move(frame));
    Flush(*connection);
    return true;
}

void ChannelServer::Flush(Connection& connection) {
    while (!connection.output.empty()) {
        const std::string& front = connection.output.front();
        ssize_t sent = send(connection.fd, front.data() + connection.outputOffset,
                            front.size() - connection.outputOffset, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            // The peer is gone. Closing here could pull the connection away from a caller that
            // is still using it, so stop both directions instead: the read watch then sees the
            // end of the stream and closes the connection from the main loop.
            connection.output.clear();
            connection.outputOffset = 0;
            connection.queuedBytes = 0;
            shutdown(connection.fd, SHUT_RDWR);
            break;
        }
        connection.outputOffset += static_cast<std::size_t>(sent);
        connection.queuedBytes -= static_cast<std::size_t>(sent);
        if (connection.outputOffset == front.size()) {
            connection.output.pop_front();
            connection.outputOffset = 0;
        }
    }
    if (connection.output.empty()) {
        DropSource(connection.writeSource);
    } else if (connection.writeSource == nullptr) {
        connection.writeSource = AddFdWatch(m_context, connection.fd, G_IO_OUT,
                                            &ChannelServer::OnWriteReady, &connection);
    }
}

gboolean ChannelServer::OnWriteReady(gint, GIOCondition, gpointer data) {
    auto* connection = static_cast<Connection*>(data);
    // Flush drops this very source when the queue empties; keep it alive until we return.
    GSource* self = g_source_ref(connection->writeSource);
    connection->server->Flush(*connection);
    const bool keep = connection->writeSource == self;
    g_source_unref(self);
    return keep ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

}  // namespace channel
