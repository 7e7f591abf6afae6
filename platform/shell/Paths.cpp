// Path helpers of the shell.
#include <sys/stat.h>

#include <string>

#include "platform/api/errors.h"
#include "platform/api/shell.h"
#include "platform/api/text.h"

BOOL PathFileExistsW(LPCWSTR path) {
    if (path == nullptr || path[0] == 0) {
        return FALSE;
    }
    return PathFileExistsA(platform::ToUtf8(platform::View(path)).c_str());
}

// The 8-bit code page is UTF-8, so the name is the file system's own.
BOOL PathFileExistsA(LPCSTR path) {
    struct stat st;
    if (path == nullptr || path[0] == 0) {
        return FALSE;
    }
    if (::stat(path, &st) != 0) {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

BOOL PathRemoveFileSpecW(LPWSTR path) {
    if (path == nullptr || path[0] == 0) {
        return FALSE;
    }
    std::u16string_view p = platform::View(path);
    size_t slash = p.rfind(u'/');
    if (slash == std::u16string_view::npos) {
        path[0] = 0;
        return TRUE;
    }
    if (slash == 0) {
        // The root stays.
        if (p.size() == 1) {
            return FALSE;
        }
        path[1] = 0;
        return TRUE;
    }
    path[slash] = 0;
    return TRUE;
}

BOOL PathAppendW(LPWSTR path, LPCWSTR more) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string joined(platform::View(path));
    std::u16string_view tail = platform::View(more);
    while (!tail.empty() && tail.front() == u'/') {
        tail.remove_prefix(1);
    }
    if (!joined.empty() && !tail.empty()) {
        while (joined.size() > 1 && joined.back() == u'/') {
            joined.pop_back();
        }
        if (joined.back() != u'/') {
            joined.push_back(u'/');
        }
    }
    joined.append(tail);
    if (joined.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    platform::CopyToBuffer(path, MAX_PATH, joined);
    return TRUE;
}
