#include "app/StorageFolder.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/LocalPaths.h"
#include "win32/text.h"

namespace {

const char kNotKept[] = "Settings and history will not be kept: ";

std::string Reason(const std::string& folder, int error) {
    return folder + " cannot be used (" + std::strerror(error) + ")";
}

}  // namespace

bool IsUsableStorageFolder(const std::u16string& folder, std::string& reason) {
    reason.clear();
    const std::string native = win32::ToUtf8(folder);
    if (native.empty()) {
        reason = "no folder is set";
        return false;
    }
    struct stat info {};
    if (stat(native.c_str(), &info) != 0) {
        reason = Reason(native, errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        reason = native + " is not a folder";
        return false;
    }
    std::string probe = native + "/.trawlet-write-test-XXXXXX";
    const int fd = g_mkstemp_full(probe.data(), O_RDWR, 0600);
    if (fd < 0) {
        reason = native + " cannot be written (" + std::strerror(errno) + ")";
        return false;
    }
    // A full disk still makes an empty file; it is found by writing a block and syncing it.
    const std::string block(4096, '\0');
    const bool written =
        write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()) &&
        fsync(fd) == 0;
    const int error = errno;
    close(fd);
    g_unlink(probe.c_str());
    if (!written) {
        reason = native + " cannot be written (" + std::strerror(error) + ")";
        return false;
    }
    return true;
}

LocalStorageFolder ChooseLocalStorageFolder(const std::u16string& stored) {
    LocalStorageFolder choice;
    std::string storedReason;
    if (!stored.empty() && IsUsableStorageFolder(stored, storedReason)) {
        choice.path = stored;
        return choice;
    }
    std::u16string data;
    if (!GetAppDataFolder(data) || data.empty()) {
        // Without a data folder the set-up is skipped rather than done at the root of the file
        // system; a stored folder that does not work is no better than none.
        choice.notice = std::string(kNotKept) +
                        "there is no data folder ($XDG_DATA_HOME and "
                        "$HOME are unset).";
        return choice;
    }
    const std::u16string folder = data + u"/WebKitUtil/LocalStorage";
    const std::string native = win32::ToUtf8(folder);
    std::string reason;
    if (g_mkdir_with_parents(native.c_str(), 0700) != 0) {
        reason = Reason(native, errno);
    } else if (IsUsableStorageFolder(folder, reason)) {
        choice.path = folder;
        choice.store = folder != stored;
        // Whatever the old folder held is out of reach now, which the user should hear of. The
        // same folder made again (the data folder was emptied) put nothing out of reach.
        if (!stored.empty() && folder != stored) {
            choice.notice = "The stored settings and history could not be read: " + storedReason +
                            ". They are kept in " + native + " from now on.";
        }
        return choice;
    }
    choice.notice = std::string(kNotKept) + reason + ".";
    return choice;
}
