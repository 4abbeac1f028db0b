#pragma once

// The base fixture of the end-to-end tests: a loopback site, the tests' own X connection and
// runs of the real program, with a screenshot and the program's output kept when a test fails.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "e2e/AppRun.h"
#include "e2e/Command.h"
#include "e2e/TestSite.h"
#include "e2e/Wait.h"
#include "e2e/XSession.h"

namespace e2e {

inline constexpr const char* kMainTitle = "Trawlet";

class AppTest : public ::testing::Test {
protected:
    // Skips the test when there is no display or no program to run.
    void SetUp() override;
    // On failure: saves a screenshot and the program's standard error under ArtifactsDir().
    void TearDown() override;

    // A fresh run with its own folders; the previous one (if any) is ended first.
    AppRun& NewApp(AppOptions options = {});

    // A complete test page: report() from the site's ReportScript(), then `body`, then
    // `script` run at the end of the body.
    std::string Page(std::string_view body, std::string_view script = {}) const;

    // Starts the run and waits for its main window "Trawlet". No value (and a test failure
    // with the program's output) when it does not appear.
    std::optional<WindowInfo> StartAndWaitForMainWindow(AppRun& run,
                                                        Millis timeout = kStartTimeout);

    // Where failed tests leave their screenshots: $TRAWLET_E2E_ARTIFACTS, else
    // <build>/e2e-artifacts.
    static std::string ArtifactsDir();

    std::unique_ptr<TestSite> site;
    std::unique_ptr<XSession> x;
    std::unique_ptr<AppRun> app;
};

}  // namespace e2e
