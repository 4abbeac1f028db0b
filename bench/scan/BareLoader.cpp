#include "BareLoader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "e2e/Command.h"

using e2e::Clock;
using e2e::Millis;

BareLoader::BareLoader(std::string program) : m_program(std::move(program)) {
    char pattern[] = "/tmp/trawlet-bench-scan-XXXXXX";
    if (mkdtemp(pattern)) m_root = pattern;
}

BareLoader::~BareLoader() {
    if (m_pid > 0) {
        if (m_in >= 0) close(m_in);
        kill(-m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    if (m_out >= 0) close(m_out);
    if (!m_root.empty()) e2e::RemoveTree(m_root);
}

bool BareLoader::Start() {
    int in[2], out[2];
    if (m_root.empty() || pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
    const std::vector<std::string> env = e2e::MergedEnvironment({
        "HOME=" + m_root,
        "XDG_DATA_HOME=" + m_root + "/data",
        "XDG_CONFIG_HOME=" + m_root + "/config",
        "XDG_CACHE_HOME=" + m_root + "/cache",
        "NO_AT_BRIDGE=1",
    });
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {m_program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so that the engine's helper processes end with it.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    const int rc = posix_spawn(&m_pid, m_program.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(in[0]);
    close(out[1]);
    m_in = in[1];
    m_out = out[0];
    if (rc != 0) m_pid = -1;
    return rc == 0;
}

double BareLoader::Load(const std::string& address, Millis timeout) {
    const std::string line = address + "\n";
    if (write(m_in, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return NAN;
    auto answer = ReadLine(timeout);
    if (!answer) return NAN;
    long long started = 0, finished = 0;
    if (std::sscanf(answer->c_str(), "loaded %lld %lld", &started, &finished) != 2) {
        std::fprintf(stderr, "bare view: %s\n", answer->c_str());
        return NAN;
    }
    return static_cast<double>(finished - started) / 1000.0;
}

std::optional<std::string> BareLoader::ReadLine(Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        if (left <= 0) return std::nullopt;
        pollfd p{m_out, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char chunk[4096];
        const ssize_t got = read(m_out, chunk, sizeof chunk);
        if (got <= 0) return std::nullopt;
        m_buffer.append(chunk, static_cast<size_t>(got));
    }
}
