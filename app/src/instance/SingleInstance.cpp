#include "app/SingleInstance.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr char kRequest[] = "show\n";
constexpr char kAnswer[] = "ok\n";
// A connection that has not asked within this time is dropped, so that silent ones cannot
// pile up.
constexpr guint kClientTimeoutMs = 2000;
constexpr int kAnswerTimeoutMs = 5000;

bool FillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    return true;
}

// Waits until `fd` is ready for `events` or `deadline` has passed.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, static_cast<int>(left));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

// Asks the program listening on `path` to show its window; true once it said it did.
bool AskToShow(const std::string& path, std::chrono::steady_clock::time_point deadline) {
    sockaddr_un address;
    if (!FillAddress(path, address)) return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    bool shown = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) ==
            static_cast<ssize_t>(sizeof kRequest - 1)) {
        std::string answer;
        char buffer[16];
        while (answer.size() < sizeof kAnswer - 1 && WaitFor(fd, POLLIN, deadline)) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
                break;
            }
            answer.append(buffer, static_cast<size_t>(n));
        }
        shown = answer == kAnswer;
    }
    close(fd);
    return shown;
}

}  // namespace

CSingleInstance::~CSingleInstance() {
    for (auto& [client, sources] : m_clients) {
        g_source_remove(sources.first);
        g_source_remove(sources.second);
        close(client);
    }
    if (m_listenSource != 0) g_source_remove(m_listenSource);
    // The socket goes before the lock, so that whoever gets the lock next finds no socket of
    // ours to ask.
    if (m_listener >= 0) {
        close(m_listener);
        unlink(m_socketPath.c_str());
    }
    if (m_lock >= 0) close(m_lock);
}

std::string CSingleInstance::SocketPath(const std::string& storageFolder) {
    gchar* hash = g_compute_checksum_for_string(G_CHECKSUM_SHA256, storageFolder.c_str(), -1);
    std::string path = std::string(g_get_user_runtime_dir()) + "/trawlet." +
                       std::string(hash).substr(0, 32) + ".sock";
    g_free(hash);
    return path;
}

CSingleInstance::Outcome CSingleInstance::Claim(const std::string& storageFolder, int timeoutMs) {
    if (m_lock >= 0) return Outcome::First;
    const std::string lockPath = storageFolder + "/trawlet.lock";
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) return Outcome::Alone;
    m_socketPath = SocketPath(storageFolder);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (flock(lock, LOCK_EX | LOCK_NB) == 0) {
            m_lock = lock;
            Listen();
            return Outcome::First;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            close(lock);
            return Outcome::Alone;
        }
        if (AskToShow(m_socketPath, deadline)) {
            close(lock);
            return Outcome::HandedOver;
        }
        // The holder has the lock but no socket yet, or is ending: it is asked again, or its
        // lock taken once it is gone.
        if (std::chrono::steady_clock::now() >= deadline) {
            close(lock);
            return Outcome::NoAnswer;
        }
        g_usleep(50 * 1000);
    }
}

bool CSingleInstance::Listen() {
    sockaddr_un address;
    if (!FillAddress(m_socketPath, address)) return false;
    g_mkdir_with_parents(g_get_user_runtime_dir(), 0700);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // Whoever holds the lock owns the name: a socket found there is a killed program's.
    unlink(m_socketPath.c_str());
    const mode_t old = umask(0077);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    umask(old);
    if (!bound || listen(fd, 16) != 0) {
        close(fd);
        return false;
    }
    m_listener = fd;
    return true;
}

void CSingleInstance::ServeShowRequests(std::function<void()> onShow) {
    m_onShow = std::move(onShow);
    if (m_listener < 0 || m_listenSource != 0) return;
    m_listenSource = g_unix_fd_add(
        m_listener, G_IO_IN,
        [](gint, GIOCondition, gpointer self) -> gboolean {
            static_cast<CSingleInstance*>(self)->Accept();
            return G_SOURCE_CONTINUE;
        },
        this);
}

void CSingleInstance::Accept() {
    for (int i = 0; i < 16; ++i) {
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) return;
        // Only our own user may ask; the runtime folder is private already, this is the check
        // for one that is not.
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
            peer.uid != getuid()) {
            close(client);
            continue;
        }
        struct Context {
            CSingleInstance* self;
            int client;
        };
        auto* context = new Context{this, client};
        const guint read = g_unix_fd_add_full(
            G_PRIORITY_DEFAULT, client, G_IO_IN,
            [](gint, GIOCondition, gpointer data) -> gboolean {
                auto* c = static_cast<Context*>(data);
                c->self->Answer(c->client);
                return G_SOURCE_REMOVE;
            },
            context, [](gpointer data) { delete static_cast<Context*>(data); });
        const guint timeout = g_timeout_add_full(
            G_PRIORITY_DEFAULT, kClientTimeoutMs,
            [](gpointer data) -> gboolean {
                auto* c = static_cast<Context*>(data);
                c->self->CloseClient(c->client);
                return G_SOURCE_REMOVE;
            },
            new Context{this, client}, [](gpointer data) { delete static_cast<Context*>(data); });
        m_clients[client] = {read, timeout};
    }
}

void CSingleInstance::Answer(int client) {
    char buffer[16];
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
    const bool asked = n == static_cast<ssize_t>(sizeof kRequest - 1) &&
                       std::memcmp(buffer, kRequest, sizeof kRequest - 1) == 0;
    if (asked && m_onShow) m_onShow();
    if (asked) send(client, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL);
    CloseClient(client);
}

void CSingleInstance::CloseClient(int client) {
    auto it = m_clients.find(client);
    if (it == m_clients.end()) return;
    // The source that called this one is removed by its own answer; removing it here as well
    // is harmless only for the other one, so each is removed when it is not the caller.
    GSource* read = g_main_context_find_source_by_id(nullptr, it->second.first);
    GSource* timeout = g_main_context_find_source_by_id(nullptr, it->second.second);
    if (read && read != g_main_current_source()) g_source_destroy(read);
    if (timeout && timeout != g_main_current_source()) g_source_destroy(timeout);
    m_clients.erase(it);
    close(client);
}
