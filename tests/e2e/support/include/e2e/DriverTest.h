#pragma once

// The driver page and its fixture: the real program with a small page in place of its own.
// The page runs whatever script the test hands it through the site (see PageControl), keeps
// every "addResult" text and every "updateInputUrl" call, and makes service calls for the
// test; with `withDetails` it also defines "addResultDetails" and "addResultBody" and keeps
// each text with the number of records it had then. Scanned pages can be driven the same way
// (DrivenPage()).

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/Fixture.h"
#include "e2e/Json.h"
#include "e2e/PageControl.h"

namespace e2e {

// The program's answers to a service call.
inline constexpr const char* kAnswer1 = "{\"returnValue\":1}\n";
inline constexpr const char* kAnswer0 = "{\"returnValue\":0}\n";

// A JSON string as the records write it: quotation mark and backslash escaped, the five short
// escapes, other control bytes as \u00XX in upper case, everything else unchanged.
// Written here on purpose, apart from the program's own writer: the records are checked
// against it, and a general JSON writer escapes differently (lower case, other characters).
std::string Quote(std::string_view text);

// The exact text of one record as "addResult" receives it.
std::string RecordText(std::string_view fileName, std::string_view mimeType, std::string_view size,
                       std::string_view url);

// A record as the test reads it back.
struct Record {
    std::string text;  // exactly as "addResult" received it
    std::string fileName, mimeType, size, url;
};

// No value when the text is not a JSON object.
std::optional<Record> ParseRecord(const std::string& text);

// One "addResultDetails" (or "addResultBody") call as the driver page kept it.
struct Details {
    size_t recordsBefore = 0;  // how many records the page had received when it came
    std::string text;          // exactly as received
    Json::Value value;         // parsed; null when the text is not JSON
};

// An address without its fragment, as a server sees it.
std::string WithoutFragment(const std::string& url);

// The records' texts, one a line, for failure messages.
std::string Dump(const std::vector<Record>& records);

// The settings of a "start" call.
struct StartSettings {
    std::string url;
    bool filterEnabled = false;
    bool useFileExtFilter = false;
    std::string filterText;  // "mimeFilter" or "fileExtFilter", as selected

    std::string ToJson() const;
};

// A start that reports every response.
StartSettings Unfiltered(std::string url);

class DriverTest : public AppTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program with the driver page and waits until the page answers.
    // `prepare` runs on the new run before it starts.
    ::testing::AssertionResult StartDriver(const std::function<void(AppRun&)>& prepare = {});

    // Runs a script in the driver page; the value of its last expression.
    std::optional<std::string> Eval(const std::string& script, Millis timeout = kStartTimeout);
    // One service call from the driver page; its answer text.
    std::optional<std::string> Call(const std::string& method, const std::string& params);
    std::optional<std::string> Start(const StartSettings& settings);

    // Every record the driver page has received so far, in order (fetched incrementally).
    const std::vector<Record>& Records();
    // Waits until `condition` holds for the records received so far.
    bool WaitForRecords(const std::function<bool(const std::vector<Record>&)>& condition,
                        Millis timeout = kActionTimeout);
    bool WaitForRecordOf(const std::string& url, Millis timeout = kActionTimeout);
    size_t CountRecordsOf(const std::string& url);
    // The page's texts that did not parse as a record object.
    std::vector<std::string> InvalidRecords();
    // Every details text the driver page has received so far (with `withDetails`), in order.
    const std::vector<Details>& AllDetails();
    // Every "addResultBody" text so far (with `withDetails`), in order.
    std::vector<Details> AllBodies();

    // For a driver page that was loaded again: what it receives from now on is read afresh.
    void ForgetReceived() {
        m_records.clear();
        m_details.clear();
    }

    // Set before StartDriver: the driver page defines "addResultDetails" and "addResultBody".
    bool withDetails = false;

    // Viewable windows of the program other than the main window.
    std::vector<WindowInfo> OtherWindows();
    bool WaitForOtherWindows(size_t count, Millis timeout = kActionTimeout);

    // A scanned page that the test drives through `channel`: load(path) makes it load one
    // more image and report "loaded:<path>" when that is done.
    std::string DrivenPage(const std::string& channel) const;

    std::unique_ptr<PageControl> control;
    std::optional<WindowInfo> mainWindow;

private:
    std::vector<Record> m_records;
    std::vector<Details> m_details;
};

}  // namespace e2e
