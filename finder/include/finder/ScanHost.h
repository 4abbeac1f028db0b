// What the URL finder needs from the windows around it. The main window implements this
// interface; the finder never sees a window class, so it can be tested without a display.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "finder/ResourceFilter.h"
#include "finder/ResultRecord.h"
#include "win32/windows.h"

// The one scan state of the program, held by the main window.
struct ScanState {
    BOOL m_running = FALSE;
    BOOL m_paused = FALSE;
    BOOL m_filterEnabled = TRUE;
    BOOL m_useFileExtFilter = FALSE;
    std::u16string m_mimeFilter;
    ExtensionFilter m_fileExtFilter;
    std::map<std::uint32_t, ResultRecord> m_results;
    // Which start the scan belongs to: each address the scan window loads for "start" counts
    // one more, and each watched window knows the number of the scan it was loaded for.
    std::uint32_t m_scanNumber = 0;
    // The engine's identifier of the first resource load of that scan. A load numbered below
    // it started before the scan did: it belongs to the page of an earlier scan.
    std::uint64_t m_firstLoad = 0;
};

class CScanHost : public ScanState {
public:
    virtual ~CScanHost() = default;

    // Calls the global function `name` of the main window's page with one string argument.
    // Answers false when there is no page to call into.
    virtual bool CallPageFunction(const char* name, const std::string& utf8Argument) = 0;

    // Creates the scan window with the title "Trawlet" and its icons when it has no web view
    // (first start, or the user closed it). Answers false when creation failed.
    virtual bool EnsureScanWindow() = 0;

    // LoadUrlUtf8 of the scan window. The page it showed ends first, with every load of it
    // (nothing of an earlier scan outlives it), and the load begins the next scan: it sets
    // m_scanNumber and m_firstLoad. Nothing changes when the address is refused.
    virtual bool LoadScanUrlUtf8(const char* address) = 0;

    // ShowWindow(SW_SHOW) and UpdateWindow of the scan window.
    virtual void ShowScanWindow() = 0;

    // The main window's top-level handle, which owns the clipboard.
    virtual HWND ClipboardOwner() = 0;

    // For each address in `urls` (UTF-8), the Cookie header value a request of the scan
    // session to it would carry now ("" for none), in order, into `headers`. HttpOnly cookies
    // are included. Answers from a copy of the session's cookies, without waiting on the
    // engine; false when there is no copy to answer from.
    virtual bool ScanCookieHeaders(const std::vector<std::string>& urls,
                                   std::vector<std::string>& headers) = 0;
};
