// The window procedure's dispatch, the delegates' identity and the default behaviours, on
// window objects entered into the registry by hand: no display and no engine are needed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "webview/WebKitWindow.h"
#include "win32/gtkhandles.h"

namespace {

// Records which hooks ran, in order.
class RecordingWindow : public CWebKitWindow {
public:
    std::vector<std::string> calls;
    std::vector<int> progress;
    void OnSize(WPARAM, int w, int h) override {
        calls.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
    }
    void OnClose() override { calls.push_back("close"); }
    void OnDestroy() override { calls.push_back("destroy"); }
    void OnTimer(WPARAM id) override { calls.push_back("timer " + std::to_string(id)); }
    void OnUserMessage(WPARAM w, LPARAM l) override {
        calls.push_back("user " + std::to_string(w) + " " + std::to_string(l));
    }
    void OnProgressChanged(int percent) override { progress.push_back(percent); }
};

HWND FakeHandle(std::uintptr_t n) {
    return reinterpret_cast<HWND>(0x10000 + n * 16);
}

class WindowProcTest : public ::testing::Test {
protected:
    void SetUp() override { g_windows.clear(); }
    void TearDown() override {
        g_windows.clear();
        TakeQueued();
    }
    // Answers the messages waiting in the queue, up to a marker posted now.
    std::vector<UINT> TakeQueued() {
        std::vector<UINT> seen;
        PostMessageW(nullptr, WM_APP + 999, 0, 0);
        MSG msg;
        for (;;) {
            BOOL more = GetMessageW(&msg, nullptr, 0, 0);
            if (msg.message == WM_APP + 999) break;
            seen.push_back(msg.message);
            (void)more;
        }
        return seen;
    }
};

TEST_F(WindowProcTest, MessagesReachTheRegisteredWindowsHooks) {
    RecordingWindow window;
    HWND hwnd = FakeHandle(1);
    CREATESTRUCTW create{};
    create.lpCreateParams = &window;
    CWebKitWindow::WindowProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
    ASSERT_EQ(CWebKitWindow::WindowFromHandle(hwnd), &window);

    struct Case {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::string expected;
    };
    const Case cases[] = {
        {WM_SIZE, 0, MAKELPARAM(640, 480), "size 640x480"},
        {WM_TIMER, 7, 0, "timer 7"},
        {WM_WINDOW_HOOK, 3, 4, "user 3 4"},
        {WM_CLOSE, 0, 0, "close"},
    };
    for (const auto& c : cases) {
        window.calls.clear();
        CWebKitWindow::WindowProc(hwnd, c.message, c.wParam, c.lParam);
        ASSERT_EQ(window.calls.size(), 1u) << c.expected;
        EXPECT_EQ(window.calls[0], c.expected);
    }
}

TEST_F(WindowProcTest, EraseBackgroundAnswersOneWhateverTheWindow) {
    RecordingWindow window;
    g_windows[FakeHandle(1)] = &window;
    EXPECT_EQ(CWebKitWindow::WindowProc(FakeHandle(1), WM_ERASEBKGND, 0, 0), 1);
    EXPECT_EQ(CWebKitWindow::WindowProc(FakeHandle(2), WM_ERASEBKGND, 0, 0), 1);
    // The default procedure answers 0 for it, so 1 shows it was never consulted.
    EXPECT_EQ(DefWindowProcW(FakeHandle(2), WM_ERASEBKGND, 0, 0), 0);
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(WindowProcTest, UnregisteredHandlesReachNoHook) {
    RecordingWindow window;
    g_windows[FakeHandle(1)] = &window;
    for (UINT message : {WM_SIZE, WM_TIMER, WM_CLOSE, WM_DESTROY, WM_WINDOW_HOOK, WM_SETFOCUS}) {
        CWebKitWindow::WindowProc(FakeHandle(9), message, 0, 0);
    }
    EXPECT_TRUE(window.calls.empty());
    EXPECT_EQ(g_windows.size(), 1u);
    EXPECT_TRUE(TakeQueued().empty());
}

TEST_F(WindowProcTest, TheLastWindowToLeavePostsQuit) {
    RecordingWindow first, second;
    g_windows[FakeHandle(1)] = &first;
    g_windows[FakeHandle(2)] = &second;

    CWebKitWindow::WindowProc(FakeHandle(1), WM_DESTROY, 0, 0);
    EXPECT_EQ(first.calls, std::vector<std::string>{"destroy"});
    EXPECT_EQ(g_windows.size(), 1u);
    EXPECT_TRUE(TakeQueued().empty()) << "one window is left, nothing quits";

    CWebKitWindow::WindowProc(FakeHandle(2), WM_DESTROY, 0, 0);
    EXPECT_TRUE(g_windows.empty());
    EXPECT_EQ(TakeQueued(), std::vector<UINT>{WM_QUIT});

    // A second WM_DESTROY for a window that already left changes nothing.
    CWebKitWindow::WindowProc(FakeHandle(2), WM_DESTROY, 0, 0);
    EXPECT_TRUE(TakeQueued().empty());
}

// ---- Delegates --------------------------------------------------------------------------------

template <class Delegate>
void ExpectOnlyOwnInterfaces(Delegate& delegate, const IID& own) {
    const IID* foreign[] = {&IID_IDispatch, &IID_IWebView, &IID_IWebFrame, &IID_IWebError};
    for (const IID* id : foreign) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(delegate.QueryInterface(*id, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    for (const IID* id : {&IID_IUnknown, &own}) {
        void* out = nullptr;
        ASSERT_EQ(delegate.QueryInterface(*id, &out), S_OK);
        EXPECT_NE(out, nullptr);
        EXPECT_EQ(delegate.RefCount(), 2u);
        delegate.Release();
    }
    EXPECT_EQ(delegate.RefCount(), 1u);
}

TEST(DelegateTest, EachAnswersOnlyForItsOwnInterface) {
    CDefFrameLoadDelegate frameLoad;
    CDefUIDelegate ui;
    CDefPolicyDelegate policy;
    CDefNotificationObserver observer;
    CResourceLoadDelegate resourceLoad;
    ExpectOnlyOwnInterfaces(frameLoad, IID_IWebFrameLoadDelegate);
    ExpectOnlyOwnInterfaces(ui, IID_IWebUIDelegate);
    ExpectOnlyOwnInterfaces(policy, IID_IWebPolicyDelegate);
    ExpectOnlyOwnInterfaces(observer, IID_IWebNotificationObserver);
    ExpectOnlyOwnInterfaces(resourceLoad, IID_IWebResourceLoadDelegate);
    // The methods the working classes leave alone answer "not implemented".
    EXPECT_EQ(frameLoad.didReceiveTitle(nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(policy.decidePolicyForMIMEType(nullptr, nullptr, nullptr, nullptr, nullptr),
              E_NOTIMPL);
    int mask = -1;
    EXPECT_EQ(ui.dragDestinationActionMaskForDraggingInfo(nullptr, nullptr, &mask), S_OK);
    EXPECT_EQ(mask, 0);
}

// A view and a notification just real enough for the observer.
class FakeView : public IWebView {
public:
    HWND host = nullptr;
    double progress = 0;
    HRESULT QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IWebView)) {
            *out = this;
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT initWithFrame(RECT, BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT setUIDelegate(IWebUIDelegate*) override { return E_NOTIMPL; }
    HRESULT uiDelegate(IWebUIDelegate**) override { return E_NOTIMPL; }
    HRESULT setResourceLoadDelegate(IWebResourceLoadDelegate*) override { return E_NOTIMPL; }
    HRESULT resourceLoadDelegate(IWebResourceLoadDelegate**) override { return E_NOTIMPL; }
    HRESULT setFrameLoadDelegate(IWebFrameLoadDelegate*) override { return E_NOTIMPL; }
    HRESULT frameLoadDelegate(IWebFrameLoadDelegate**) override { return E_NOTIMPL; }
    HRESULT setPolicyDelegate(IWebPolicyDelegate*) override { return E_NOTIMPL; }
    HRESULT policyDelegate(IWebPolicyDelegate**) override { return E_NOTIMPL; }
    HRESULT mainFrame(IWebFrame**) override { return E_NOTIMPL; }
    HRESULT setHostWindow(HWND w) override {
        host = w;
        return S_OK;
    }
    HRESULT hostWindow(HWND* w) override {
        *w = host;
        return S_OK;
    }
    HRESULT mainFrameURL(BSTR*) override { return E_NOTIMPL; }
    HRESULT estimatedProgress(double* p) override {
        *p = progress;
        return S_OK;
    }
    HRESULT close() override { return S_OK; }
};

class FakeNotification : public IWebNotification {
public:
    FakeNotification(const char16_t* name, IUnknown* object) : m_name(name), m_object(object) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT name(BSTR* out) override {
        *out = SysAllocString(m_name);
        return S_OK;
    }
    HRESULT getObject(IUnknown** out) override {
        *out = m_object;
        return S_OK;
    }

private:
    const char16_t* m_name;
    IUnknown* m_object;
};

TEST(NotificationObserverTest, ProgressIsReportedOncePerWholePercent) {
    RecordingWindow window;
    g_windows.clear();
    g_windows[FakeHandle(5)] = &window;
    FakeView view;
    view.host = FakeHandle(5);
    CDefNotificationObserver observer;
    FakeNotification changed(u"WebProgressEstimateChangedNotification", &view);

    struct Step {
        double estimate;
        std::vector<int> expected;
    };
    const Step steps[] = {
        {0.05, {5}},
        {0.101, {5, 10}},
        {0.109, {5, 10}},  // Still 10 percent: no second call.
        {1.0, {5, 10, 100}},
    };
    for (const auto& step : steps) {
        view.progress = step.estimate;
        EXPECT_EQ(observer.onNotification(&changed), S_OK);
        EXPECT_EQ(window.progress, step.expected) << step.estimate;
    }
    FakeNotification other(u"SomethingElse", &view);
    EXPECT_EQ(observer.onNotification(&other), S_OK);
    EXPECT_EQ(window.progress.size(), 3u);

    // A view whose window already left the registry reaches nothing.
    g_windows.clear();
    view.progress = 0.5;
    EXPECT_EQ(observer.onNotification(&changed), S_OK);
    EXPECT_EQ(window.progress.size(), 3u);
}

// ---- Context menu -----------------------------------------------------------------------------

std::vector<UINT> Ids(const HMENU__& menu) {
    std::vector<UINT> ids;
    for (const auto& item : menu.items) ids.push_back(item.id);
    return ids;
}

HMENU__ MenuOf(std::initializer_list<UINT> ids) {
    HMENU__ menu;
    for (UINT id : ids) menu.items.push_back({id, 0, nullptr, nullptr});
    return menu;
}

TEST(ContextMenuTest, TrimsCopyCutPasteAndNavigation) {
    struct Case {
        std::vector<UINT> before;
        std::vector<UINT> after;
    };
    const Case cases[] = {
        {{8, 13, 14, 12}, {12}},               // Copy, Cut, Paste, Reload -> Reload
        {{12, 1005, 1020}, {12, 1005, 1020}},  // nothing to remove
        {{9, 10, 11, 8, 13, 14}, {}},          // everything goes
        {{1001, 1002, 8, 1003, 1004, 14}, {1001, 1002, 1003, 1004}},  // positions 2 and 5
        {{}, {}},
    };
    for (const auto& c : cases) {
        HMENU__ menu;
        for (UINT id : c.before) menu.items.push_back({id, 0, nullptr, nullptr});
        HMENU result = nullptr;
        CWebKitWindow window;
        window.OnContextMenu(nullptr, &menu, &result);
        EXPECT_EQ(result, &menu);
        EXPECT_EQ(Ids(menu), c.after);
    }
}

TEST(ContextMenuTest, FailingRemovalsAreReportedAndTheRestGoOn) {
    HMENU__ menu = MenuOf({1001, 1002, 8, 1003, 1004, 14});
    menu.locked = true;
    HMENU result = nullptr;
    CWebKitWindow window;
    ::testing::internal::CaptureStderr();
    window.OnContextMenu(nullptr, &menu, &result);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "RemoveMenu() failed, i = 5, err = 5\n"
              "RemoveMenu() failed, i = 2, err = 5\n");
    EXPECT_EQ(result, &menu);
    EXPECT_EQ(menu.items.size(), 6u);
}

}  // namespace
