#include "e2e/Fixture.h"

#include <cstdlib>
#include <filesystem>

namespace e2e {

namespace {

std::string SafeName(std::string name) {
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
    }
    return name;
}

}  // namespace

std::string AppTest::ArtifactsDir() {
    if (const char* dir = std::getenv("TRAWLET_E2E_ARTIFACTS"); dir && *dir) return dir;
    return BuildDir() + "/e2e-artifacts";
}

void AppTest::SetUp() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no DISPLAY: run the end-to-end tests under Xvfb";
    if (!PathExists(BuildDir() + "/trawlet"))
        GTEST_SKIP() << "no program at " << BuildDir() << "/trawlet";
    x = std::make_unique<XSession>();
    ASSERT_TRUE(x->Ok()) << "cannot open the display " << display;
    site = std::make_unique<TestSite>();
}

void AppTest::TearDown() {
    if (HasFailure()) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name =
            SafeName(std::string(info->test_suite_name()) + "." + info->name());
        std::error_code ec;
        std::filesystem::create_directories(ArtifactsDir(), ec);
        const std::string picture = ArtifactsDir() + "/" + name + ".png";
        if (XSession::Screenshot(picture)) std::cerr << "screenshot: " << picture << "\n";
        if (app) {
            WriteFile(ArtifactsDir() + "/" + name + ".stderr.txt", app->Stderr());
            std::cerr << "program output (stderr):\n" << app->Stderr() << "\n";
        }
    }
    app.reset();
    site.reset();
    x.reset();
}

AppRun& AppTest::NewApp(AppOptions options) {
    app.reset();
    app = std::make_unique<AppRun>(std::move(options));
    return *app;
}

std::string AppTest::Page(std::string_view body, std::string_view script) const {
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>test page</title>\n"
        "<script>\n";
    page += site->ReportScript();
    page += "</script></head>\n<body>\n";
    page += body;
    page += "\n<script>\n";
    page += script;
    page += "\n</script>\n</body></html>\n";
    return page;
}

std::optional<WindowInfo> AppTest::StartAndWaitForMainWindow(AppRun& run, Millis timeout) {
    if (!run.Start()) {
        ADD_FAILURE() << "cannot start " << run.Executable();
        return std::nullopt;
    }
    auto window = x->WaitForMainWindow(run.Pid(), kMainTitle, timeout);
    if (!window) {
        const bool running = run.Running();
        ADD_FAILURE() << "no window \"" << kMainTitle << "\" of pid " << run.Pid() << " within "
                      << timeout.count() << " ms; the program "
                      << (running ? "still runs" : "has ended") << "\nstderr:\n"
                      << run.Stderr();
    }
    return window;
}

}  // namespace e2e
