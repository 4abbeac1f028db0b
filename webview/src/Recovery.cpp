// What the windows do when the web process of their page ends (a crash, the memory limit):
// the view would otherwise stay on its last frame, or blank, for good.
#include <glib.h>

#include <string>

#include "webview/LocalWindow.h"
#include "webview/MyWindow.h"
#include "win32/text.h"

namespace {

// Two ends of the main page's process closer together than this show a message rather
// than loading the page again, which would most likely end the same way.
constexpr std::chrono::seconds kRepeatedEndWindow{10};

// The address of the message shown in the main view: the page's own address with a
// fragment, so that the link back to the page is a same-folder load and the message is
// never taken for the page.
constexpr char kStoppedFragment[] = "#stopped";

std::string Escaped(const std::string& text) {
    gchar* escaped = g_markup_escape_text(text.c_str(), static_cast<gssize>(text.size()));
    std::string result(escaped);
    g_free(escaped);
    return result;
}

// A plain document in the look of the system's dialogs: a heading and a few lines.
std::string MessageHtml(const std::string& heading, const std::string& bodyHtml) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + Escaped(heading) +
           "</title><style>body{font:15px/1.5 sans-serif;margin:3em;max-width:40em;color:#222;"
           "background:#fff8e1}h1{font-size:1.3em}</style></head><body><h1 id=\"stopped\">" +
           Escaped(heading) + "</h1>" + bodyHtml + "</body></html>";
}

}  // namespace

bool CWebKitWindow::LoadHtmlUtf8(const std::string& html) {
    if (!m_webView) return false;
    IWebFrame* frame = nullptr;
    if (FAILED(m_webView->mainFrame(&frame)) || !frame) return false;
    const std::u16string text = win32::ToUtf16(html);
    BSTR string = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    const bool loaded = SUCCEEDED(frame->loadHTMLString(string, nullptr));
    SysFreeString(string);
    frame->Release();
    return loaded;
}

// ---- The main window ------------------------------------------------------------------------

void CLocalWindow::OnWebProcessTerminated(WebProcessTerminationReason reason) {
    // The program ends a process only while it closes the view.
    if (reason == WebProcessTerminatedByClient || !m_webView) return;
    const auto now = std::chrono::steady_clock::now();
    const bool repeated = m_processEnded && now - m_lastProcessEnd < kRepeatedEndWindow;
    m_processEnded = true;
    m_lastProcessEnd = now;
    // From now on records are kept for the page that comes next, not sent into the void.
    m_replayPending = true;
    m_reloadedPageLoaded = false;
    m_reloadedPageCleared = false;
    if (repeated || m_pageAddress.empty()) {
        ShowPageStoppedMessage();
    } else {
        ReloadPage();
    }
}

void CLocalWindow::ReloadPage() {
    LoadUrlUtf8(m_pageAddress.c_str());
}

void CLocalWindow::ShowPageStoppedMessage() {
    const std::string scan = !m_running ? "No scan is running."
                             : m_paused ? "The scan is paused; the scan window stays open."
                                        : "The scan goes on in the scan window.";
    const size_t count = m_sentRecords.size();
    const std::string kept =
        count == 0 ? std::string()
                   : " Trawlet keeps the " + std::to_string(count) +
                         (count == 1 ? " address" : " addresses") +
                         " found so far and gives them back to the page when it is loaded again.";
    const std::string body =
        "<p>The Trawlet page stopped working twice within a few seconds, so it was not "
        "loaded again at once.</p><p>" +
        Escaped(scan) + kept +
        "</p>"
        "<p><a id=\"reload\" href=\"" +
        Escaped(m_pageAddress) +
        "\">Load the page again</a>, or close this window to end Trawlet.</p>";
    const std::string html = MessageHtml("The page stopped working", body);
    if (m_pageAddress.empty() || !m_webView) {
        LoadHtmlUtf8(html);
        return;
    }
    IWebFrame* frame = nullptr;
    if (FAILED(m_webView->mainFrame(&frame)) || !frame) return;
    const std::u16string text = win32::ToUtf16(html);
    const std::u16string base = win32::ToUtf16(m_pageAddress + kStoppedFragment);
    BSTR string = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    BSTR baseUrl = SysAllocStringLen(base.data(), static_cast<UINT>(base.size()));
    frame->loadHTMLString(string, baseUrl);
    SysFreeString(string);
    SysFreeString(baseUrl);
    frame->Release();
}

void CLocalWindow::OnReloadedPageLoaded(BSTR mainFrameUrl) {
    if (!m_replayPending || !mainFrameUrl) return;
    if (win32::ToUtf8(std::u16string_view(mainFrameUrl, SysStringLen(mainFrameUrl))) !=
        m_pageAddress)
        return;
    m_reloadedPageLoaded = true;
    ReplayWhenPageIsReady();
}

void CLocalWindow::ReplayWhenPageIsReady() {
    // The page's scripts have run once its load finished, and calls reach it once its
    // window object was reported; the two arrive in either order.
    if (!m_replayPending || !m_reloadedPageLoaded || !m_reloadedPageCleared) return;
    if (MainViewAddress() != m_pageAddress) return;
    m_replayPending = false;
    // A page that knows the function takes what follows as the scan it was showing rather
    // than as a new one; it asks the service for the scan state itself.
    m_service.CallPageFunction("resumeScan", std::to_string(m_sentRecords.size()));
    auto body = m_sentBodies.begin();
    auto bodiesUpTo = [&](size_t records) {
        for (; body != m_sentBodies.end() && body->first <= records; ++body)
            m_service.CallPageFunction("addResultBody", body->second);
    };
    for (size_t i = 0; i < m_sentRecords.size(); ++i) {
        bodiesUpTo(i);
        m_service.CallPageFunction("addResult", m_sentRecords[i].record);
        if (!m_sentRecords[i].details.empty())
            m_service.CallPageFunction("addResultDetails", m_sentRecords[i].details);
    }
    bodiesUpTo(m_sentRecords.size());
}

// ---- The watched windows --------------------------------------------------------------------

void CMyWindow::OnWebProcessTerminated(WebProcessTerminationReason reason) {
    if (reason == WebProcessTerminatedByClient) return;
    // The page of its boxes is gone.
    CloseScriptDialogs();
    LoadHtmlUtf8(MessageHtml(
        "This page stopped working",
        "<p>The web page shown in this window stopped working, so the window cannot show it "
        "any more. The scan itself is unchanged: Stop, Pause and the addresses found so far "
        "work as before.</p><p>Start a scan again in the Trawlet window to load a page "
        "here.</p>"));
}
