// Small socket helpers shared by both ends of the channel.
#pragma once

#include <string>

namespace channel::detail {

bool SetNonBlocking(int fd, bool nonBlocking);
// True when the process at the other end of the Unix socket runs as our effective user.
bool PeerIsSameUser(int fd);
// Constant-time comparison, so that the time of a refusal tells nothing about the secret.
bool SecretsEqual(const std::string& a, const std::string& b);
// 32 random bytes as 64 lower-case hexadecimal digits.
std::string MakeSecret();

}  // namespace channel::detail
