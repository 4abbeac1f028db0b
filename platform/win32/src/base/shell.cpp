// ShellExecuteW's "open" over GIO: addresses with a scheme go to the handler registered for
// that scheme, existing local files to the handler of their type.
#include <gio/gio.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "win32/text.h"
#include "win32/windows.h"

namespace {

// Windows' answers below 33 are error codes; these are the ones this layer gives.
constexpr std::intptr_t kFileNotFound = 2;    // SE_ERR_FNF
constexpr std::intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC
constexpr std::intptr_t kSuccess = 42;        // any value above 32

HINSTANCE Answer(std::intptr_t value) {
    return reinterpret_cast<HINSTANCE>(value);
}

}  // namespace

HINSTANCE ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR directory, int) {
    if (verb != nullptr && std::u16string_view(verb) != u"open") {
        SetLastError(ERROR_INVALID_PARAMETER);
        return Answer(kNoAssociation);
    }
    if (file == nullptr || *file == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return Answer(kFileNotFound);
    }
    const std::string target = win32::ToUtf8(file);

    std::string uri;
    if (char* scheme = g_uri_parse_scheme(target.c_str())) {
        g_free(scheme);
        uri = target;
    } else {
        // A plain path: relative to the given folder when there is one, else to the current one.
        std::string path = target;
        if (!g_path_is_absolute(path.c_str()) && directory != nullptr && *directory != 0) {
            gchar* joined =
                g_build_filename(win32::ToUtf8(directory).c_str(), path.c_str(), nullptr);
            path = joined;
            g_free(joined);
        }
        if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return Answer(kFileNotFound);
        }
        GFile* local = g_file_new_for_path(path.c_str());
        gchar* localUri = g_file_get_uri(local);
        uri = localUri;
        g_free(localUri);
        g_object_unref(local);
    }

    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) {
        const bool missing =
            error != nullptr && error->domain == G_IO_ERROR && error->code == G_IO_ERROR_NOT_FOUND;
        if (error != nullptr) g_error_free(error);
        SetLastError(missing ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return Answer(missing ? kFileNotFound : kNoAssociation);
    }
    return Answer(kSuccess);
}
