// A main window without windows: records what the finder asks of it, in order.
#pragma once

#include <string>
#include <vector>

#include "finder/ScanHost.h"

class FakeScanHost : public CScanHost {
public:
    // What the next calls answer.
    bool pageAnswers = true;    // CallPageFunction: the page has the function and it ran
    bool windowCreates = true;  // EnsureScanWindow
    bool loaderAccepts = true;  // LoadScanUrlUtf8, which also refuses the empty address

    // Every call as one line: "ensure", "page updateInputUrl <arg>", "load <address>", "show".
    std::vector<std::string> log;
    std::vector<std::string> addResultTexts;

    bool CallPageFunction(const char* name, const std::string& utf8Argument) override {
        log.push_back(std::string("page ") + name + " " + utf8Argument);
        if (std::string(name) == "addResult") addResultTexts.push_back(utf8Argument);
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

private:
    int m_ownerTag = 0;
};
