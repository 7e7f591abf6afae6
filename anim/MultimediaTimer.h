#pragma once
// A steady 15 ms clock for animations, delivered on the main thread: a 5 ms
// platform timer hands the elapsed time to a message-only window there.
#include <map>

#include "platform/atl/atlwin.h"

class IMMTimerEventHandler {
public:
    virtual void OnMMTimer(UINT id) = 0;

protected:
    ~IMMTimerEventHandler() = default;
};

// Kept by each client inside itself; id 0 while not registered.
struct MMTimerRegistration {
    IMMTimerEventHandler* handler = nullptr;
    UINT id = 0;
};

constexpr UINT WM_MMTIMER_TICK = WM_APP + 1;

class CMultimediaTimer : public CWindowImpl<CMultimediaTimer, CWindow, CControlWinTraits> {
public:
    DECLARE_WND_CLASS_EX(u"CMultimediaTimer_ClassName", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
                         COLOR_WINDOW)

    static CMultimediaTimer* GetInstance();

    void RegisterMMTimerHandler(MMTimerRegistration& record);
    void UnregisterMMTimerHandler(UINT id);

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID = 0) override;

    // The dispatch pass for `elapsed` milliseconds; public for tests.
    void Dispatch(UINT elapsed);

private:
    struct Entry {
        int interval;
        int remaining;
        IMMTimerEventHandler* handler;
        bool removed;
    };

    CMultimediaTimer();
    static void CALLBACK TimerCallback(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR,
                                       DWORD_PTR);

    std::map<UINT, Entry> m_handlers;
    UINT m_nextId = 0;
    bool m_dispatching = false;
    UINT m_timerId = 0;
    UINT m_period = 0;
};

// Clients unregister through their record.
void UnregisterMMTimerRecord(MMTimerRegistration& record);
