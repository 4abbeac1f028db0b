#include "Socket.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <glib.h>

#include <cerrno>
#include <cstdint>

namespace channel::detail {

bool SetNonBlocking(int fd, bool nonBlocking) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

bool PeerIsSameUser(int fd) {
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
    if (length != sizeof credentials) return false;
    return credentials.uid == geteuid();
}

bool SecretsEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::string MakeSecret() {
    unsigned char bytes[32];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            break;
        }
    }
    // Without the kernel's generator fall back on GLib's; still unguessable for another user,
    // who cannot reach the socket's folder anyway.
    for (; filled < sizeof bytes; ++filled)
        bytes[filled] = static_cast<unsigned char>(g_random_int_range(0, 256));
    static const char kHex[] = "0123456789abcdef";
    std::string secret;
    secret.reserve(2 * sizeof bytes);
    for (unsigned char b : bytes) {
        secret += kHex[b >> 4];
        secret += kHex[b & 15];
    }
    return secret;
}

}  // namespace channel::detail
