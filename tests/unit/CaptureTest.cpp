// Capture of responses: the record, its JSON text, the filter, the results table.
#include <gtest/gtest.h>

#include <json/json.h>

#include <cstdint>
#include <string>

#include "FakeScanHost.h"
#include "finder/Capture.h"

namespace {

struct RecordCase {
    const char* what;
    std::u16string url;
    std::u16string mimeType;
    std::int64_t length;
    std::string json;
};

const RecordCase kRecords[] = {
    {"typical", u"http://host/files/video.flv", u"video/x-flv", 1572864,
     "{\"fileName\":\"video.flv\",\"mimeType\":\"video/x-flv\",\"size\":\"1.50MB\","
     "\"url\":\"http://host/files/video.flv\"}\n"},
    {"unknown length", u"http://host/a.js", u"text/javascript", -1,
     "{\"fileName\":\"a.js\",\"mimeType\":\"text/javascript\",\"size\":\"unknown\","
     "\"url\":\"http://host/a.js\"}\n"},
    {"zero length", u"http://host/empty", u"text/plain", 0,
     "{\"fileName\":\"empty\",\"mimeType\":\"text/plain\",\"size\":\"0B\","
     "\"url\":\"http://host/empty\"}\n"},
    {"largest length", u"http://host/x", u"a", INT64_MAX,
     "{\"fileName\":\"x\",\"mimeType\":\"a\",\"size\":\"8192.00PB\",\"url\":\"http://host/x\"}\n"},
    {"other negative length", u"http://host/x", u"a", -2,
     "{\"fileName\":\"x\",\"mimeType\":\"a\",\"size\":\"16384.00PB\",\"url\":\"http://host/x\"}\n"},
    {"query", u"http://host/get.php?id=5", u"text/html", 10,
     "{\"fileName\":\"get.php\",\"mimeType\":\"text/html\",\"size\":\"10B\","
     "\"url\":\"http://host/get.php?id=5\"}\n"},
    {"no path", u"http://host", u"text/html", 1024,
     "{\"fileName\":\"unknown\",\"mimeType\":\"text/html\",\"size\":\"1KB\","
     "\"url\":\"http://host\"}\n"},
    {"folder", u"http://host/dir/", u"text/html", 1,
     "{\"fileName\":\"\",\"mimeType\":\"text/html\",\"size\":\"1B\",\"url\":\"http://host/dir/"
     "\"}\n"},
    {"empty address", u"", u"", 1,
     "{\"fileName\":\"unknown\",\"mimeType\":\"\",\"size\":\"1B\",\"url\":\"\"}\n"},
    {"escapes", u"http://h/\"q\\\b\f\n\r\t\x01\x1f\x7f/", u"t\x0B", 1,
     "{\"fileName\":\"\",\"mimeType\":\"t\\u000B\",\"size\":\"1B\","
     "\"url\":\"http://h/\\\"q\\\\\\b\\f\\n\\r\\t\\u0001\\u001F\x7f/\"}\n"},
    {"non-ascii unchanged", u"http://h/\u00E9\u65E5\U0001F600.mp3", u"audio/\u00E9", 1,
     "{\"fileName\":\"\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80.mp3\",\"mimeType\":\"audio/\xC3\xA9\","
     "\"size\":\"1B\",\"url\":\"http://h/\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80.mp3\"}\n"},
    {"unpaired surrogate", u"http://h/\xD800.x", u"\xDC00", 1,
     "{\"fileName\":\"\xEF\xBF\xBD.x\",\"mimeType\":\"\xEF\xBF\xBD\",\"size\":\"1B\","
     "\"url\":\"http://h/\xEF\xBF\xBD.x\"}\n"},
    {"mime ends at NUL", u"http://h/a", std::u16string(u"text/html\0x", 11), 1,
     "{\"fileName\":\"a\",\"mimeType\":\"text/html\",\"size\":\"1B\",\"url\":\"http://h/a\"}\n"},
};

TEST(CaptureTest, RecordsAndReportsExactJson) {
    for (const RecordCase& c : kRecords) {
        FakeScanHost host;
        host.m_filterEnabled = FALSE;
        EXPECT_TRUE(CaptureResponse(c.url.c_str(), host, 7, c.mimeType, c.length)) << c.what;
        ASSERT_EQ(1u, host.addResultTexts.size()) << c.what;
        EXPECT_EQ(c.json, host.addResultTexts[0]) << c.what;
        ASSERT_EQ(1u, host.m_results.count(7)) << c.what;
        EXPECT_EQ(c.json, ResultRecordJson(host.m_results[7])) << c.what;

        // Whatever the text holds, it is JSON that gives back the record.
        Json::Value parsed;
        ASSERT_TRUE(Json::Reader().parse(host.addResultTexts[0], parsed)) << c.what;
        const ResultRecord& record = host.m_results[7];
        EXPECT_EQ(record.fileName, parsed["fileName"].asString()) << c.what;
        EXPECT_EQ(record.mimeType, parsed["mimeType"].asString()) << c.what;
        EXPECT_EQ(record.size, parsed["size"].asString()) << c.what;
        EXPECT_EQ(record.url, parsed["url"].asString()) << c.what;
    }
}

TEST(CaptureTest, NullAddressIsIgnored) {
    FakeScanHost host;
    host.m_filterEnabled = FALSE;
    EXPECT_FALSE(CaptureResponse(nullptr, host, 1, u"text/html", 1));
    EXPECT_TRUE(host.m_results.empty());
    EXPECT_TRUE(host.log.empty());
}

struct FilterCase {
    const char* what;
    BOOL useFileExtFilter;
    const char* filter;
    std::u16string url;
    std::u16string mimeType;
    bool reported;
};

const FilterCase kFilters[] = {
    {"mime passes", FALSE, "video", u"http://h/a.mp4", u"video/mp4", true},
    {"mime refuses", FALSE, "video", u"http://h/a.mp4", u"Video/MP4", false},
    {"empty mime type, empty filter", FALSE, "", u"http://h/a", u"", true},
    {"empty mime type, filter", FALSE, "video", u"http://h/a", u"", false},
    {"extension passes", TRUE, "*.mp4;*.flv", u"http://h/a.flv?x=1", u"x", true},
    {"extension refuses", TRUE, "*.mp4;*.flv", u"http://h/a.png", u"video/mp4", false},
    {"unknown refused", TRUE, ".mp4", u"http://host", u"x", false},
    {"unknown with empty element", TRUE, ".mp4;", u"http://host", u"x", true},
    {"empty name with empty element", TRUE, ".mp4;", u"http://h/d/", u"x", true},
    {"empty name without empty element", TRUE, ".mp4", u"http://h/d/", u"x", false},
};

TEST(CaptureTest, FilterDecidesWhatIsRecorded) {
    for (const FilterCase& c : kFilters) {
        FakeScanHost host;
        host.m_useFileExtFilter = c.useFileExtFilter;
        if (c.useFileExtFilter) {
            ASSERT_TRUE(host.m_fileExtFilter.SetFromUtf8(c.filter));
        } else {
            host.m_mimeFilter =
                std::u16string(c.filter, c.filter + std::char_traits<char>::length(c.filter));
        }
        EXPECT_EQ(c.reported, CaptureResponse(c.url.c_str(), host, 3, c.mimeType, 10)) << c.what;
        EXPECT_EQ(c.reported ? 1u : 0u, host.m_results.size()) << c.what;
        EXPECT_EQ(c.reported ? 1u : 0u, host.addResultTexts.size()) << c.what;
    }
}

TEST(CaptureTest, SameIdentifierTwiceKeepsTheLaterRecordAndReportsBoth) {
    FakeScanHost host;
    host.m_filterEnabled = FALSE;
    EXPECT_TRUE(CaptureResponse(u"http://h/first.js", host, 9, u"text/javascript", 1));
    EXPECT_TRUE(CaptureResponse(u"http://h/second.js", host, 9, u"text/javascript", 2));
    EXPECT_TRUE(CaptureResponse(u"http://h/first.js", host, 10, u"text/javascript", 1));
    ASSERT_EQ(2u, host.m_results.size());
    EXPECT_EQ("second.js", host.m_results[9].fileName);
    EXPECT_EQ("2B", host.m_results[9].size);
    EXPECT_EQ(3u, host.addResultTexts.size());
}

TEST(CaptureTest, PageWithoutAddResultStillRecords) {
    FakeScanHost host;
    host.m_filterEnabled = FALSE;
    host.pageAnswers = false;
    EXPECT_FALSE(CaptureResponse(u"http://h/a.png", host, 4, u"image/png", 100));
    ASSERT_EQ(1u, host.m_results.size());
    EXPECT_EQ("a.png", host.m_results[4].fileName);
}

TEST(CaptureTest, CapturesOnlyWhileRunningAndNotPaused) {
    struct Case {
        BOOL running, paused;
        bool capturing;
    };
    const Case cases[] = {
        {FALSE, FALSE, false}, {TRUE, FALSE, true}, {TRUE, TRUE, false}, {FALSE, TRUE, false}};
    for (const Case& c : cases) {
        ScanState state;
        state.m_running = c.running;
        state.m_paused = c.paused;
        EXPECT_EQ(c.capturing, ScanIsCapturing(state)) << c.running << c.paused;
    }
}

TEST(CaptureTest, TakesOnlyLoadsOfTheCurrentScanAndItsWindows) {
    // The current scan is number 3 and its first load was number 100.
    struct Case {
        const char* what;
        BOOL running, paused;
        std::uint32_t scanNumber;
        std::uint64_t identifier;
        bool taken;
    };
    const Case cases[] = {
        {"the scan's first load", TRUE, FALSE, 3, 100, true},
        {"a later load", TRUE, FALSE, 3, 4000000000ull, true},
        {"a load of the page shown before", TRUE, FALSE, 3, 99, false},
        {"a window of the previous scan", TRUE, FALSE, 2, 150, false},
        {"a window of no scan", TRUE, FALSE, 0, 150, false},
        {"paused", TRUE, TRUE, 3, 150, false},
        {"stopped", FALSE, FALSE, 3, 150, false},
    };
    for (const Case& c : cases) {
        ScanState state;
        state.m_running = c.running;
        state.m_paused = c.paused;
        state.m_scanNumber = 3;
        state.m_firstLoad = 100;
        EXPECT_EQ(c.taken, ScanTakesLoad(state, c.scanNumber, c.identifier)) << c.what;
    }
}

}  // namespace
