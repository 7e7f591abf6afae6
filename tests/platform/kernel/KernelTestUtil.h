#pragma once
// Small helpers shared by the kernel, file and shell tests.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/api/text.h"

namespace kerneltest {

inline std::u16string W(const std::string& utf8) {
    return platform::FromUtf8(utf8);
}
inline std::string U(std::u16string_view wide) {
    return platform::ToUtf8(wide);
}

// Polls a condition until it holds or a generous deadline passes.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A fresh folder name for each test run, also when tests repeat in one process.
inline std::string FreshName(const std::string& base) {
    static int counter = 0;
    return base + "-" + std::to_string(++counter);
}

inline mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode;
}

// The descriptor of this process that refers to `path`, or -1.
inline int DescriptorFor(const std::string& path) {
    for (int fd = 0; fd < 1024; ++fd) {
        char link[64];
        char target[4096];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = ::readlink(link, target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == path) {
            return fd;
        }
    }
    return -1;
}

}  // namespace kerneltest
