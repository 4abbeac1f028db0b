#pragma once

// The real user-interface page in the real program, driven the way a person drives it: clicks
// at the places where the page's controls are and key presses, through the X server. The page
// is the built one (build/Html), copied into the run's folder with one test-only script added
// to the copy: a probe that tells the test where elements are and what the page shows (the
// scan state, the counts, the rows in sight, the fields) when the test asks through the site.
// The probe never clicks, types or calls the program itself.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "e2e/Content.h"
#include "e2e/Fixture.h"
#include "e2e/Json.h"
#include "e2e/PageControl.h"

namespace e2e {

// ---------------------------------------------------------------------------------------
// Texts the page produces, read back independently of the page's own code.

// Bytes behind a size text as the program writes them (1024-based units, "unknown" for
// none): -1 when the text is not a size.
double SizeBytes(const std::string& text);

// RFC 4180: records of fields, CRLF (or LF) between records, quoted fields may hold
// commas, quotation marks (doubled) and line breaks. No value when the text is malformed.
std::optional<std::vector<std::vector<std::string>>> ParseCsv(const std::string& text);

// The words a POSIX shell makes of a command line that starts with `program`: the line is
// run by /bin/sh with `program` standing for a function that prints its arguments, so the
// shell's own quoting rules decide and nothing is downloaded.
std::optional<std::vector<std::string>> ShellWords(const std::string& program,
                                                   const std::string& commandLine);

// ---------------------------------------------------------------------------------------
// The page as the probe reads it

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    int CenterX() const { return x + width / 2; }
    int CenterY() const { return y + height / 2; }
};

// One row in sight.
struct Row {
    std::string url, kind, group, name, badge, type, size, hits;
    bool selected = false;
    Box box;
    Box copyBox;  // the row's own Copy button
    Box openBox;  // and its Open button
};

struct PageState {
    Json::Value raw;
    std::vector<Row> rows;

    std::string S(const char* key) const { return JsonString(raw, key); }
    int N(const char* key) const { return static_cast<int>(JsonNumber(raw, key)); }
    bool B(const char* key) const { return JsonBool(raw, key); }
    std::vector<std::string> Strings(const char* key) const {
        return JsonStrings(JsonMember(raw, key));
    }
    // The sort state of a column header: "ascending", "descending" or "none".
    std::string Header(const char* column) const {
        return JsonString(JsonMember(raw, "headers"), column);
    }
    std::vector<std::string> Urls() const;
    const Row* Find(std::string_view urlPart) const;
    // The addresses of every record the page received.
    std::vector<std::string> Results() const { return Strings("results"); }
};

std::ostream& operator<<(std::ostream& os, const PageState& s);

// The selected rows in sight.
std::vector<Row> Selected(const PageState& s);

// ---------------------------------------------------------------------------------------
// The scanned sites

// The hostile image: its address holds a quote, &, $ and a comma, which a shell command
// and a CSV field must both quote.
inline constexpr const char* kHostilePath = "/site/img/it's&$x,y.gif";
inline constexpr const char* kHostileQuery = "?a=1&b=$HOME";

// The site a scan fills the list from: a page with images of very different sizes, a style
// sheet, a script, a WAV file, one address fetched three times with different fragments,
// and an HLS playlist whose segments the script fetches.
void AddScanSite(TestSite& site);

// Every address of the scan site (paths with their query, no fragment) with how often the
// list must have seen it at least.
std::vector<std::pair<std::string, int>> ScanSiteHits();

// The rows the folded list shows for the scan site: 11 addresses and one segment group.
inline constexpr int kScanSiteRows = 12;

// The addresses behind rows in sight, as the page's copy and export give them: a segment
// group stands for its segments, in the order they arrived.
std::vector<std::string> AddressesBehind(const std::vector<Row>& rows, const TestSite& site);

// A scanned page that fetches an image of its own address (a query that counts up) `perSecond`
// times a second, ten at a time, for as long as it is open.
void AddStreamSite(TestSite& site, int perSecond);

// ---------------------------------------------------------------------------------------
// The fixture

class PageTest : public AppTest {
protected:
    // Needs a screen with room for the main window and the scan window beside it.
    void SetUp() override;
    void TearDown() override;

    // A fresh run with the built page and the probe in its Html folder, and a download folder
    // of its own named in its XDG user folders.
    AppRun& NewPageApp();
    // Starts the run and waits until its page is loaded and the probe answers.
    ::testing::AssertionResult Launch(AppRun& run);
    // For runs started by the test itself after WriteProbe: waits for the main window of
    // `run`, which is running already, and for its page to answer.
    ::testing::AssertionResult Attach(AppRun& run);
    // (Re)writes the probe so that it listens on a channel of its own: a page of an earlier
    // run of the program can never take a command meant for this one.
    void WriteProbe(AppRun& run);

    std::optional<std::string> Eval(const std::string& script, Millis timeout = kActionTimeout);
    std::optional<PageState> State();
    // Polls the page until `condition` holds; the last state read is kept in `last`.
    bool WaitForState(const std::function<bool(const PageState&)>& condition,
                      Millis timeout = kActionTimeout);
    std::optional<Box> Rect(const std::string& selector);
    // Waits until what the page last changed has been painted.
    void Painted();
    size_t CountReports(const std::string& text);

    // Mouse button 1 at a point of the main window, with modifier keys held ("shift",
    // "ctrl") when given.
    void ClickAt(int cx, int cy, const std::string& modifier = {});
    void Click(const std::string& selector, const std::string& modifier = {});
    // On the row's name cell, away from its buttons.
    void ClickRow(const Row& row, const std::string& modifier = {});
    // Keys go to the main window, which gets the keyboard focus first.
    void Key(const std::string& keys);
    void Type(const std::string& text);
    // Replaces the text of a field by typing, as a person does: click, select all, type.
    void TypeInto(const std::string& selector, const std::string& text);

    // A window of the program other than the main window, its dialogs and the menus of its
    // lists (a select element's menu is a small window of its own).
    bool IsScanWindow(const WindowInfo& w) const;
    // The scan window opens over the main window (there is no window manager to place it);
    // it is moved to the right of it so that the main window stays in sight.
    void KeepScanWindowsAside();
    bool WaitForScanWindow();

    // Types the address and starts with Return (or the Start button), then waits until the
    // scan runs and its window is out of the way.
    void StartScan(const std::string& url, bool withReturn = true);
    // The same for the scan site, then waits until every resource of the site is in the list.
    void ScanTheSite(bool withReturn = true);

    // Saves a picture of the main window under the artifacts folder.
    std::string ShotOfMainWindow(const std::string& name);
    // The colour of one pixel of a picture, as red, green and blue from 0 to 255.
    static std::optional<std::array<int, 3>> PixelAt(const std::string& file, int px, int py);
    // The clipboard once it holds something other than `previous`.
    std::optional<std::string> ClipboardChangedFrom(const std::optional<std::string>& previous);
    // Requests for the scan site's pages (the probe's polling is not counted).
    size_t CountSiteRequests() const;

    std::unique_ptr<PageControl> control;
    std::optional<WindowInfo> mainWindow;
    std::string channel;
    std::string downloads;
    PageState last;

private:
    // The page the program ships, copied below the run's Html folder, with the probe added to
    // the copy only.
    void CopyBuiltPage(AppRun& run);

    int m_runs = 0;
};

}  // namespace e2e
