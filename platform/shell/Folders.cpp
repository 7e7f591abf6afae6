// Special folders on the XDG layout.
#include <glib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "platform/api/errors.h"
#include "platform/api/shell.h"
#include "platform/api/text.h"

namespace {

std::string Home() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != 0 ? home : g_get_home_dir();
}

std::string EnvFolder(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : fallback;
}

// Read with a close-on-exec descriptor, like every descriptor of the layer.
std::string ReadSmallFile(const std::string& path) {
    std::string text;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1u << 20)) {
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

// XDG_DESKTOP_DIR from user-dirs.dirs: "$HOME/..." or an absolute path, in quotes.
std::string DesktopFolder() {
    const std::string home = Home();
    std::istringstream in(
        ReadSmallFile(EnvFolder("XDG_CONFIG_HOME", home + "/.config") + "/user-dirs.dirs"));
    std::string line;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 16, "XDG_DESKTOP_DIR=") != 0) {
            continue;
        }
        std::string value = line.substr(start + 16);
        if (value.size() < 2 || value.front() != '"') {
            continue;
        }
        size_t end = value.find('"', 1);
        if (end == std::string::npos) {
            continue;
        }
        value = value.substr(1, end - 1);
        std::string path;
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
            path = home + value.substr(5);
        } else if (!value.empty() && value[0] == '/') {
            path = value;
        } else {
            continue;
        }
        // "$HOME/" alone means no desktop folder of its own; the home folder stands in.
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        return path;
    }
    return home + "/Desktop";
}

std::string CommonProgramsFolder() {
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string first =
        dirs != nullptr ? std::string(dirs).substr(0, std::string(dirs).find(':')) : "";
    if (first.empty() || first[0] != '/') {
        first = "/usr/local/share";
    }
    while (first.size() > 1 && first.back() == '/') {
        first.pop_back();
    }
    return first + "/applications";
}

// The folder for a CSIDL value, or empty for one we do not know.
std::string FolderFor(int csidl) {
    switch (csidl & 0xFF) {
        case CSIDL_APPDATA:
            return EnvFolder("XDG_CONFIG_HOME", Home() + "/.config");
        case CSIDL_DESKTOPDIRECTORY:
            return DesktopFolder();
        case CSIDL_COMMON_PROGRAMS:
            return CommonProgramsFolder();
        default:
            return {};
    }
}

// 0 when the folder exists (created on request), else the error.
DWORD Resolve(int csidl, bool create, LPWSTR out) {
    std::string folder = FolderFor(csidl);
    if (folder.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    std::u16string wide = platform::FromUtf8(folder);
    if (wide.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    platform::CopyToBuffer(out, MAX_PATH, wide);
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    }
    // The per-user configuration folder is made whenever it is missing, as XDG asks.
    if ((create || (csidl & 0xFF) == CSIDL_APPDATA) &&
        g_mkdir_with_parents(folder.c_str(), 0700) == 0) {
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

}  // namespace

HRESULT SHGetFolderPathW(HWND /*owner*/, int folder, HANDLE /*token*/, DWORD /*flags*/,
                         LPWSTR path) {
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    path[0] = 0;
    DWORD error = Resolve(folder, (folder & CSIDL_FLAG_CREATE) != 0, path);
    if (error == ERROR_INVALID_PARAMETER || error == ERROR_FILENAME_EXCED_RANGE) {
        path[0] = 0;
        return error == ERROR_INVALID_PARAMETER ? E_INVALIDARG : HRESULT_FROM_WIN32(error);
    }
    // A folder that does not exist yet still has its path; S_FALSE says it is missing.
    return error == ERROR_SUCCESS ? S_OK : S_FALSE;
}

BOOL SHGetSpecialFolderPathW(HWND /*owner*/, LPWSTR path, int folder, BOOL create) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    path[0] = 0;
    DWORD error = Resolve(folder, create != FALSE, path);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
