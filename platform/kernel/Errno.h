#pragma once
// Linux errno values as the platform's last-error codes.
#include <string>

#include "platform/api/types.h"

namespace platform::kernel {

DWORD ErrorFromErrno(int error);
// ENOENT becomes ERROR_PATH_NOT_FOUND when the path's folder is missing too.
DWORD PathErrorFromErrno(int error, const std::string& path);
// Sets the last error from errno; returns FALSE for convenient use in returns.
BOOL FailWithErrno(int error);
BOOL FailWithPathErrno(int error, const std::string& path);

// UTF-8 path of a UTF-16 one.
std::string NativePath(const WCHAR* path);

}  // namespace platform::kernel
