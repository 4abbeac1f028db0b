// A desktop without a display for the open and copy tests: records what the finder hands over
// and can be told to refuse. Installed for the life of the object.
#pragma once

#include <string>
#include <vector>

#include "win32/desktop.h"

class FakeDesktop : public win32::CDesktop {
public:
    FakeDesktop() : m_previous(win32::SetDesktop(this)) {}
    ~FakeDesktop() override { win32::SetDesktop(m_previous); }
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    // What the clipboard holds: one Unicode text, or nothing.
    bool hasText = false;
    std::u16string text;
    int entriesSet = 0;
    HWND lastOwner = nullptr;
    // Every address handed to the default handler, in order.
    std::vector<std::u16string> opened;
    // Refusals to simulate.
    bool refuseCopy = false;
    bool refuseOpen = false;

    bool SetClipboardText(HWND owner, const std::u16string& copied) override {
        if (refuseCopy) return false;
        hasText = true;
        text = copied;
        lastOwner = owner;
        ++entriesSet;
        return true;
    }
    bool OpenWithDefaultHandler(const std::u16string& address) override {
        opened.push_back(address);
        return !refuseOpen;
    }

private:
    win32::CDesktop* m_previous;
};
