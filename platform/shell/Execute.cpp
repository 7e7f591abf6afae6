// Starting programs and opening addresses: posix_spawn, never a shell.
#include <glib.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/api/errors.h"
#include "platform/api/fileapi.h"
#include "platform/api/shell.h"
#include "platform/api/text.h"
#include "platform/kernel/Errno.h"
#include "platform/kernel/Waitable.h"
#include "platform/shell/CommandLine.h"

extern char** environ;

namespace {

constexpr DWORD ERROR_NO_ASSOCIATION = 1155;
constexpr INT_PTR kStarted = 42;  // any value above 32 means success

struct Outcome {
    DWORD error = ERROR_SUCCESS;
    std::shared_ptr<platform::kernel::ProcessObject> process;
};

// An address with a scheme ("http://...", "mailto:...") goes to the user's browser.
bool IsAddress(std::string_view file) {
    if (file.rfind("mailto:", 0) == 0) {
        return true;
    }
    size_t colon = file.find("://");
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    for (char c : file.substr(0, colon)) {
        if (!g_ascii_isalnum(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

Outcome Spawn(const std::string& program, const std::vector<std::string>& args,
              const std::string& directory, bool searchPath) {
    Outcome outcome;
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }
    // The child starts with default signal handling and nothing blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    int rc = searchPath
                 ? posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ)
                 : posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        outcome.error = rc == ENOENT
                            ? (searchPath ? ERROR_FILE_NOT_FOUND
                                          : platform::kernel::PathErrorFromErrno(rc, program))
                            : platform::kernel::ErrorFromErrno(rc);
        return outcome;
    }
    outcome.process = platform::kernel::AdoptChild(pid);
    return outcome;
}

Outcome OpenWithOpener(const std::string& target, const std::string& directory) {
    const char* custom = std::getenv("TAVREL_URL_OPENER");
    std::string opener = custom != nullptr && *custom != 0 ? custom : "xdg-open";
    Outcome outcome =
        Spawn(opener, {opener, target}, directory, opener.find('/') == std::string::npos);
    if (outcome.error == ERROR_FILE_NOT_FOUND || outcome.error == ERROR_PATH_NOT_FOUND) {
        outcome.error = ERROR_NO_ASSOCIATION;
    }
    return outcome;
}

Outcome Execute(LPCWSTR fileW, LPCWSTR parametersW, LPCWSTR directoryW) {
    Outcome outcome;
    std::string file = platform::ToUtf8(platform::View(fileW));
    std::string directory = platform::ToUtf8(platform::View(directoryW));
    if (file.empty()) {
        outcome.error = ERROR_FILE_NOT_FOUND;
        return outcome;
    }
    if (!directory.empty()) {
        struct stat st;
        if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            outcome.error = ERROR_DIRECTORY;
            return outcome;
        }
    }
    if (IsAddress(file)) {
        return OpenWithOpener(file, directory);
    }
    const bool searchPath = file.find('/') == std::string::npos;
    if (!searchPath) {
        if (file[0] != '/') {
            // Relative to our current folder, not to the child's working folder.
            char* cwd = ::getcwd(nullptr, 0);
            if (cwd != nullptr) {
                file = std::string(cwd) + "/" + file;
                std::free(cwd);
            }
        }
        // Only programs are started; a file without execute permission is refused
        // rather than handed to whatever the desktop associates with it.
        struct stat st;
        if (::stat(file.c_str(), &st) != 0) {
            outcome.error = platform::kernel::PathErrorFromErrno(errno, file);
            return outcome;
        }
    }
    std::vector<std::string> args{file};
    for (const std::u16string& a : platform::shell::SplitCommandLine(platform::View(parametersW))) {
        args.push_back(platform::ToUtf8(a));
    }
    return Spawn(file, args, directory, searchPath);
}

INT_PTR ShellErrorCode(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return SE_ERR_FNF;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
            return SE_ERR_PNF;
        case ERROR_ACCESS_DENIED:
            return SE_ERR_ACCESSDENIED;
        case ERROR_NOT_ENOUGH_MEMORY:
            return SE_ERR_OOM;
        case ERROR_NO_ASSOCIATION:
            return SE_ERR_NOASSOC;
        default:
            return SE_ERR_ACCESSDENIED;
    }
}

HINSTANCE AsInstance(INT_PTR value) {
    return reinterpret_cast<HINSTANCE>(value);
}

}  // namespace

HINSTANCE ShellExecuteW(HWND /*hwnd*/, LPCWSTR /*operation*/, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, INT /*showCommand*/) {
    Outcome outcome = Execute(file, parameters, directory);
    if (outcome.error != ERROR_SUCCESS) {
        SetLastError(outcome.error);
        return AsInstance(ShellErrorCode(outcome.error));
    }
    return AsInstance(kStarted);  // the process object goes: a reaper collects the child
}

// The structure's size is accepted as this build lays it out, and as the platform's
// 32-bit layout (60 bytes) that callers may still give.
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
    if (info == nullptr || (info->cbSize != sizeof(SHELLEXECUTEINFOW) && info->cbSize != 60)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = nullptr;
    // Errors are only ever reported to the caller: there is no dialog to suppress.
    Outcome outcome = Execute(info->lpFile, info->lpParameters, info->lpDirectory);
    if (outcome.error != ERROR_SUCCESS) {
        info->hInstApp = AsInstance(ShellErrorCode(outcome.error));
        SetLastError(outcome.error);
        return FALSE;
    }
    info->hInstApp = AsInstance(kStarted);
    if ((info->fMask & SEE_MASK_NOCLOSEPROCESS) != 0 && outcome.process) {
        info->hProcess = platform::kernel::AddHandle(outcome.process);
    }
    return TRUE;
}
