#pragma once
// Multimedia timers: periodic callbacks on a timer thread of the layer, and a
// millisecond clock.
#include "platform/api/types.h"

using MMRESULT = UINT;
using LPTIMECALLBACK = void (*)(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                                DWORD_PTR reserved2);

struct TIMECAPS {
    UINT wPeriodMin;
    UINT wPeriodMax;
};
using LPTIMECAPS = TIMECAPS*;

constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT TIMERR_NOCANDO = 97;
constexpr MMRESULT TIMERR_STRUCT = 129;

constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;

// Milliseconds of a monotonic clock, wrapping at 2^32.
DWORD timeGetTime();
MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size);
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
// The callback runs on the layer's timer thread; 0 when the timer cannot be made.
MMRESULT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user,
                      UINT flags);
// After it returns no further call of that timer's callback starts; one that
// is running already is not waited for (it may be waiting for this thread).
MMRESULT timeKillEvent(UINT timerId);
