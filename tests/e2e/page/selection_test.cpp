// Selecting rows by clicks and keys and what the page does with them: copies of addresses and
// of a download command, the CSV and JSON export on the clipboard and into a file, and handing
// addresses to the default program.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "page/PageTest.h"

namespace e2e {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace fs = std::filesystem;

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

TEST_F(PageTest, SelectionByClicksAndKeysCopiesAddressesAndCommands) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::vector<Row> rows = last.rows;
    ASSERT_EQ(rows.size(), static_cast<size_t>(kScanSiteRows));
    std::optional<std::string> clip = x->ClipboardText();

    auto selectedUrls = [&] { return AddressesBehind(Selected(last), *site); };
    auto waitSelected = [&](int n) {
        return WaitForState([&](const PageState& s) {
            return s.N("selected") == n && static_cast<int>(Selected(s).size()) == n;
        });
    };

    // A click selects one row; Ctrl+C copies its address.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[1]));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows[1].url);
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+c"));
    clip = ClipboardChangedFrom(clip);
    EXPECT_EQ(clip, rows[1].url);

    // Shift-click extends to a range; Ctrl+C copies one address a line.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[4], "shift"));
    ASSERT_TRUE(waitSelected(4)) << last;
    EXPECT_THAT(selectedUrls(),
                ElementsAreArray(AddressesBehind({rows.begin() + 1, rows.begin() + 5}, *site)));
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+c"));
    clip = ClipboardChangedFrom(clip);
    EXPECT_EQ(clip, JoinLines(selectedUrls()));

    // Ctrl-click adds a row; "Copy addresses" copies the selection, the segment group as
    // its segments.
    const size_t groupAt =
        std::find_if(rows.begin(), rows.end(), [](const Row& r) { return r.group == "segments"; }) -
        rows.begin();
    ASSERT_LT(groupAt, rows.size());
    ASSERT_GT(groupAt, 4u);
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[groupAt], "ctrl"));
    ASSERT_TRUE(waitSelected(5)) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#act-copy"));
    clip = ClipboardChangedFrom(clip);
    const auto fiveRows = selectedUrls();
    ASSERT_EQ(fiveRows.size(), 8u);
    EXPECT_EQ(clip, JoinLines(fiveRows));

    // Ctrl-click again takes the row out.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[groupAt], "ctrl"));
    ASSERT_TRUE(waitSelected(4)) << last;

    // Ctrl+A in the list selects every row; a curl command holds every address, each one
    // word for a POSIX shell, whatever it holds.
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+a"));
    ASSERT_TRUE(waitSelected(kScanSiteRows)) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#act-cmd"));
    clip = ClipboardChangedFrom(clip);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->rfind("curl ", 0), 0u) << *clip;
    auto words = ShellWords("curl", *clip);
    ASSERT_TRUE(words) << "the shell refused the command:\n" << *clip;
    // Addresses with different request headers go into separate curl requests joined by
    // --next; each one repeats the options and carries the User-Agent the engine sent.
    std::vector<std::string> addresses;
    const std::vector<std::string> options = {"--fail", "--location", "--globoff",
                                              "--remote-name-all"};
    for (size_t i = 0; i < words->size();) {
        if (i > 0) {
            ASSERT_EQ((*words)[i], "--next") << *clip;
            ++i;
        }
        ASSERT_LE(i + options.size(), words->size()) << *clip;
        EXPECT_TRUE(std::equal(options.begin(), options.end(), words->begin() + i)) << *clip;
        i += options.size();
        bool userAgent = false;
        for (; i + 1 < words->size() && (*words)[i] == "-H"; i += 2)
            userAgent = userAgent || (*words)[i + 1].rfind("User-Agent: ", 0) == 0;
        EXPECT_TRUE(userAgent) << *clip;
        for (; i < words->size() && (*words)[i] != "--next"; ++i) addresses.push_back((*words)[i]);
    }
    EXPECT_THAT(addresses, ElementsAreArray(AddressesBehind(last.rows, *site))) << *clip;
    EXPECT_THAT(*clip, HasSubstr("'\\''")) << "the quote in an address is not quoted";

    // The row's own Copy button copies that row's address exactly.
    const Row* hostile = last.Find("it's");
    ASSERT_TRUE(hostile) << last;
    ASSERT_NO_FATAL_FAILURE(ClickAt(hostile->copyBox.CenterX(), hostile->copyBox.CenterY()));
    clip = ClipboardChangedFrom(clip);
    EXPECT_EQ(clip, site->Url(std::string(kHostilePath) + kHostileQuery));

    // Esc clears the selection; arrows move it, Shift+arrow extends it.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[0]));
    ASSERT_TRUE(waitSelected(1)) << last;
    ASSERT_NO_FATAL_FAILURE(Key("Escape"));
    ASSERT_TRUE(waitSelected(0)) << last;
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows[1].url);
    ASSERT_NO_FATAL_FAILURE(Key("shift+Down"));
    ASSERT_NO_FATAL_FAILURE(Key("shift+Down"));
    ASSERT_TRUE(waitSelected(3)) << last;
    EXPECT_EQ(Selected(last).back().url, rows[3].url);

    // End and Home jump to the last and first row; Space takes the current row out of the
    // selection and puts it back.
    ASSERT_NO_FATAL_FAILURE(Key("End"));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows.back().url);
    ASSERT_NO_FATAL_FAILURE(Key("shift+Home"));
    ASSERT_TRUE(waitSelected(kScanSiteRows)) << last;
    ASSERT_NO_FATAL_FAILURE(Key("Home"));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows[0].url);
    ASSERT_NO_FATAL_FAILURE(Key("space"));
    ASSERT_TRUE(waitSelected(0)) << last;
    ASSERT_NO_FATAL_FAILURE(Key("space"));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows[0].url);
}

TEST_F(PageTest, ExportGivesCsvAndJsonOnTheClipboardAndSavesAFile) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::vector<Row> rows = last.rows;
    const std::vector<std::string> everyAddress = AddressesBehind(rows, *site);
    ASSERT_EQ(last.S("exportFormat"), "csv");

    // Nothing selected: the export takes every row shown.
    std::optional<std::string> clip = x->ClipboardText();
    ASSERT_NO_FATAL_FAILURE(Click("#export-copy"));
    clip = ClipboardChangedFrom(clip);
    ASSERT_TRUE(clip);
    const std::string csv = *clip;
    auto table = ParseCsv(csv);
    ASSERT_TRUE(table) << "not valid CSV:\n" << csv;
    ASSERT_GE(table->size(), 1u);
    const std::vector<std::string> header = {
        "File name", "Type", "Size", "Bytes", "Kind", "Hits", "First seen", "Last seen", "Address"};
    EXPECT_THAT((*table)[0], ElementsAreArray(header));
    EXPECT_EQ(csv.find("\r\n"), csv.find('\n') - 1) << "records end with CRLF";
    std::vector<std::string> addresses;
    std::map<std::string, std::vector<std::string>> byAddress;
    for (size_t i = 1; i < table->size(); ++i) {
        const auto& record = (*table)[i];
        ASSERT_EQ(record.size(), header.size()) << "record " << i << " of\n" << csv;
        addresses.push_back(record[8]);
        byAddress[record[8].substr(0, record[8].find('#'))] = record;
    }
    EXPECT_THAT(addresses, ElementsAreArray(everyAddress)) << csv;
    const auto& hostile = byAddress[site->Url(std::string(kHostilePath) + kHostileQuery)];
    ASSERT_FALSE(hostile.empty()) << csv;
    EXPECT_EQ(hostile[3], "60");
    EXPECT_EQ(hostile[4], "image");
    const auto& dup = byAddress[site->Url("/site/img/dup.gif")];
    ASSERT_FALSE(dup.empty()) << csv;
    EXPECT_EQ(dup[5], "3");
    EXPECT_EQ(byAddress[site->Url("/site/hls/seg-2.ts")][4], "video");
    EXPECT_EQ(byAddress[site->Url("/site/hls/stream.m3u8")][4], "playlist");

    // "Save file" hands the same text to the engine's download, into the download folder.
    ASSERT_NO_FATAL_FAILURE(Click("#export-save"));
    std::string saved;
    const bool found = WaitUntil(
        [&] {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(downloads, ec)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind("trawlet-", 0) == 0 && entry.path().extension() == ".csv") {
                    saved = ReadFile(entry.path().string());
                    if (saved == csv) return true;
                }
            }
            return false;
        },
        kActionTimeout, Millis(100));
    std::string listing;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(run.Home(), ec))
        listing += "  " + entry.path().string() + "\n";
    EXPECT_TRUE(found) << "no file with the export in " << downloads << " (" << saved.size()
                       << " bytes read); files under HOME:\n"
                       << listing << "page: " << last;
    // The program tells the page where the file went.
    ASSERT_TRUE(WaitForState([&](const PageState& s) {
        return s.S("notice").find("Saved " + downloads + "/trawlet-") == 0;
    })) << last;

    // JSON chosen in its list (the select opens a menu; Down and Return pick the next entry).
    ASSERT_NO_FATAL_FAILURE(Click("#export-format"));
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("exportFormat") == "json"; }))
        << last;
    ASSERT_NO_FATAL_FAILURE(Click("#export-copy"));
    clip = ClipboardChangedFrom(clip);
    ASSERT_TRUE(clip);
    auto json = ParseJson(*clip);
    ASSERT_TRUE(json && json->isArray()) << *clip;
    std::vector<std::string> jsonAddresses;
    for (const auto& item : *json) jsonAddresses.push_back(JsonString(item, "url"));
    EXPECT_THAT(jsonAddresses, ElementsAreArray(everyAddress));
    for (const auto& item : *json) {
        if (JsonString(item, "url").find("big.gif") != std::string::npos) {
            EXPECT_NEAR(JsonNumber(item, "bytes"), 1300000, 1300000 * 0.01);
            EXPECT_EQ(JsonString(item, "size"), "1.24MB");
        }
        if (JsonString(item, "url").find("stream.m3u8") != std::string::npos) {
            EXPECT_EQ(JsonString(item, "playlist"), "HLS");
        }
    }
}

// When the engine cannot write the file, the page says so and why, instead of the passing
// "Saving" notice being the last word.
TEST_F(PageTest, SaveFileSaysWhyTheFileCouldNotBeSaved) {
    AppRun& run = NewPageApp();
    // The download folder lies below a plain file, so no file can be made in it.
    WriteFile(run.Home() + "/plain-file", "x");
    WriteFile(run.ConfigHome() + "/user-dirs.dirs",
              "XDG_DOWNLOAD_DIR=\"$HOME/plain-file/Downloads\"\n");
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    ASSERT_NO_FATAL_FAILURE(Click("#export-save"));
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("message").find("could not be saved: ") != std::string::npos &&
               s.S("message").find("Use “Copy export” instead.") != std::string::npos;
    })) << last;
    EXPECT_THAT(last.S("message"), HasSubstr("plain-file/Downloads is not a folder")) << last;
}

TEST_F(PageTest, ReturnOnARowAndItsOpenButtonHandTheAddressToTheDefaultProgram) {
    AppRun& run = NewPageApp();
    run.RegisterDefaultHandler();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const Row* tiny = last.Find("tiny.gif");
    const Row* big = last.Find("big.gif");
    ASSERT_TRUE(tiny && big) << last;
    const std::string tinyUrl = tiny->url, bigUrl = big->url;
    const Box bigOpen = big->openBox;

    ASSERT_NO_FATAL_FAILURE(ClickRow(*tiny));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "grid"; })) << last;
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    EXPECT_EQ(run.WaitForHandlerCall(), tinyUrl);
    ASSERT_NO_FATAL_FAILURE(ClickAt(bigOpen.CenterX(), bigOpen.CenterY()));
    EXPECT_EQ(run.WaitForHandlerCall(), bigUrl);
    EXPECT_TRUE(WaitForState([](const PageState& s) {
        return s.S("notice") == "Opened 1 address." && s.S("message").empty();
    })) << last;
    EXPECT_EQ(run.HandlerCalls().size(), 2u);
}

}  // namespace
}  // namespace e2e
