#include "platform/api/mmtimer.h"

#include <gtest/gtest.h>
#include <dirent.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

int ThreadCount() {
    int n = 0;
    DIR* dir = opendir("/proc/self/task");
    while (dirent* e = readdir(dir)) {
        n += e->d_name[0] != '.';
    }
    closedir(dir);
    return n;
}

struct Counter {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    UINT lastId = 0;

    bool WaitFor(int n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), [&] { return calls >= n; });
    }
};

void Count(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* c = reinterpret_cast<Counter*>(user);
    std::lock_guard lock(c->mutex);
    ++c->calls;
    c->lastId = id;
    c->changed.notify_all();
}

TEST(MmTimer, TheTimerThreadExistsOnlyOnceATimerWasSet) {
    const int before = ThreadCount();
    TIMECAPS caps{};
    ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
    EXPECT_GE(caps.wPeriodMin, 1u);
    EXPECT_EQ(timeBeginPeriod(caps.wPeriodMin), TIMERR_NOERROR);
    EXPECT_EQ(ThreadCount(), before) << "asking for capabilities starts nothing";

    Counter a;
    Counter b;
    const UINT first = timeSetEvent(5, 1, Count, reinterpret_cast<DWORD_PTR>(&a), TIME_PERIODIC);
    const UINT second = timeSetEvent(7, 1, Count, reinterpret_cast<DWORD_PTR>(&b), TIME_PERIODIC);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, first);
    EXPECT_EQ(ThreadCount(), before + 1) << "one thread serves every timer";
    ASSERT_TRUE(a.WaitFor(3));
    ASSERT_TRUE(b.WaitFor(3));
    EXPECT_EQ(a.lastId, first);
    EXPECT_EQ(timeKillEvent(first), TIMERR_NOERROR);
    EXPECT_EQ(timeKillEvent(second), TIMERR_NOERROR);
    EXPECT_EQ(timeKillEvent(second), MMSYSERR_INVALPARAM);
    EXPECT_EQ(timeEndPeriod(caps.wPeriodMin), TIMERR_NOERROR);
}

TEST(MmTimer, AKilledTimerStopsAndAOneShotFiresOnce) {
    Counter periodic;
    Counter once;
    const UINT id =
        timeSetEvent(5, 1, Count, reinterpret_cast<DWORD_PTR>(&periodic), TIME_PERIODIC);
    ASSERT_NE(timeSetEvent(5, 1, Count, reinterpret_cast<DWORD_PTR>(&once), TIME_ONESHOT), 0u);
    ASSERT_TRUE(periodic.WaitFor(2));
    ASSERT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    int stopped;
    {
        std::lock_guard lock(periodic.mutex);
        stopped = periodic.calls;
    }
    // A later timer proves the thread went on while the killed one stayed silent.
    Counter later;
    ASSERT_NE(timeSetEvent(20, 1, Count, reinterpret_cast<DWORD_PTR>(&later), TIME_ONESHOT), 0u);
    ASSERT_TRUE(later.WaitFor(1));
    std::lock_guard lock(periodic.mutex);
    EXPECT_LE(periodic.calls, stopped + 1) << "at most a call already under way";
    std::lock_guard lockOnce(once.mutex);
    EXPECT_EQ(once.calls, 1);
}

TEST(MmTimer, ClockIsMonotonicMilliseconds) {
    const DWORD a = timeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const DWORD b = timeGetTime();
    EXPECT_GE(b - a, 20u);
    EXPECT_LT(b - a, 60000u);
    EXPECT_EQ(timeSetEvent(5, 1, nullptr, 0, TIME_PERIODIC), 0u);
}

}  // namespace
