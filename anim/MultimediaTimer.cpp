#include "anim/MultimediaTimer.h"

#include <atomic>

#include "platform/api/win.h"

namespace {

constexpr int kInterval = 15;
constexpr UINT kTickMs = 5;

// Written by the main thread, read by the timer thread.
std::atomic<int> g_active{0};
// Only the timer thread touches these.
DWORD g_lastCallback = 0;
bool g_firstCallback = true;

}  // namespace

CMultimediaTimer* CMultimediaTimer::GetInstance() {
    static CMultimediaTimer* timer = new CMultimediaTimer();  // lives until the process ends
    return timer;
}

CMultimediaTimer::CMultimediaTimer() {
    Create(HWND_MESSAGE, nullptr, u"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
           0);
    TIMECAPS caps{};
    if (timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) {
        return;
    }
    m_period = caps.wPeriodMin > 1 ? caps.wPeriodMin : 1;
    if (m_period >= caps.wPeriodMax) {
        m_period = caps.wPeriodMax;
    }
    timeBeginPeriod(m_period);
    m_timerId = timeSetEvent(kTickMs, m_period, &CMultimediaTimer::TimerCallback,
                             reinterpret_cast<DWORD_PTR>(m_hWnd), TIME_PERIODIC);
}

void CALLBACK CMultimediaTimer::TimerCallback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    HWND window = reinterpret_cast<HWND>(user);
    if (!::IsWindow(window)) {
        return;
    }
    if (g_firstCallback) {
        g_lastCallback = timeGetTime();
        g_firstCallback = false;
    }
    const DWORD now = timeGetTime();
    const DWORD elapsed = now - g_lastCallback;
    g_lastCallback = now;
    if (g_active == 1) {
        SendMessageW(window, WM_MMTIMER_TICK, elapsed, 0);
    }
}

BOOL CMultimediaTimer::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM,
                                            LRESULT& lResult, DWORD) {
    if (uMsg != WM_MMTIMER_TICK) {
        return FALSE;
    }
    Dispatch(static_cast<UINT>(wParam));
    lResult = 0;
    return TRUE;
}

void CMultimediaTimer::Dispatch(UINT elapsed) {
    if (m_handlers.empty()) {
        return;
    }
    m_dispatching = true;
    const int e = static_cast<int>(elapsed);
    for (auto& [id, entry] : m_handlers) {
        // An entry removed earlier in this pass gets no further call.
        if (entry.removed || entry.remaining <= 0 || entry.handler == nullptr) {
            continue;
        }
        entry.remaining = entry.remaining < e ? 0 : entry.remaining - e;
        if (entry.remaining <= 0) {
            entry.remaining = entry.interval;
            if (!IsBadReadPtr(entry.handler, 4)) {
                entry.handler->OnMMTimer(id);
            }
        }
    }
    m_dispatching = false;
    std::erase_if(m_handlers, [](const auto& item) { return item.second.removed; });
    if (m_handlers.empty()) {
        g_active = 0;
    }
}

void CMultimediaTimer::RegisterMMTimerHandler(MMTimerRegistration& record) {
    if (record.id != 0) {
        UnregisterMMTimerHandler(record.id);
        record.id = 0;
    }
    if (record.handler == nullptr) {
        return;
    }
    const UINT id = ++m_nextId;
    m_handlers[id] = Entry{kInterval, kInterval, record.handler, false};
    g_active = 1;
    record.id = id;
}

void CMultimediaTimer::UnregisterMMTimerHandler(UINT id) {
    auto it = m_handlers.find(id);
    if (it != m_handlers.end()) {
        if (m_dispatching) {
            it->second.removed = true;
        } else {
            m_handlers.erase(it);
        }
    }
    if (m_handlers.empty()) {
        g_active = 0;
    }
}

void UnregisterMMTimerRecord(MMTimerRegistration& record) {
    if (record.id != 0) {
        CMultimediaTimer::GetInstance()->UnregisterMMTimerHandler(record.id);
        record.id = 0;
    }
}
