// Capture of responses: the record, its JSON text, the filter, the results table, and the
// details that follow each record.
#include <gtest/gtest.h>

#include <json/json.h>

#include <cstdint>
#include <cstring>
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

// ---- The details text ----

ResultDetails TypicalDetails() {
    ResultDetails d;
    d.id = 17;
    d.url = "http://127.0.0.1:1234/a.mp4";
    d.method = "GET";
    d.status = 200;
    d.statusText = "OK";
    d.requestHeaders = {
        {"Referer", "http://127.0.0.1:1234/"}, {"Accept", "*/*"}, {"Sec-Fetch-Dest", "video"}};
    d.responseHeaders = {{"Content-Type", "video/mp4"}, {"Content-Length", "1880"}};
    d.length = 1880;
    d.started = 1765270000123;
    d.received = 1765270000150;
    return d;
}

struct DetailsCase {
    const char* what;
    void (*change)(ResultDetails&);
    std::string json;
};

const DetailsCase kDetails[] = {
    {"typical", [](ResultDetails&) {},
     R"({"id":17,"url":"http://127.0.0.1:1234/a.mp4","method":"GET","status":200,)"
     R"("statusText":"OK","requestHeaders":[["Referer","http://127.0.0.1:1234/"],)"
     R"(["Accept","*/*"],["Sec-Fetch-Dest","video"]],"responseHeaders":[["Content-Type",)"
     R"("video/mp4"],["Content-Length","1880"]],"length":1880,"started":1765270000123,)"
     R"("received":1765270000150,"window":0,"destination":"video","redirect":false,)"
     R"("redirectTo":null})"
     "\n"},
    {"nothing known",
     [](ResultDetails& d) {
         d = ResultDetails();
         d.url = "u";
     },
     R"({"id":0,"url":"u","method":"","status":0,"statusText":"","requestHeaders":[],)"
     R"("responseHeaders":[],"length":null,"started":0,"received":0,"window":0,)"
     R"("destination":"","redirect":false,"redirectTo":null})"
     "\n"},
    {"redirect, second window, other negative length",
     [](ResultDetails& d) {
         d.status = 302;
         d.statusText = "Found";
         d.requestHeaders = {{"sec-fetch-dest", "image"}, {"Sec-Fetch-Dest", "later"}};
         d.responseHeaders = {{"Location", "/b.mp4"}};
         d.length = -2;
         d.window = 2;
         d.redirect = true;
         d.redirectTo = "http://127.0.0.1:1234/b.mp4";
     },
     R"({"id":17,"url":"http://127.0.0.1:1234/a.mp4","method":"GET","status":302,)"
     R"("statusText":"Found","requestHeaders":[["sec-fetch-dest","image"],)"
     R"(["Sec-Fetch-Dest","later"]],"responseHeaders":[["Location","/b.mp4"]],"length":null,)"
     R"("started":1765270000123,"received":1765270000150,"window":2,"destination":"image",)"
     R"("redirect":true,"redirectTo":"http://127.0.0.1:1234/b.mp4"})"
     "\n"},
    {"redirect target only for a redirect",
     [](ResultDetails& d) {
         d.requestHeaders.clear();
         d.responseHeaders.clear();
         d.redirectTo = "http://elsewhere/";
         d.length = 0;
     },
     R"({"id":17,"url":"http://127.0.0.1:1234/a.mp4","method":"GET","status":200,)"
     R"("statusText":"OK","requestHeaders":[],"responseHeaders":[],"length":0,)"
     R"("started":1765270000123,"received":1765270000150,"window":0,"destination":"",)"
     R"("redirect":false,"redirectTo":null})"
     "\n"},
    {"escapes everywhere",
     [](ResultDetails& d) {
         d.url = "http://h/\"\\\x01";
         d.method = "M\tX";
         d.statusText = "\xC3\xA9\n";
         d.requestHeaders = {{"N\"", "v\\\x1f"}, {"Sec-Fetch-Dest", "\"d\""}};
         d.responseHeaders = {{"", ""}};
         d.redirect = true;
         d.redirectTo = "/\r";
         d.length = INT64_MAX;
         d.id = UINT32_MAX;
     },
     R"({"id":4294967295,"url":"http://h/\"\\\u0001","method":"M\tX","status":200,)"
     "\"statusText\":\"\xC3\xA9\\n\","
     R"("requestHeaders":[["N\"","v\\\u001F"],["Sec-Fetch-Dest","\"d\""]],)"
     R"("responseHeaders":[["",""]],"length":9223372036854775807,"started":1765270000123,)"
     R"("received":1765270000150,"window":0,"destination":"\"d\"","redirect":true,)"
     R"("redirectTo":"/\r"})"
     "\n"},
};

TEST(CaptureTest, DetailsTextHasItsMembersInOrderAndEscaped) {
    for (const DetailsCase& c : kDetails) {
        ResultDetails details = TypicalDetails();
        c.change(details);
        const std::string json = ResultDetailsJson(details);
        EXPECT_EQ(c.json, json) << c.what;
        // And it is JSON that gives the texts back.
        Json::Value parsed;
        ASSERT_TRUE(Json::Reader().parse(json, parsed)) << c.what;
        EXPECT_EQ(details.url, parsed["url"].asString()) << c.what;
        ASSERT_EQ(details.requestHeaders.size(), parsed["requestHeaders"].size()) << c.what;
        for (Json::ArrayIndex i = 0; i < parsed["requestHeaders"].size(); ++i) {
            EXPECT_EQ(details.requestHeaders[i].first, parsed["requestHeaders"][i][0].asString());
            EXPECT_EQ(details.requestHeaders[i].second, parsed["requestHeaders"][i][1].asString());
        }
    }
}

TEST(CaptureTest, DetailsFollowTheirRecordWithItsUrlIdAndLength) {
    FakeScanHost host;
    host.m_filterEnabled = FALSE;
    int asked = 0;
    auto reader = [&](ResultDetails& d) {
        ++asked;
        d = TypicalDetails();
        d.url = "not this";
        d.id = 1;
        d.length = 5;
    };
    EXPECT_TRUE(CaptureResponse(u"http://h/a b.mp4#x", host, 23, u"video/mp4", -1, reader));
    EXPECT_TRUE(CaptureResponse(u"http://h/c.js", host, 24, u"text/javascript", 9));
    EXPECT_EQ(1, asked);
    ASSERT_EQ(4u, host.log.size());
    EXPECT_EQ(0u, host.log[0].rfind("page addResult {", 0));
    EXPECT_EQ(0u, host.log[1].rfind("page addResultDetails {", 0));
    EXPECT_EQ(0u, host.log[2].rfind("page addResult {", 0));
    EXPECT_EQ(0u, host.log[3].rfind("page addResultDetails {", 0));

    ResultDetails first = TypicalDetails();
    first.id = 23;
    first.url = "http://h/a b.mp4#x";
    first.length = -1;
    ASSERT_EQ(2u, host.detailsTexts.size());
    EXPECT_EQ(ResultDetailsJson(first), host.detailsTexts[0]);
    // Without a reader only what capture itself knows.
    ResultDetails second;
    second.id = 24;
    second.url = "http://h/c.js";
    second.length = 9;
    EXPECT_EQ(ResultDetailsJson(second), host.detailsTexts[1]);
}

TEST(CaptureTest, FilteredResponseGetsNoDetailsAndIsNotRead) {
    FakeScanHost host;
    host.m_mimeFilter = u"video";
    bool asked = false;
    EXPECT_FALSE(CaptureResponse(u"http://h/a.png", host, 4, u"image/png", 100,
                                 [&](ResultDetails&) { asked = true; }));
    EXPECT_FALSE(asked);
    EXPECT_TRUE(host.log.empty());
}

// ---- Playlist bodies ----

TEST(CaptureTest, PlaylistsByTypeOrName) {
    struct Case {
        std::u16string mimeType;
        std::string fileName;
        bool playlist;
    } cases[] = {
        {u"application/vnd.apple.mpegurl", "index", true},
        {u"Application/X-MpegURL; charset=utf-8", "", true},
        {u"audio/mpegurl", "a.txt", true},
        {u"application/dash+xml", "a", true},
        {u"application/dash+xml ;profile=x", "a", true},
        {u"text/plain", "live.M3U8", true},
        {u"", "stream.mpd", true},
        {u"application/octet-stream", "stream.mpd.bak", false},
        {u"audio/x-mpegurl2", "x", false},
        {u"video/mp2t", "seg.ts", false},
        {u"text/plain", "m3u8", false},
        {u"text/plain", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.playlist, IsPlaylist(c.mimeType, c.fileName)) << c.fileName;
    }
}

TEST(CaptureTest, BodyTexts) {
    struct Case {
        const char* what;
        std::string bytes;
        bool hasBytes;
        size_t length;  // 0: the bytes' own
        bool tooLarge;
        std::string error;
        std::string json;
    };
    const std::string big(kMaxPlaylistBody + 1, 'x');
    const Case cases[] = {
        {"text", "#EXTM3U\n#EXT-X-VERSION:3\n", true, 0, false, "",
         "{\"id\":5,\"url\":\"http://h/a.m3u8\",\"body\":\"#EXTM3U\\n#EXT-X-VERSION:3\\n\"}\n"},
        {"empty", "", true, 0, false, "", "{\"id\":5,\"url\":\"http://h/a.m3u8\",\"body\":\"\"}\n"},
        {"not UTF-8, a NUL, quotes", std::string("a\xff\0\"\\", 5), true, 0, false, "",
         "{\"id\":5,\"url\":\"http://h/a.m3u8\",\"body\":\"a\xEF\xBF\xBD\\u0000\\\"\\\\\"}\n"},
        {"too large to read", "", false, 0, true, "",
         "{\"id\":5,\"url\":\"http://h/a.m3u8\",\"body\":null,\"tooLarge\":true}\n"},
        {"too large when read", big, true, 0, false, "",
         "{\"id\":5,\"url\":\"http://h/a.m3u8\",\"body\":null,\"tooLarge\":true}\n"},
        {"failed", "", false, 0, false, "Load \"cancelled\"",
         "{\"id\":5,\"url\":\"http://h/a.m3u8\",\"body\":null,\"error\":\"Load "
         "\\\"cancelled\\\"\"}\n"},
        {"failed without a word", "", false, 0, false, "",
         "{\"id\":5,\"url\":\"http://h/a.m3u8\",\"body\":null,\"error\":\"the body could not be "
         "read\"}\n"},
    };
    for (const Case& c : cases) {
        FakeScanHost host;
        EXPECT_TRUE(CaptureBody(host, 5, "http://h/a.m3u8", c.hasBytes ? c.bytes.data() : nullptr,
                                c.length ? c.length : c.bytes.size(), c.tooLarge, c.error))
            << c.what;
        ASSERT_EQ(1u, host.log.size()) << c.what;
        EXPECT_EQ("page addResultBody " + c.json, host.log[0]) << c.what;
        Json::Value parsed;
        EXPECT_TRUE(Json::Reader().parse(c.json, parsed)) << c.what;
    }
}

TEST(CaptureTest, BodyIsAskedForAcceptedPlaylistsOnly) {
    struct Case {
        const char* what;
        std::u16string url;
        std::u16string mimeType;
        bool redirect;
        const char* mimeFilter;  // "": filter off
        bool asked;
    } cases[] = {
        {"playlist", u"http://h/live.m3u8", u"application/vnd.apple.mpegurl", false, "", true},
        {"by name", u"http://h/a.mpd?x=1", u"text/plain", false, "", true},
        {"redirect to a playlist", u"http://h/live.m3u8", u"text/plain", true, "", false},
        {"filtered out", u"http://h/live.m3u8", u"application/x-mpegurl", false, "video", false},
        {"not a playlist", u"http://h/a.ts", u"video/mp2t", false, "", false},
    };
    for (const Case& c : cases) {
        FakeScanHost host;
        host.m_filterEnabled = *c.mimeFilter ? TRUE : FALSE;
        host.m_mimeFilter = std::u16string(c.mimeFilter, c.mimeFilter + std::strlen(c.mimeFilter));
        int asked = 0;
        CaptureResponse(
            c.url.c_str(), host, 1, c.mimeType, 10,
            [&](ResultDetails& d) { d.redirect = c.redirect; }, [&] { ++asked; });
        EXPECT_EQ(c.asked ? 1 : 0, asked) << c.what;
    }
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
