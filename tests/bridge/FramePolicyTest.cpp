// Which frames get `service`, judged on standalone script contexts whose `parent` chain is
// built by the test the way the engine builds it for nested frames.
#include <gtest/gtest.h>

#include <string>

#include "BridgeTestSupport.h"
#include "bridge/FramePolicy.h"

using namespace bridgetest;

namespace {

constexpr const char* kFolder = "/opt/t/Html";
constexpr const char* kPage = "file:///opt/t/Html/index.html";

struct FrameCase {
    const char* name;
    std::string address;  // the frame's own document
    bool mainFrame;
    // Script that shapes the frame's `parent` chain before the judgement; empty: a top frame
    // (a standalone context has no `parent`, which reads as the top).
    std::string ancestry;
    bool allowed;
};

class FramePolicyTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FramePolicyTest, OnlyThePagesDocumentsAndItsOwnBlankFramesGetService) {
    const FrameCase& c = GetParam();
    ScriptGroup group;
    JSGlobalContextRef context = group.NewContext();
    if (!c.ancestry.empty()) EvalText(context, c.ancestry);
    EXPECT_EQ(FrameMayHaveService(context, c.address, c.mainFrame, kFolder), c.allowed);
}

// A parent whose document is `href`, whose own parent is `grand` (a script expression).
std::string Parent(const std::string& href, const std::string& grand = "null") {
    return "var p = {location: {href: '" + href + "'}}; p.parent = " + grand +
           " || p; this.parent = p;";
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FramePolicyTest,
    ::testing::Values(
        FrameCase{"ThePage", kPage, true, "", true},
        FrameCase{"AFrameOfThePageFolder", "file:///opt/t/Html/frame.html", false, Parent(kPage),
                  true},
        FrameCase{"AWebSiteInTheMainView", "http://127.0.0.1:8000/", true, "", false},
        FrameCase{"AWebSiteInAFrame", "http://127.0.0.1:8000/", false, Parent(kPage), false},
        FrameCase{"AnotherLocalFile", "file:///home/u/evil.html", true, "", false},
        FrameCase{"BlankMainFrame", "about:blank", true, "", false},
        FrameCase{"BlankFrameOfThePage", "about:blank", false, Parent(kPage), true},
        FrameCase{"SrcdocFrameOfThePage", "about:srcdoc", false, Parent(kPage), true},
        FrameCase{"InitialEmptyFrameOfThePage", "", false, Parent(kPage), true},
        FrameCase{
            "BlankFrameOfAWebSite", "about:blank", false,
            Parent("http://127.0.0.1:8000/", "{location:{href:'" + std::string(kPage) + "'}}"),
            false},
        FrameCase{"BlankInBlankInThePage", "about:blank", false,
                  "var top_ = {location: {href: '" + std::string(kPage) +
                      "'}}; top_.parent = top_;" + Parent("about:blank", "top_"),
                  true},
        FrameCase{"BlankAllTheWayUp", "about:srcdoc", false, Parent("about:blank"), false},
        FrameCase{"BlankWithoutAParent", "about:blank", false, "", false},
        FrameCase{"ParentWhoseLocationThrows", "about:blank", false,
                  "this.parent = {get location() { throw new Error('no'); }};", false},
        FrameCase{"ParentWithAnOddHref", "about:blank", false,
                  "this.parent = {location: {href: 42}};", false},
        FrameCase{"AnEndlessChainOfBlanks", "about:blank", false,
                  "function Blank() { return {location: {href: 'about:blank'},"
                  "  get parent() { return Blank(); }}; } this.parent = Blank();",
                  false}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

}  // namespace
