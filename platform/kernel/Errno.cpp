#include "platform/kernel/Errno.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/api/errors.h"
#include "platform/api/text.h"

namespace platform::kernel {

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ELOOP:
            return ERROR_INVALID_NAME;
        case EIO:
            return ERROR_WRITE_FAULT;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case ENOSYS:
        case EOPNOTSUPP:
            return ERROR_NOT_SUPPORTED;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

DWORD PathErrorFromErrno(int error, const std::string& path) {
    if (error != ENOENT) {
        return ErrorFromErrno(error);
    }
    if (path.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    size_t slash = folder.rfind('/');
    if (slash == std::string::npos) {
        return ERROR_FILE_NOT_FOUND;  // relative name in the current folder
    }
    folder.resize(slash == 0 ? 1 : slash);
    struct stat st;
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}

BOOL FailWithErrno(int error) {
    SetLastError(ErrorFromErrno(error));
    return FALSE;
}

BOOL FailWithPathErrno(int error, const std::string& path) {
    SetLastError(PathErrorFromErrno(error, path));
    return FALSE;
}

std::string NativePath(const WCHAR* path) {
    return ToUtf8(View(path));
}

}  // namespace platform::kernel
