#include "platform/kernel/RuntimeDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::kernel {
namespace {

// The folder exists (created when missing), is a real folder owned by us and
// reachable by nobody else.
bool EnsurePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) {
        return false;
    }
    return true;
}

}  // namespace

std::string RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        std::string folder = std::string(runtime) + "/tavrel";
        if (EnsurePrivateFolder(folder)) {
            return folder;
        }
    }
    std::string folder = "/tmp/tavrel-" + std::to_string(::getuid());
    return EnsurePrivateFolder(folder) ? folder : std::string();
}

}  // namespace platform::kernel
