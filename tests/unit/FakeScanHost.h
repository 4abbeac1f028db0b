// A main window without windows: records what the finder asks of it, in order.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "finder/ScanHost.h"

class FakeScanHost : public CScanHost {
public:
    // What the next calls answer.
    bool pageAnswers = true;    // CallPageFunction: the page has the function and it ran
    bool windowCreates = true;  // EnsureScanWindow
    bool loaderAccepts = true;  // LoadScanUrlUtf8, which also refuses the empty address
    bool cookiesKnown = true;   // ScanCookieHeaders
    // The Cookie header of each address; an address not listed has none.
    std::map<std::string, std::string> cookieHeaders;

    // Every call as one line: "ensure", "page updateInputUrl <arg>", "load <address>", "show".
    std::vector<std::string> log;
    std::vector<std::string> addResultTexts;
    std::vector<std::string> detailsTexts;

    bool CallPageFunction(const char* name, const std::string& utf8Argument) override {
        log.push_back(std::string("page ") + name + " " + utf8Argument);
        if (std::string(name) == "addResult") addResultTexts.push_back(utf8Argument);
        if (std::string(name) == "addResultDetails") detailsTexts.push_back(utf8Argument);
        return pageAnswers;
    }
    bool EnsureScanWindow() override {
        log.push_back("ensure");
        return windowCreates;
    }
    bool LoadScanUrlUtf8(const char* address) override {
        log.push_back(std::string("load ") + address);
        if (!loaderAccepts || *address == 0) return false;
        ++m_scanNumber;
        return true;
    }
    void ShowScanWindow() override { log.push_back("show"); }
    HWND ClipboardOwner() override { return reinterpret_cast<HWND>(&m_ownerTag); }
    bool ScanCookieHeaders(const std::vector<std::string>& urls,
                           std::vector<std::string>& headers) override {
        log.push_back("cookies " + std::to_string(urls.size()));
        if (!cookiesKnown) return false;
        headers.clear();
        for (const auto& url : urls) {
            auto it = cookieHeaders.find(url);
            headers.push_back(it == cookieHeaders.end() ? std::string() : it->second);
        }
        return true;
    }

private:
    int m_ownerTag = 0;
};
