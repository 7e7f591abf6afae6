// The 5 ms tick: spread of the intervals between callbacks over 10 seconds,
// drift against the wall of deadlines, and the wake-ups of a process that
// never registered a timer.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/api/mmtimer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<Clock::time_point> g_ticks;
std::atomic<bool> g_done{false};

void Tick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    if (!g_done) {
        g_ticks.push_back(Clock::now());
    }
}

void MeasureTick(double seconds) {
    g_ticks.reserve(static_cast<size_t>(seconds * 250));
    const UINT id = timeSetEvent(5, 1, Tick, 0, TIME_PERIODIC);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    g_done = true;
    timeKillEvent(id);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    std::vector<double> intervals;
    for (size_t i = 1; i < g_ticks.size(); ++i) {
        intervals.push_back(
            std::chrono::duration<double, std::milli>(g_ticks[i] - g_ticks[i - 1]).count());
    }
    if (intervals.empty()) {
        std::printf("no ticks\n");
        return;
    }
    double sum = 0;
    for (double v : intervals) {
        sum += v;
    }
    const double mean = sum / static_cast<double>(intervals.size());
    double var = 0;
    for (double v : intervals) {
        var += (v - mean) * (v - mean);
    }
    std::sort(intervals.begin(), intervals.end());
    const double span =
        std::chrono::duration<double, std::milli>(g_ticks.back() - g_ticks.front()).count();
    const double expected = 5.0 * static_cast<double>(g_ticks.size() - 1);
    std::printf("5 ms tick over %.0f s: %zu calls\n", seconds, g_ticks.size());
    std::printf("  interval mean %.3f ms, stddev %.3f ms, min %.3f, p50 %.3f, p99 %.3f, max %.3f\n",
                mean, std::sqrt(var / static_cast<double>(intervals.size())), intervals.front(),
                intervals[intervals.size() / 2], intervals[intervals.size() * 99 / 100],
                intervals.back());
    std::printf("  drift after %zu periods: %+.3f ms\n", g_ticks.size() - 1, span - expected);
}

void MeasureIdle(double seconds) {
    pid_t child = fork();
    if (child == 0) {
        // Uses the clock, never sets a timer.
        (void)timeGetTime();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        std::_Exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    std::printf("idle process without timers for %.0f s: %ld voluntary wake-ups, %.3f ms CPU\n",
                seconds, usage.ru_nvcsw,
                usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
                    usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    MeasureIdle(3.0);
    MeasureTick(seconds > 0 ? seconds : 10.0);
    return 0;
}
