#include "platform/api/mmtimer.h"

#include <time.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    std::chrono::milliseconds period;
    Clock::time_point due;
    LPTIMECALLBACK callback;
    DWORD_PTR user;
    bool periodic;
};

// One thread serves every timer of the process. It is started by the first
// timeSetEvent, so a process that never sets a timer has none, and it sleeps
// until the next absolute deadline: no drift, no busy waiting.
class TimerThread {
public:
    static TimerThread& Get() {
        static TimerThread* instance = new TimerThread();  // lives until the process ends
        return *instance;
    }

    UINT Add(UINT delay, LPTIMECALLBACK callback, DWORD_PTR user, bool periodic) {
        std::unique_lock lock(mutex_);
        if (!started_) {
            std::thread([this] { Run(); }).detach();
            started_ = true;
        }
        UINT id = ++lastId_;
        if (id == 0) {
            id = ++lastId_;
        }
        const auto period = std::chrono::milliseconds(delay == 0 ? 1 : delay);
        timers_[id] = Timer{period, Clock::now() + period, callback, user, periodic};
        wake_.notify_one();
        return id;
    }

    bool Remove(UINT id) {
        std::unique_lock lock(mutex_);
        return timers_.erase(id) != 0;
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (timers_.empty()) {
                wake_.wait(lock);
                continue;
            }
            auto next = timers_.begin();
            for (auto it = timers_.begin(); it != timers_.end(); ++it) {
                if (it->second.due < next->second.due) {
                    next = it;
                }
            }
            const auto now = Clock::now();
            if (next->second.due > now) {
                wake_.wait_until(lock, next->second.due);
                continue;
            }
            const UINT id = next->first;
            Timer timer = next->second;
            if (timer.periodic) {
                next->second.due += timer.period;
                // Ticks missed while the system was busy are dropped, not burst out.
                if (next->second.due <= now) {
                    next->second.due = now + timer.period;
                }
            } else {
                timers_.erase(next);
            }
            lock.unlock();
            timer.callback(id, 0, timer.user, 0, 0);
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<UINT, Timer> timers_;
    bool started_ = false;
    UINT lastId_ = 0;
};

}  // namespace

DWORD timeGetTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size) {
    if (caps == nullptr || size < sizeof(TIMECAPS)) {
        return TIMERR_STRUCT;
    }
    caps->wPeriodMin = 1;
    caps->wPeriodMax = 1000000;
    return TIMERR_NOERROR;
}

// The timer thread always sleeps to the millisecond; the resolution requested
// needs no bookkeeping.
MMRESULT timeBeginPeriod(UINT period) {
    return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}
MMRESULT timeEndPeriod(UINT period) {
    return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

MMRESULT timeSetEvent(UINT delay, UINT, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags) {
    if (callback == nullptr) {
        return 0;
    }
    return TimerThread::Get().Add(delay, callback, user, (flags & TIME_PERIODIC) != 0);
}

MMRESULT timeKillEvent(UINT timerId) {
    return TimerThread::Get().Remove(timerId) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}
