// A protected video found by a scan is fetched again by the command the page copies: the
// site gives the file only to a request that carries the page as Referer, the engine's
// User-Agent and the cookies the page set, and each tool's command, run by a POSIX shell in
// an empty folder, downloads exactly the bytes the site served. Without cookies and
// credentials the command carries no Cookie header, and the site refuses it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "page/PageTest.h"

namespace e2e {
namespace {

using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace fs = std::filesystem;

// The cookies the page sets, one each way a site sets them: on the page's response, by the
// page's script, and HttpOnly on the script's response, which the page's script cannot see.
constexpr const char* kPageCookie = "visit=page-1";
constexpr const char* kScriptCookie = "consent=script-2";
constexpr const char* kHiddenCookie = "session=hidden-3";

// Bytes that no tool could make up: a few hundred kilobytes of a fixed pseudo-random sequence.
std::string VideoBytes() {
    std::mt19937 random(20251209);
    std::string bytes(300000, '\0');
    for (auto& b : bytes) b = static_cast<char>(random() & 0xff);
    return bytes;
}

// The "name=value" pairs of a Cookie header.
std::vector<std::string> CookiePairs(const std::string& header) {
    std::vector<std::string> pairs;
    size_t start = 0;
    while (start < header.size()) {
        size_t end = header.find(';', start);
        if (end == std::string::npos) end = header.size();
        std::string pair = header.substr(start, end - start);
        pair.erase(0, pair.find_first_not_of(' '));
        if (!pair.empty()) pairs.push_back(pair);
        start = end + 1;
    }
    return pairs;
}

// The watch page, its player script and the video behind the checks. The site answers on
// its own thread, so what it learnt is kept under a lock.
class ProtectedVideo {
public:
    explicit ProtectedVideo(TestSite& site)
        : m_site(site), m_bytes(VideoBytes()), m_state(std::make_shared<State>()) {
        auto state = m_state;
        site.Route("/watch/index.html", [state, script = site.ReportScript()](const Request& r) {
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                if (state->userAgent.empty()) state->userAgent = r.Header("User-Agent");
            }
            Response page = Response::Html(
                "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>watch</title>"
                "<script>" +
                script +
                "</script></head><body><h1>Watch</h1>"
                "<script src=\"/watch/player.js\"></script></body></html>\n");
            page.headers = {{"Set-Cookie", std::string(kPageCookie) + "; Path=/"}};
            return page;
        });
        Response player =
            Response::Of("text/javascript", "document.cookie = '" + std::string(kScriptCookie) +
                                                "; path=/';\n"
                                                "report('page sees ' + document.cookie);\n"
                                                "var video = document.createElement('video');\n"
                                                "video.preload = 'auto';\n"
                                                "video.src = '/watch/media/clip.mp4';\n"
                                                "document.body.appendChild(video);\n");
        player.headers = {{"Set-Cookie", std::string(kHiddenCookie) + "; Path=/; HttpOnly"}};
        site.Route("/watch/player.js", player);
        site.Route("/watch/media/clip.mp4", [state, bytes = m_bytes,
                                             page = PageUrl()](const Request& r) {
            std::lock_guard<std::mutex> lock(state->mutex);
            const auto cookies = CookiePairs(r.Header("Cookie"));
            const bool allowed = r.Header("Referer") == page && !state->userAgent.empty() &&
                                 r.Header("User-Agent") == state->userAgent &&
                                 std::count(cookies.begin(), cookies.end(), kPageCookie) == 1 &&
                                 std::count(cookies.begin(), cookies.end(), kScriptCookie) == 1 &&
                                 std::count(cookies.begin(), cookies.end(), kHiddenCookie) == 1;
            state->answers.push_back(allowed ? 200 : 403);
            if (allowed) return Response::Of("video/mp4", bytes);
            Response refused = Response::Of("text/plain", "refused\n");
            refused.status = 403;
            return refused;
        });
    }

    std::string PageUrl() const { return m_site.Url("/watch/index.html"); }
    std::string MediaUrl() const { return m_site.Url("/watch/media/clip.mp4"); }
    const std::string& Bytes() const { return m_bytes; }
    // The statuses the video was answered with, in order.
    std::vector<unsigned> Answers() const {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->answers;
    }
    std::string UserAgent() const {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->userAgent;
    }

private:
    struct State {
        std::mutex mutex;
        std::string userAgent;  // of the scan window's request for the page
        std::vector<unsigned> answers;
    };

    TestSite& m_site;
    const std::string m_bytes;
    std::shared_ptr<State> m_state;
};

// The regular files below a folder.
std::vector<fs::path> FilesIn(const std::string& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
    return files;
}

// Runs a copied command as a user pastes it into a shell: /bin/sh, in `folder`. The tools
// read no configuration of the machine's user (HOME is a folder of their own) and go to the
// site directly, never through a proxy.
CommandResult RunInFolder(const std::string& command, const std::string& folder,
                          const std::string& home) {
    return RunCommand(
        {"/bin/sh", "-c", "cd \"$1\" && eval \"$2\"", "sh", folder, command}, Millis(120000),
        {"HOME=" + home, "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "CURL_HOME", "WGETRC", "http_proxy",
         "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"});
}

struct Tool {
    const char* value;    // in the page's list of tools, in its order
    const char* program;  // the command's first word
    // How a request header is given: a word of its own after this option, or joined to it.
    const char* headerOption;
    bool joined;
};

constexpr Tool kTools[] = {{"curl", "curl", "-H", false},
                           {"wget", "wget", "--header=", true},
                           {"media", "yt-dlp", "--add-headers", false}};

// The request headers a command's words give, as "Name" and value (the blanks after the
// colon are the tool's, not the value's).
std::vector<std::pair<std::string, std::string>> HeadersIn(const Tool& tool,
                                                           const std::vector<std::string>& words) {
    std::vector<std::pair<std::string, std::string>> headers;
    const std::string option = tool.headerOption;
    for (size_t i = 0; i < words.size(); ++i) {
        std::string field;
        if (tool.joined && words[i].rfind(option, 0) == 0)
            field = words[i].substr(option.size());
        else if (!tool.joined && words[i] == option && i + 1 < words.size())
            field = words[++i];
        else
            continue;
        const size_t colon = field.find(':');
        if (colon == std::string::npos) continue;
        const size_t value = field.find_first_not_of(' ', colon + 1);
        headers.emplace_back(field.substr(0, colon),
                             value == std::string::npos ? "" : field.substr(value));
    }
    return headers;
}

std::string HeaderIn(const std::vector<std::pair<std::string, std::string>>& headers,
                     const std::string& name) {
    for (const auto& [n, v] : headers)
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
    return {};
}

TEST_F(PageTest, CopiedCommandsDownloadAProtectedVideoWithEachTool) {
    for (const Tool& tool : kTools)
        ASSERT_TRUE(RunCommand({"sh", "-c", std::string("command -v ") + tool.program}).Ok())
            << tool.program << " is not installed (./scripts/deps.sh --test installs it)";

    ProtectedVideo video(*site);
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(StartScan(video.PageUrl()));

    // The engine itself passes the site's checks, which so ask for no more than a browser
    // sends; the page's script never sees the HttpOnly cookie.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto answers = video.Answers();
            return std::count(answers.begin(), answers.end(), 200u) > 0;
        },
        kStartTimeout))
        << "the scan window's own requests for the video were refused: "
        << ::testing::PrintToString(video.Answers());
    const auto seen = site->WaitForReportPrefix("page sees ");
    ASSERT_TRUE(seen);
    EXPECT_THAT(*seen, HasSubstr(kScriptCookie));
    EXPECT_THAT(*seen, Not(HasSubstr(kHiddenCookie)));
    ASSERT_FALSE(video.UserAgent().empty());

    // The video's row, selected by a click.
    ASSERT_TRUE(WaitForState([&](const PageState& s) { return s.Find("/watch/media/") != nullptr; },
                             kStartTimeout))
        << last;
    const Row row = *last.Find("/watch/media/");
    EXPECT_EQ(row.url, video.MediaUrl());
    ASSERT_NO_FATAL_FAILURE(ClickRow(row));
    ASSERT_TRUE(WaitForState([&](const PageState& s) {
        const auto selected = Selected(s);
        return s.N("selected") == 1 && selected.size() == 1 && selected[0].url == row.url;
    })) << last;

    std::optional<std::string> clip = x->ClipboardText();
    auto credentialsSwitch = [&](bool on) {
        const std::string want = on ? "on" : "off";
        const std::string read =
            "document.getElementById('cmd-credentials').checked ? 'on' : 'off'";
        if (Eval(read) != want) {
            ASSERT_NO_FATAL_FAILURE(Click("#cmd-credentials"));
        }
        ASSERT_TRUE(WaitUntil([&] { return Eval(read) == want; }, kActionTimeout, Millis(50)))
            << "the switch stays " << Eval(read).value_or("?");
    };
    // The command on the clipboard after Ctrl+Shift+C, and the request headers it gives,
    // read from the words the shell makes of it.
    struct Copied {
        std::string text;
        std::vector<std::pair<std::string, std::string>> headers;
    };
    auto copyCommand = [&](const Tool& tool) -> Copied {
        Key("ctrl+shift+c");
        clip = ClipboardChangedFrom(clip);
        EXPECT_TRUE(clip) << "no command on the clipboard; " << last;
        if (!clip) return {};
        EXPECT_EQ(clip->rfind(std::string(tool.program) + " ", 0), 0u) << *clip;
        const auto words = ShellWords(tool.program, *clip);
        EXPECT_TRUE(words) << "the shell refused:\n" << *clip;
        if (!words) return {*clip, {}};
        EXPECT_FALSE(words->empty() || words->back() != video.MediaUrl()) << *clip;
        return {*clip, HeadersIn(tool, *words)};
    };

    for (size_t i = 0; i < std::size(kTools); ++i) {
        const Tool& tool = kTools[i];
        SCOPED_TRACE(tool.program);
        // The tools are listed in this order and curl is chosen at first: the next one is
        // one step down in the list's menu.
        if (i > 0) {
            ASSERT_NO_FATAL_FAILURE(Click("#cmd-tool"));
            ASSERT_NO_FATAL_FAILURE(Key("Down"));
            ASSERT_NO_FATAL_FAILURE(Key("Return"));
        }
        ASSERT_TRUE(WaitForState([&](const PageState& s) { return s.S("cmdTool") == tool.value; }))
            << last;
        const std::string home = run.Home() + "/tools-home";
        fs::create_directories(home);

        // With cookies and credentials: the command downloads the very bytes served.
        ASSERT_NO_FATAL_FAILURE(credentialsSwitch(true));
        const auto [command, headers] = copyCommand(tool);
        ASSERT_FALSE(command.empty());
        EXPECT_EQ(HeaderIn(headers, "Referer"), video.PageUrl()) << command;
        EXPECT_EQ(HeaderIn(headers, "User-Agent"), video.UserAgent()) << command;
        EXPECT_THAT(CookiePairs(HeaderIn(headers, "Cookie")),
                    ::testing::UnorderedElementsAre(kPageCookie, kScriptCookie, kHiddenCookie))
            << command;
        for (const char* never : {"Range", "Host", "Sec-Fetch-Mode", "Sec-Fetch-Dest"})
            EXPECT_EQ(HeaderIn(headers, never), "") << never << " in\n" << command;
        const std::string folder = run.Home() + "/with-" + tool.program;
        fs::create_directories(folder);
        size_t asked = video.Answers().size();
        CommandResult got = RunInFolder(command, folder, home);
        EXPECT_TRUE(got.Ok()) << "status " << got.status << "\n"
                              << command << "\n"
                              << got.out << got.err;
        const auto answers = video.Answers();
        EXPECT_THAT(std::vector<unsigned>(answers.begin() + asked, answers.end()), Each(200u))
            << command;
        const auto files = FilesIn(folder);
        ASSERT_EQ(files.size(), 1u) << ::testing::PrintToString(files) << "\n" << got.err;
        EXPECT_TRUE(ReadFile(files[0].string()) == video.Bytes())
            << files[0] << " holds " << fs::file_size(files[0]) << " bytes, not the "
            << video.Bytes().size() << " served";

        // Without: no Cookie header, and the site refuses the request.
        ASSERT_NO_FATAL_FAILURE(credentialsSwitch(false));
        const auto [bare, bareHeaders] = copyCommand(tool);
        ASSERT_FALSE(bare.empty());
        EXPECT_EQ(HeaderIn(bareHeaders, "Cookie"), "") << bare;
        EXPECT_EQ(HeaderIn(bareHeaders, "Referer"), video.PageUrl()) << bare;
        EXPECT_EQ(strcasestr(bare.c_str(), "cookie"), nullptr) << bare;
        for (const char* cookie : {kPageCookie, kScriptCookie, kHiddenCookie})
            EXPECT_THAT(bare, Not(HasSubstr(cookie)));
        const std::string bareFolder = run.Home() + "/without-" + tool.program;
        fs::create_directories(bareFolder);
        asked = video.Answers().size();
        const CommandResult refusedRun = RunInFolder(bare, bareFolder, home);
        const auto refused = video.Answers();
        EXPECT_THAT(std::vector<unsigned>(refused.begin() + asked, refused.end()),
                    ::testing::AllOf(Not(IsEmpty()), Each(403u)))
            << bare;
        // A refusal is a failure of the command, never a file under the video's name.
        EXPECT_FALSE(refusedRun.Ok()) << bare << "\n" << refusedRun.out << refusedRun.err;
        EXPECT_THAT(FilesIn(bareFolder), IsEmpty()) << bare;
    }
}

}  // namespace
}  // namespace e2e
