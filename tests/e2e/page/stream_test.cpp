// Streams in the list: the real page scans pages whose hls.js players load streams made by
// ffmpeg when the tests start. A master playlist's row opens to its variants with their
// resolutions, the one the player loaded marked as seen; the yt-dlp command copied for a
// chosen variant, run by /bin/sh against the loopback site, downloads that variant; and a
// stream encrypted with AES-128 is marked so, with its key's address. Nothing here waits for
// playback beyond the loading of playlists and segments: the engine's Media Source playback
// may stall (see media_test.cpp).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "e2e/Media.h"
#include "page/PageTest.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The AES-128 key of the encrypted stream, and the address its playlist names for it
// (relative, so it resolves against the playlist's own address).
constexpr const char* kKey = "0123456789abcdef";
constexpr const char* kKeyName = "enc.key";

// What the details pane shows of one quality, read back through the probe.
struct Variant {
    std::string title, seen;
    std::vector<std::string> tags;
    std::map<std::string, std::string> fields;
    int buttons = 0;

    std::string Field(const std::string& name) const {
        auto found = fields.find(name);
        return found == fields.end() ? "" : found->second;
    }
};

// The stream section of the details pane as the probe reads it: its summary and qualities.
constexpr const char* kReadStream = R"JS(
(function () {
  var summary = document.querySelector('#details .stream-summary');
  var out = [];
  var items = document.querySelectorAll('#details .variant');
  for (var i = 0; i < items.length; i++) {
    var li = items[i];
    var fields = {};
    var dts = li.querySelectorAll('.variant-fields dt');
    for (var j = 0; j < dts.length; j++) fields[dts[j].textContent] = dts[j].nextElementSibling.textContent;
    var tags = [];
    var ts = li.querySelectorAll('.tag');
    for (var k = 0; k < ts.length; k++) tags.push(ts[k].textContent);
    out.push({ title: li.querySelector('.variant-title').textContent, seen: li.dataset.seen,
               index: li.dataset.index, tags: tags, fields: fields,
               buttons: li.querySelectorAll('button').length });
  }
  return JSON.stringify({ summary: summary ? summary.textContent : '', variants: out });
})()
)JS";

// Whether the pane's stream section shows what the playlist offers ("read"), why it could
// not ("unread:" and the reason), or nothing yet ("").
constexpr const char* kStreamState = R"JS(
(function () {
  var section = document.querySelector('#details .stream');
  if (!section) return '';
  if (section.querySelector('.stream-summary')) return 'read';
  var note = section.querySelector('.stream-note');
  return note ? 'unread:' + note.textContent : '';
})()
)JS";

class StreamTest : public PageTest {
protected:
    // The streams are made once for all tests; a missing tool fails every test with the
    // reason (the tests' set-up installs them) rather than skipping.
    static void SetUpTestSuite() {
        char folder[] = "/tmp/trawlet-streams-XXXXXX";
        if (!mkdtemp(folder)) {
            s_problem = "cannot make a temporary folder";
            return;
        }
        s_mediaDir = folder;
        // Two variants of different sizes, MPEG-TS segments, a master playlist.
        s_problem = MakeMedia(s_mediaDir + "/hls", kH264Aac, kTwoVariantHls);
        if (!s_problem.empty()) return;
        // One quality, encrypted with AES-128: the key information file names the key's
        // address in the playlist, then the key file.
        const std::string aes = s_mediaDir + "/aes";
        if (!WriteFile(aes + "/" + kKeyName, kKey) ||
            !WriteFile(s_mediaDir + "/keyinfo",
                       std::string(kKeyName) + "\n" + aes + "/" + kKeyName + "\n")) {
            s_problem = "cannot write the key";
            return;
        }
        s_problem = MakeMedia(
            aes, kH264Aac,
            {"-f", "hls", "-hls_time", "1", "-hls_playlist_type", "vod", "-hls_key_info_file",
             s_mediaDir + "/keyinfo", "-hls_segment_filename", "s-%d.ts", "index.m3u8"});
    }
    static void TearDownTestSuite() {
        if (!s_mediaDir.empty() && !getenv("TRAWLET_E2E_KEEP")) RemoveTree(s_mediaDir);
        s_mediaDir.clear();
    }

    void SetUp() override {
        PageTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(s_problem.empty()) << s_problem;
        ServeMediaFolder(*site, s_mediaDir, "/media/");
        const std::string players = ServePlayers(*site);
        ASSERT_TRUE(players.empty()) << players;
    }

    // A page whose muted hls.js player loads `source`; with a level, the player keeps to
    // that variant (its index in the master playlist, ordered by bandwidth).
    void AddPlayerPage(const std::string& path, const std::string& source, int level = -1) {
        const std::string lock =
            level < 0 ? "" : "  hls.currentLevel = " + std::to_string(level) + ";\n";
        site->Route(path, Response::Html(Page(
                              "<script src=\"/players/hls.js\"></script>"
                              "<video id=\"video\" muted playsinline width=\"320\" height=\"180\">"
                              "</video>",
                              "var video = document.getElementById('video');\n"
                              "var hls = new Hls({ startLevel: " +
                                  std::to_string(level < 0 ? 0 : level) +
                                  " });\n"
                                  "hls.on(Hls.Events.MANIFEST_PARSED, function () {\n" +
                                  lock +
                                  "  video.play();\n"
                                  "});\n"
                                  "hls.loadSource('" +
                                  source +
                                  "');\n"
                                  "hls.attachMedia(video);\n")));
    }

    // Scans a page through the address field and waits until the site answered `paths`.
    void ScanPage(const std::string& path, const std::vector<std::string>& paths) {
        ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url(path)));
        ASSERT_NO_FATAL_FAILURE(Key("Return"));
        ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; }))
            << last;
        ASSERT_TRUE(WaitForScanWindow());
        KeepScanWindowsAside();
        for (const auto& p : paths) ASSERT_TRUE(site->WaitForPath(p, kStartTimeout)) << p;
    }

    // Selects the row of `path` with a click and shows the details pane.
    void OpenRow(const std::string& path) {
        const std::string url = site->Url(path);
        const std::string name = fs::path(path).filename().string();
        auto shown = [&] {
            return WaitUntil(
                [&] {
                    return Eval("document.getElementById('details-title').textContent") == name;
                },
                kActionTimeout);
        };
        ASSERT_TRUE(WaitForState([&](const PageState& s) { return s.Find(url) != nullptr; }))
            << last;
        ASSERT_NO_FATAL_FAILURE(ClickRow(*last.Find(url)));
        if (Eval("document.getElementById('details').hidden ? 'hidden' : 'shown'") == "hidden") {
            ASSERT_NO_FATAL_FAILURE(Click("#act-details"));
        }
        if (shown()) return;
        // FIXME: about once in twenty runs the first click on a playlist's row, made while
        // the scan's rows and the playlist's text are still arriving, selects nothing (the
        // cursor stays where focusing the list puts it, on the first row). The cause is not
        // known yet; the click gets a second chance, and says so.
        std::cerr << "note: the click on " << name << " selected nothing; clicking again\n";
        ASSERT_TRUE(WaitForState([&](const PageState& s) { return s.Find(url) != nullptr; }))
            << last;
        ASSERT_NO_FATAL_FAILURE(ClickRow(*last.Find(url)));
        ASSERT_TRUE(shown()) << last;
    }

    // Scans the page, waits until it loaded `paths`, and opens the row of `playlist` once the
    // page has read the playlist's text. The engine hands that text over only while its
    // memory cache holds it, which for a player's XMLHttpRequest is a matter of timing (about
    // one load in five here; see docs/ARCHITECTURE.md): the pane then says it could not read
    // the playlist, and the scan is started again, as a user would, at most four times.
    void ScanAndOpenPlaylist(const std::string& page, const std::vector<std::string>& paths,
                             const std::string& playlist) {
        std::string said;
        for (int attempt = 1; attempt <= 4; ++attempt) {
            ASSERT_NO_FATAL_FAILURE(ScanPage(page, paths));
            ASSERT_NO_FATAL_FAILURE(OpenRow(playlist));
            ASSERT_TRUE(WaitUntil(
                [&] {
                    said = Eval(kStreamState).value_or("");
                    return said == "read" || said.rfind("unread:", 0) == 0;
                },
                kStartTimeout))
                << "the pane shows nothing of the stream: " << said;
            if (said == "read") return;
            std::cerr << "note: scan " << attempt << ": " << said.substr(7) << "\n";
            // The next scan starts from a stopped one, and waits for loads of its own.
            ASSERT_NO_FATAL_FAILURE(Click("#stop"));
            ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "idle"; }))
                << last;
            site->ClearRecords();
        }
        FAIL() << "the playlist's text never arrived: " << said;
    }

    // The qualities the pane shows once `ready` holds for them.
    std::vector<Variant> WaitForVariants(
        const std::function<bool(const std::vector<Variant>&)>& ready,
        std::string* summary = nullptr) {
        std::vector<Variant> variants;
        WaitUntil(
            [&] {
                variants.clear();
                auto text = Eval(kReadStream);
                auto json = text ? ParseJson(*text) : std::nullopt;
                if (!json) return false;
                if (summary) *summary = JsonString(*json, "summary");
                for (const auto& v : JsonMember(*json, "variants")) {
                    Variant out{JsonString(v, "title"),
                                JsonString(v, "seen"),
                                JsonStrings(JsonMember(v, "tags")),
                                {},
                                static_cast<int>(JsonNumber(v, "buttons"))};
                    const Json::Value& fields = JsonMember(v, "fields");
                    for (const auto& name : fields.getMemberNames())
                        out.fields[name] = JsonString(fields, name.c_str());
                    variants.push_back(std::move(out));
                }
                return ready(variants);
            },
            kStartTimeout, Millis(100));
        return variants;
    }

    static inline std::string s_mediaDir;
    static inline std::string s_problem;
};

TEST_F(StreamTest, MasterRowListsItsVariantsAndTheCopiedCommandDownloadsTheChosenOne) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    // The player keeps to the larger variant; the smaller one is then downloaded.
    AddPlayerPage("/hls/index.html", "/media/hls/master.m3u8", 1);
    ASSERT_NO_FATAL_FAILURE(ScanAndOpenPlaylist(
        "/hls/index.html", {"/media/hls/master.m3u8", "/media/hls/v1.m3u8", "/media/hls/v1-0.ts"},
        "/media/hls/master.m3u8"));
    // The master's row says what it offers.
    const std::string masterUrl = site->Url("/media/hls/master.m3u8");
    EXPECT_TRUE(WaitForState([&](const PageState& s) {
        const Row* r = s.Find(masterUrl);
        return r && r->badge == "HLS · 2 variants";
    })) << last;

    // Both variants with their resolutions; seen exactly when the player loaded its playlist.
    auto requested = [&](const std::string& path) { return site->CountPath(path) > 0; };
    std::string summary;
    const auto variants = WaitForVariants(
        [&](const std::vector<Variant>& v) {
            return v.size() == 2 && (v[0].seen == "true") == requested("/media/hls/v0.m3u8") &&
                   (v[1].seen == "true") == requested("/media/hls/v1.m3u8");
        },
        &summary);
    ASSERT_EQ(variants.size(), 2u) << summary;
    EXPECT_THAT(variants[0].title, ::testing::StartsWith("160x90, "));
    EXPECT_THAT(variants[1].title, ::testing::StartsWith("320x180, "));
    EXPECT_EQ(variants[1].seen, "true");
    EXPECT_THAT(variants[1].tags, ::testing::Contains("seen"));
    EXPECT_EQ(variants[0].seen, requested("/media/hls/v0.m3u8") ? "true" : "false");
    for (const auto& v : variants) {
        EXPECT_THAT(v.Field("Codecs"), HasSubstr("avc1")) << v.title;
        EXPECT_EQ(v.buttons, 2) << v.title;
    }
    EXPECT_EQ(variants[0].Field("Address"), site->Url("/media/hls/v0.m3u8"));
    EXPECT_THAT(summary, HasSubstr("HLS master playlist"));
    EXPECT_THAT(summary, HasSubstr("2 variants"));

    // The keyboard reaches the commands from the list: → on the row, ↓ to the next quality.
    // The list gets the keyboard by a click below its rows (a second click on the row would
    // be a double click, which opens it).
    auto body = Rect("#results");
    ASSERT_TRUE(body);
    ASSERT_NO_FATAL_FAILURE(ClickAt(body->CenterX(), body->y + body->height - 30));
    ASSERT_TRUE(
        WaitUntil([&] { return Eval("document.activeElement.id") == "grid"; }, kActionTimeout));
    ASSERT_NO_FATAL_FAILURE(Key("Right"));
    EXPECT_TRUE(WaitUntil(
        [&] { return Eval("document.activeElement.dataset.focusKey") == "variant-0-ytdlp"; },
        kActionTimeout));
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    EXPECT_TRUE(WaitUntil(
        [&] { return Eval("document.activeElement.dataset.focusKey") == "variant-1-ytdlp"; },
        kActionTimeout));
    ASSERT_NO_FATAL_FAILURE(Key("Escape"));
    EXPECT_TRUE(
        WaitUntil([&] { return Eval("document.activeElement.id") == "grid"; }, kActionTimeout));

    // A look at the pane as the user sees it.
    ShotOfMainWindow("stream-variants.png");

    // The yt-dlp command of the smaller variant, copied by its button.
    const auto before = x->ClipboardText();
    ASSERT_NO_FATAL_FAILURE(
        Click("#details .variant[data-index=\"0\"] button[data-tool=\"ytdlp\"]"));
    const auto command = ClipboardChangedFrom(before);
    ASSERT_TRUE(command) << "nothing was copied";
    EXPECT_THAT(*command, ::testing::StartsWith("yt-dlp "));
    EXPECT_THAT(*command, HasSubstr(site->Url("/media/hls/v0.m3u8")));
    EXPECT_THAT(*command, HasSubstr("Referer:" + site->Url("/hls/index.html")));

    // Run as pasted into a shell, in an empty folder: it downloads the 160x90 variant.
    char folder[] = "/tmp/trawlet-download-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::string dir = folder;
    const CommandResult download =
        RunCommand({"/bin/sh", "-c", "cd \"$0\" && eval \"$1\"", dir, *command}, Millis(120000));
    EXPECT_TRUE(download.Ok()) << download.out << download.err;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    ASSERT_EQ(files.size(), 1u) << download.out << download.err;
    const CommandResult probe =
        RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                    "stream=width,height", "-of", "csv=p=0", files[0]});
    EXPECT_TRUE(probe.Ok()) << probe.err;
    EXPECT_EQ(probe.out, "160,90\n") << files[0];
    EXPECT_GE(site->CountPath("/media/hls/v0-1.ts"), 1u) << "the command did not fetch segments";
    RemoveTree(dir);

    // The player's worker comes from a blob: address, which the row says cannot be
    // downloaded from. (The engine reports no load for the Media Source behind the video.)
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return std::any_of(s.rows.begin(), s.rows.end(),
                           [](const Row& r) { return r.url.rfind("blob:", 0) == 0; });
    })) << last;
    const auto blob = std::find_if(last.rows.begin(), last.rows.end(),
                                   [](const Row& r) { return r.url.rfind("blob:", 0) == 0; });
    ASSERT_NO_FATAL_FAILURE(ClickRow(*blob));
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto note =
                Eval("(document.querySelector('#details .stream .stream-note') || {}).textContent");
            return note &&
                   note->find("cannot be downloaded from that address") != std::string::npos;
        },
        kActionTimeout));
    // Nothing went wrong on the way.
    ASSERT_TRUE(WaitForState([](const PageState&) { return true; }));
    EXPECT_EQ(last.S("message"), "");
    EXPECT_TRUE(run.Running());
}

TEST_F(StreamTest, AesStreamIsMarkedEncryptedWithItsKeyAddress) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    AddPlayerPage("/aes/index.html", "/media/aes/index.m3u8");
    ASSERT_NO_FATAL_FAILURE(ScanAndOpenPlaylist("/aes/index.html",
                                                {"/media/aes/index.m3u8", "/media/aes/s-0.ts"},
                                                "/media/aes/index.m3u8"));

    std::string summary;
    const auto variants = WaitForVariants(
        [](const std::vector<Variant>& v) { return v.size() == 1 && v[0].fields.count("Key"); },
        &summary);
    ASSERT_EQ(variants.size(), 1u) << summary;
    const Variant& v = variants[0];
    EXPECT_THAT(v.tags, ::testing::Contains("AES-128"));
    EXPECT_THAT(v.Field("Encryption"), ::testing::StartsWith("AES-128"));
    EXPECT_EQ(v.Field("Key"), site->Url(std::string("/media/aes/") + kKeyName));
    EXPECT_THAT(v.Field("Length"), ::testing::StartsWith("VOD, 2 s"));
    EXPECT_EQ(v.buttons, 2);
    EXPECT_THAT(summary, HasSubstr("HLS media playlist"));
    ShotOfMainWindow("stream-aes.png");
    EXPECT_TRUE(run.Running());
}

}  // namespace
}  // namespace e2e
