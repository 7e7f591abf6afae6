#pragma once
// Threads and processes as kernel objects.
#include <sys/types.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/kernel/HandleTable.h"

namespace platform::kernel {

// A started child process, held through a pidfd. Whoever drops the last reference to
// an unfinished child leaves it to a reaper, so no child is left a zombie.
class ProcessObject : public KernelObject {
public:
    ProcessObject(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
    ~ProcessObject() override;
    ProcessObject(const ProcessObject&) = delete;
    ProcessObject& operator=(const ProcessObject&) = delete;

    DWORD Wait(DWORD milliseconds) override;
    // STILL_ACTIVE while it runs.
    DWORD ExitCode();
    pid_t pid() const { return pid_; }

private:
    bool TryReap(bool block);

    pid_t pid_;
    int pidfd_;
    std::mutex lock_;
    bool reaped_ = false;
    DWORD exitCode_ = 0;
};

// Takes a freshly spawned child; null when its pidfd cannot be had (the child is then
// still reaped).
std::shared_ptr<ProcessObject> AdoptChild(pid_t pid);

}  // namespace platform::kernel
