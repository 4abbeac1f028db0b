// The folder of the page's local storage: the stored one while it works, else one made anew
// below the data folder, and what the page is to be told when neither can be used.
#pragma once

#include <string>

struct LocalStorageFolder {
    // The folder the engine is to keep local storage in; empty when there is none.
    std::u16string path;
    // True when `path` is to replace the stored preference.
    bool store = false;
    // UTF-8 text for the page; empty when there is nothing to say.
    std::string notice;
};

// True when `folder` is a folder in which a file can be made, written and removed. A test
// file is written rather than the permission bits read, since a read-only file system, a full
// disk or a process that ignores permissions (root) would make those bits lie. Otherwise false,
// with the reason in `reason` (UTF-8, one short clause).
bool IsUsableStorageFolder(const std::u16string& folder, std::string& reason);

// The folder for this run, given the stored preference (empty when none): the stored folder
// while it is usable, else <data folder>/WebKitUtil/LocalStorage, made when missing.
LocalStorageFolder ChooseLocalStorageFolder(const std::u16string& stored);
