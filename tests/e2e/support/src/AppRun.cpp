#include "e2e/AppRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "e2e/Command.h"

namespace fs = std::filesystem;

namespace e2e {

namespace {

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::string MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "trawlet-e2e-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error(std::string("cannot make a temporary folder: ") +
                                 std::strerror(errno));
    return pattern;
}

}  // namespace

std::string BuildDir() {
    if (const char* dir = std::getenv("TRAWLET_BUILD_DIR"); dir && *dir) return dir;
#ifdef TRAWLET_BUILD_DIR
    return TRAWLET_BUILD_DIR;
#else
    return ".";
#endif
}

AppRun::AppRun(AppOptions options) : m_options(std::move(options)) {
    if (const AppRun* owner = m_options.sameFoldersAs) {
        static int shared = 0;
        m_options.executable = owner->Executable();
        m_options.inPlace = true;
        m_root = owner->m_root;
        m_appDir = owner->m_appDir;
        m_logTag = "beside-" + std::to_string(++shared) + "-";
        return;
    }
    m_root = MakeTempFolder();
    m_appDir = m_root + "/app";
    for (const auto& dir : {m_appDir, HtmlDir(), DataHome(), ConfigHome(), CacheHome(), Home()})
        fs::create_directories(dir);

    if (m_options.inPlace) return;
    const std::string source =
        m_options.executable.empty() ? BuildDir() + "/trawlet" : m_options.executable;
    std::error_code ec;
    fs::copy_file(source, Executable(), fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::permissions(Executable(), fs::perms::owner_all, fs::perm_options::add, ec);
    if (m_options.withBridge && fs::exists(BuildDir() + "/bridge"))
        fs::create_directory_symlink(fs::absolute(BuildDir() + "/bridge"), m_appDir + "/bridge",
                                     ec);
}

AppRun::~AppRun() {
    Kill();
    if (m_options.sameFoldersAs) return;
    const char* keep = std::getenv("TRAWLET_E2E_KEEP");
    if (!(keep && *keep)) RemoveTree(m_root);
}

std::string AppRun::Executable() const {
    if (m_options.inPlace) return m_options.executable;
    const std::string source =
        m_options.executable.empty() ? BuildDir() + "/trawlet" : m_options.executable;
    return m_appDir + "/" + fs::path(source).filename().string();
}

void AppRun::WritePage(const std::string& relativePath, std::string_view content) {
    WriteFile(HtmlDir() + "/" + relativePath, content);
}

void AppRun::SetEnv(const std::string& change) {
    m_env.push_back(change);
}

void AppRun::RegisterDefaultHandler() {
    const std::string script = m_root + "/handler.sh";
    WriteFile(script,
              "#!/bin/sh\n"
              "# Records each address it is asked to open, one a line.\n"
              "for address in \"$@\"; do printf '%s\\n' \"$address\" >> '" +
                  HandlerLog() + "'; done\n");
    std::error_code ec;
    fs::permissions(script, fs::perms::owner_all, fs::perm_options::add, ec);
    WriteFile(DataHome() + "/applications/trawlet-test-handler.desktop",
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Trawlet test handler\n"
              "Exec=" +
                  script +
                  " %u\n"
                  "NoDisplay=true\n"
                  "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
    WriteFile(ConfigHome() + "/mimeapps.list",
              "[Default Applications]\n"
              "x-scheme-handler/http=trawlet-test-handler.desktop\n"
              "x-scheme-handler/https=trawlet-test-handler.desktop\n"
              "[Added Associations]\n"
              "x-scheme-handler/http=trawlet-test-handler.desktop;\n"
              "x-scheme-handler/https=trawlet-test-handler.desktop;\n");
}

std::vector<std::string> AppRun::HandlerCalls() const {
    std::vector<std::string> calls;
    std::istringstream lines(ReadFile(HandlerLog()));
    for (std::string line; std::getline(lines, line);) calls.push_back(line);
    return calls;
}

std::optional<std::string> AppRun::WaitForHandlerCall(Millis timeout) {
    std::optional<std::string> call;
    WaitUntil(
        [&] {
            // Only whole lines count: the handler may be writing right now.
            const std::string log = ReadFile(HandlerLog());
            std::vector<std::string> lines;
            size_t start = 0;
            for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
                lines.push_back(log.substr(start, end - start));
            if (lines.size() <= m_handlerCallsSeen) return false;
            call = lines[m_handlerCallsSeen++];
            return true;
        },
        timeout);
    return call;
}

bool AppRun::Start() {
    if (Running()) return false;
    // The engine's helper processes of an earlier run may still be writing its state (local
    // storage) after the program ended; they get a while to finish before they are ended, so
    // that this run finds what the last one left.
    if (m_pid > 0) {
        WaitUntil([&] { return kill(-m_pid, 0) != 0 && errno == ESRCH; }, kActionTimeout);
        kill(-m_pid, SIGKILL);
    }
    ++m_runs;
    m_exitStatus.reset();

    std::vector<std::string> changes = {
        "HOME=" + Home(),
        "XDG_DATA_HOME=" + DataHome(),
        "XDG_CONFIG_HOME=" + ConfigHome(),
        "XDG_CACHE_HOME=" + CacheHome(),
        // The accessibility bus is not part of what is tested and only slows start-up.
        "NO_AT_BRIDGE=1",
    };
    changes.insert(changes.end(), m_env.begin(), m_env.end());
    const std::vector<std::string> env = MergedEnvironment(changes);

    const std::string program = Executable();
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const auto& a : m_options.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const std::string out = m_root + "/" + m_logTag + "stdout-" + std::to_string(m_runs) + ".txt";
    const std::string err = m_root + "/" + m_logTag + "stderr-" + std::to_string(m_runs) + ".txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, m_appDir.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so that teardown reaches the engine's helper processes too.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);

    const int rc =
        posix_spawn(&m_pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        m_pid = -1;
        return false;
    }
    return true;
}

bool AppRun::Running() {
    if (m_pid <= 0 || m_exitStatus) return false;
    int status = 0;
    const pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
        m_exitStatus = DecodeStatus(status);
        return false;
    }
    return done == 0;
}

std::optional<int> AppRun::WaitForExit(Millis timeout) {
    if (m_pid <= 0) return std::nullopt;
    WaitUntil([&] { return !Running(); }, timeout);
    return m_exitStatus;
}

void AppRun::Kill() {
    if (m_pid <= 0) return;
    // The group outlives its leader while helper processes remain; end them as well.
    kill(-m_pid, SIGKILL);
    if (!m_exitStatus) {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_exitStatus = DecodeStatus(status);
    }
}

std::string AppRun::Stdout() const {
    return ReadFile(m_root + "/" + m_logTag + "stdout-" + std::to_string(m_runs) + ".txt");
}

std::string AppRun::Stderr() const {
    return ReadFile(m_root + "/" + m_logTag + "stderr-" + std::to_string(m_runs) + ".txt");
}

}  // namespace e2e
