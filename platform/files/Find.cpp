// Folder listing with the platform's wildcard patterns.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/api/errors.h"
#include "platform/api/fileapi.h"
#include "platform/api/text.h"
#include "platform/files/FileObjects.h"
#include "platform/kernel/Errno.h"

namespace platform::files {
namespace {

class FindObject : public kernel::KernelObject {
public:
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

char16_t Fold(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

// '*' matches any run, '?' one character, letters without regard to case; a '.'
// followed only by '*' at the end may also match the end of a name without a dot
// ("*.*" lists every name).
bool Matches(std::u16string_view pattern, std::u16string_view name) {
    if (pattern.empty()) {
        return name.empty();
    }
    if (pattern[0] == u'*') {
        for (size_t skip = 0; skip <= name.size(); ++skip) {
            if (Matches(pattern.substr(1), name.substr(skip))) {
                return true;
            }
        }
        return false;
    }
    if (pattern[0] == u'.' && name.empty()) {
        return pattern.find_first_not_of(u'*', 1) == std::u16string_view::npos;
    }
    if (name.empty()) {
        return false;
    }
    if (pattern[0] != u'?' && Fold(pattern[0]) != Fold(name[0])) {
        return false;
    }
    return Matches(pattern.substr(1), name.substr(1));
}

WIN32_FIND_DATAW EntryData(const std::string& full, std::u16string_view name) {
    WIN32_FIND_DATAW data{};
    struct stat st;
    if (::stat(full.c_str(), &st) == 0 || ::lstat(full.c_str(), &st) == 0) {
        data.dwFileAttributes = AttributesOf(st);
        data.ftCreationTime = FileTimeFromTimespec(st.st_mtim);
        data.ftLastAccessTime = FileTimeFromTimespec(st.st_atim);
        data.ftLastWriteTime = FileTimeFromTimespec(st.st_mtim);
        auto size = S_ISDIR(st.st_mode) ? 0ULL : static_cast<unsigned long long>(st.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    } else {
        data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    CopyToBuffer(data.cFileName, MAX_PATH, name);
    return data;
}

}  // namespace
}  // namespace platform::files

using platform::files::FindObject;

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findFileData) {
    std::u16string_view wanted = platform::View(fileName);
    if (wanted.empty() || findFileData == nullptr) {
        SetLastError(wanted.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    size_t slash = wanted.rfind(u'/');
    std::string folder = slash == std::u16string_view::npos ? std::string(".")
                         : slash == 0                       ? std::string("/")
                                      : platform::ToUtf8(wanted.substr(0, slash));
    std::u16string_view pattern =
        slash == std::u16string_view::npos ? wanted : wanted.substr(slash + 1);

    DIR* dir = ::opendir(folder.c_str());  // opened close-on-exec by the C library
    if (dir == nullptr) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : platform::kernel::ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names;
    while (struct dirent* entry = ::readdir(dir)) {
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    // A stable order: "." and ".." first, then by name.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        int ra = a == "." ? 0 : a == ".." ? 1 : 2;
        int rb = b == "." ? 0 : b == ".." ? 1 : 2;
        return ra != rb ? ra < rb : a < b;
    });
    auto find = std::make_shared<FindObject>();
    const std::string prefix = folder == "/" ? "/" : folder + "/";
    for (const std::string& name : names) {
        std::u16string wide = platform::FromUtf8(name);
        if (!pattern.empty() && platform::files::Matches(pattern, wide)) {
            find->entries.push_back(platform::files::EntryData(prefix + name, wide));
        }
    }
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *findFileData = find->entries[0];
    find->next = 1;
    SetLastError(ERROR_SUCCESS);
    return platform::kernel::AddHandle(std::move(find));
}

BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findFileData) {
    auto find = platform::kernel::LookupHandleAs<FindObject>(findFile);
    if (!find) {
        return FALSE;
    }
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    if (findFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *findFileData = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    return platform::kernel::RemoveHandleOf<FindObject>(findFile) ? TRUE : FALSE;
}
