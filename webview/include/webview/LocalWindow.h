// The main window: shows the program's own page, holds the scan state and the page's service
// object, and closing it closes every window.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "bridgehost/ServiceHost.h"
#include "finder/ScanHost.h"
#include "webview/MyWindow.h"
#include "webview/WebKitWindow.h"

class CLocalWindow : public CWebKitWindow, public CScanHost {
public:
    CLocalWindow();
    ~CLocalWindow() override;

    void OnCreate(CREATESTRUCTW* createStruct) override;
    void OnDropFiles(HDROP drop, const std::vector<std::u16string>& names) override;
    void OnClose() override;
    void OnLoadFinished(BSTR mainFrameUrl) override;
    // Calls the page's "storageProblem" with `text` each time the page has loaded (nothing
    // when `text` is empty, or when the page has no such function), so that a page loaded
    // again after its web process ended says it too.
    void TellPageOnceLoaded(const std::string& text) { m_storageNotice = text; }
    void OnWindowObjectCleared(JSContextRef context, JSObjectRef windowObject,
                               IWebFrame* frame) override;
    void OnWebProcessTerminated(WebProcessTerminationReason reason) override;
    // Tells the page's "fileSaved" where an export it saved went, or why it was not saved.
    void OnDownloadEnded(const std::u16string& suggestedName, const std::u16string& path,
                         const std::u16string& failure) override;

    // Posts WM_DESTROY to every registered window.
    void PostDestroyToAllWindows();

    // The application's scan window and its list of additional windows.
    void AttachWindows(CMyWindow* scanWindow, std::vector<CMyWindow*>* popupWindows);

    // The one main window, or null while there is none.
    static CLocalWindow* Instance();

    // The number of an additional window that opens now: 1 for the first since the last start.
    int NextAdditionalWindowNumber() { return ++m_additionalWindows; }
    // Counts the starts, so that what arrives late can tell whether its scan is still the one.
    std::uint32_t ScanNumber() const { return m_scanNumber; }

    // CScanHost
    bool CallPageFunction(const char* name, const std::string& utf8Argument) override;
    bool EnsureScanWindow() override;
    bool LoadScanUrlUtf8(const char* address) override;
    void ShowScanWindow() override;
    HWND ClipboardOwner() override { return m_hWnd; }
    bool ScanCookieHeaders(const std::vector<std::string>& urls,
                           std::vector<std::string>& headers) override;

    CWebKitServiceHost m_service;

private:
    // The address the view shows now, for the service's own check that it is the program's
    // page; empty without a view.
    std::string MainViewAddress() const;

    // Recovery.cpp: the page coming back after its web process ended. A first end loads the
    // page again and gives it back the records of the scan; a second one soon after shows a
    // message instead, so that a page that cannot run does not reload for ever.
    void ReloadPage();
    void ShowPageStoppedMessage();
    void ReplayWhenPageIsReady();
    // The page finished loading: if it was loaded again after its web process ended, the scan
    // is given back to it once it is ready.
    void OnReloadedPageLoaded(BSTR mainFrameUrl);

    // A record handed to "addResult" and the details handed to "addResultDetails" after it
    // (empty until they were).
    struct SentRecord {
        std::string record;
        std::string details;
    };
    // The records since the last start, in the order the page got them: what a page loaded
    // again needs to show the scan as it was. Each text is held here once.
    std::vector<SentRecord> m_sentRecords;
    // The "addResultBody" texts, which come once a load has finished, each with the number of
    // records sent before it, so that a page loaded again gets them in the same place.
    std::vector<std::pair<size_t, std::string>> m_sentBodies;
    // Set from the end of the page's process until the page loaded again took the records
    // back; meanwhile records are only kept, not sent.
    bool m_replayPending = false;
    bool m_reloadedPageLoaded = false;
    bool m_reloadedPageCleared = false;
    // The address of the program's page, for loading it again.
    std::string m_pageAddress;
    std::chrono::steady_clock::time_point m_lastProcessEnd{};
    bool m_processEnded = false;

    int m_additionalWindows = 0;
    CMyWindow* m_scanWindow = nullptr;
    std::vector<CMyWindow*>* m_popupWindows = nullptr;
    std::string m_storageNotice;
};
