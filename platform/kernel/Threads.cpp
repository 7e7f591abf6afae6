// Threads and processes: creation, waiting, exit codes, reaping.
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/api/errors.h"
#include "platform/api/kernel.h"
#include "platform/kernel/Errno.h"
#include "platform/kernel/Waitable.h"

namespace platform::kernel {
namespace {

struct ThreadState {
    std::mutex lock;
    std::condition_variable changed;
    bool started = false;
    bool finished = false;
    DWORD id = 0;
    DWORD exitCode = STILL_ACTIVE;
};

class ThreadObject : public KernelObject {
public:
    explicit ThreadObject(std::shared_ptr<ThreadState> state) : state_(std::move(state)) {}

    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock guard(state_->lock);
        auto done = [this] { return state_->finished; };
        if (milliseconds == INFINITE) {
            state_->changed.wait(guard, done);
            return WAIT_OBJECT_0;
        }
        return state_->changed.wait_for(guard, std::chrono::milliseconds(milliseconds), done)
                   ? WAIT_OBJECT_0
                   : WAIT_TIMEOUT;
    }

private:
    std::shared_ptr<ThreadState> state_;
};

}  // namespace

ProcessObject::~ProcessObject() {
    if (TryReap(false)) {
        ::close(pidfd_);
        return;
    }
    // Still running and nobody will wait for it: a detached reaper collects it.
    int fd = pidfd_;
    std::thread([fd] {
        siginfo_t info{};
        while (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(fd), &info, WEXITED) !=
                   0 &&
               errno == EINTR) {
        }
        ::close(fd);
    }).detach();
}

bool ProcessObject::TryReap(bool block) {
    std::lock_guard guard(lock_);
    if (reaped_) {
        return true;
    }
    siginfo_t info{};
    int rc;
    do {
        rc = ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_), &info,
                      WEXITED | (block ? 0 : WNOHANG));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno == ECHILD) {
            reaped_ = true;  // collected elsewhere: the exit code is unknown
            exitCode_ = 0;
        }
        return reaped_;
    }
    if (info.si_pid == 0) {
        return false;  // still running
    }
    reaped_ = true;
    exitCode_ = info.si_code == CLD_EXITED ? static_cast<DWORD>(info.si_status)
                                           : 128u + static_cast<DWORD>(info.si_status);
    return true;
}

DWORD ProcessObject::Wait(DWORD milliseconds) {
    if (TryReap(false)) {
        return WAIT_OBJECT_0;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int timeout = -1;
        if (milliseconds != INFINITE) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        struct pollfd p {
            pidfd_, POLLIN, 0
        };
        int rc = ::poll(&p, 1, timeout);
        if (rc < 0 && errno != EINTR) {
            FailWithErrno(errno);
            return WAIT_FAILED;
        }
        if (rc > 0) {
            if (TryReap(true)) {
                return WAIT_OBJECT_0;
            }
            FailWithErrno(errno);
            return WAIT_FAILED;
        }
        if (rc == 0) {
            return TryReap(false) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        }
    }
}

DWORD ProcessObject::ExitCode() {
    if (!TryReap(false)) {
        return STILL_ACTIVE;
    }
    std::lock_guard guard(lock_);
    return exitCode_;
}

std::shared_ptr<ProcessObject> AdoptChild(pid_t pid) {
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));  // close-on-exec by default
    if (fd < 0) {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
        return nullptr;
    }
    return std::make_shared<ProcessObject>(pid, fd);
}

}  // namespace platform::kernel

using platform::kernel::ThreadState;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*attributes*/, SIZE_T /*stackSize*/,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD /*creationFlags*/,
                    LPDWORD threadId) {
    if (startAddress == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto state = std::make_shared<ThreadState>();
    try {
        std::thread([state, startAddress, parameter] {
            {
                std::lock_guard guard(state->lock);
                state->id = GetCurrentThreadId();
                state->started = true;
            }
            state->changed.notify_all();
            DWORD code = startAddress(parameter);
            {
                std::lock_guard guard(state->lock);
                state->exitCode = code;
                state->finished = true;
            }
            state->changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // The caller gets the thread's identifier as the thread itself sees it.
    DWORD id;
    {
        std::unique_lock guard(state->lock);
        state->changed.wait(guard, [&state] { return state->started; });
        id = state->id;
    }
    if (threadId != nullptr) {
        *threadId = id;
    }
    return platform::kernel::AddHandle(std::make_shared<platform::kernel::ThreadObject>(state));
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = platform::kernel::LookupHandle(handle);
    if (!object) {
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    auto object = platform::kernel::LookupHandleAs<platform::kernel::ProcessObject>(process);
    if (!object) {
        return FALSE;
    }
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = object->ExitCode();
    return TRUE;
}
