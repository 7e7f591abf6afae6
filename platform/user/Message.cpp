// Per-thread message queues: posting, sending, retrieving, timers.
#include <algorithm>
#include <map>

#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "platform/user/Remote.h"
#include "platform/user/WindowManager.h"

namespace platform::user {
namespace {

bool InRange(UINT msg, UINT lo, UINT hi) {
    return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi);
}

bool MatchesWindowLocked(HWND msgHwnd, HWND filter) {
    if (!filter) {
        return true;
    }
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        return msgHwnd == nullptr;
    }
    if (msgHwnd == filter) {
        return true;
    }
    auto w = FindLocked(msgHwnd);
    while (w && w->parent) {
        if (w->parent == filter) {
            return true;
        }
        w = FindLocked(w->parent);
    }
    return false;
}

// Showing or activating a window for another thread, on the window's own thread.
LRESULT InternalShow(HWND hwnd, WPARAM command) {
    if (command == static_cast<WPARAM>(-1)) {
        return reinterpret_cast<LRESULT>(SetActiveWindow(hwnd));
    }
    return ShowWindow(hwnd, static_cast<int>(command));
}

void ServeSent(const std::shared_ptr<SentMessage>& sm, ThreadQueue& me) {
    auto win = Find(sm->hwnd);
    LRESULT r = 0;
    if (win && sm->msg == kInternalShow) {
        r = InternalShow(sm->hwnd, sm->wParam);
    } else if (win) {
        ++me.inSend;
        r = CallProc(win, sm->msg, sm->wParam, sm->lParam);
        --me.inSend;
    }
    std::lock_guard lk(S().mu);
    sm->result = r;
    sm->done = true;
    WakeLocked(*sm->sender);
}

// First window of the queue's thread with something to paint, parents first.
HWND FindPaintLocked(const ThreadQueue& q, HWND filter) {
    std::function<HWND(HWND)> visit = [&](HWND h) -> HWND {
        auto w = FindLocked(h);
        if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) {
            return nullptr;
        }
        if (w->invalid && w->threadId == q.threadId && MatchesWindowLocked(h, filter)) {
            return h;
        }
        for (HWND c : w->children) {
            if (HWND r = visit(c)) {
                return r;
            }
        }
        return nullptr;
    };
    for (HWND h : S().topLevels) {
        if (HWND r = visit(h)) {
            return r;
        }
    }
    return nullptr;
}

void WaitLocked(std::unique_lock<std::mutex>& lk, ThreadQueue& q, Clock::time_point deadline) {
    if (q.onDisplay) {
        auto now = Clock::now();
        int ms = -1;
        if (deadline != Clock::time_point::max()) {
            ms = deadline <= now
                     ? 0
                     : static_cast<int>(
                           std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)
                               .count()) +
                           1;
        }
        lk.unlock();
        backend::Get().Wait(ms);
        lk.lock();
        return;
    }
    if (deadline == Clock::time_point::max()) {
        q.cv.wait(lk);
    } else {
        q.cv.wait_until(lk, deadline);
    }
}

}  // namespace

// The heart of GetMessageW and PeekMessageW. Sent messages are served
// first; then posted messages, quit, input, paint and timers in that order.
bool Retrieve(MSG* out, HWND filter, UINT lo, UINT hi, UINT flags, bool wait) {
    auto q = CurrentQueue();
    std::unique_lock lk(S().mu);
    const bool remove = (flags & PM_REMOVE) != 0;
    for (;;) {
        if (!q->incoming.empty()) {
            auto sm = q->incoming.front();
            q->incoming.pop_front();
            lk.unlock();
            ServeSent(sm, *q);
            lk.lock();
            continue;
        }
        for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
            if (InRange(it->message, lo, hi) && MatchesWindowLocked(it->hwnd, filter)) {
                *out = *it;
                if (remove) {
                    q->posted.erase(it);
                }
                q->lastTime = out->time;
                q->lastPos = out->pt;
                return true;
            }
        }
        if (q->quit && InRange(WM_QUIT, lo, hi)) {
            *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0, NowMs(), q->lastPos};
            if (remove) {
                q->quit = false;
            }
            return true;
        }
        if (!q->input.empty() && (InRange(WM_MOUSEMOVE, lo, hi) || InRange(WM_KEYDOWN, lo, hi) ||
                                  InRange(WM_NCMOUSEMOVE, lo, hi))) {
            InputEvent ev = q->input.front();
            q->input.pop_front();
            lk.unlock();
            MSG m{};
            bool produced = ProcessInput(ev, &m);
            lk.lock();
            if (produced) {
                if (!remove) {
                    q->posted.push_front(m);
                }
                *out = m;
                q->lastTime = m.time;
                q->lastPos = m.pt;
                return true;
            }
            continue;
        }
        if (InRange(WM_PAINT, lo, hi)) {
            if (HWND h = FindPaintLocked(*q, filter)) {
                *out = MSG{h, WM_PAINT, 0, 0, NowMs(), q->lastPos};
                return true;
            }
        }
        auto now = Clock::now();
        auto next = Clock::time_point::max();
        if (InRange(WM_TIMER, lo, hi)) {
            Timer* due = nullptr;
            for (auto& t : q->timers) {
                if (!MatchesWindowLocked(t.hwnd, filter)) {
                    continue;
                }
                if (t.due <= now && (!due || t.due < due->due)) {
                    due = &t;
                }
                next = std::min(next, t.due);
            }
            if (due) {
                *out = MSG{due->hwnd, WM_TIMER,  due->id, reinterpret_cast<LPARAM>(due->proc),
                           NowMs(),   q->lastPos};
                if (remove) {
                    due->due = now + std::chrono::milliseconds(due->period);
                }
                return true;
            }
        }
        if (!wait) {
            return false;
        }
        WaitLocked(lk, *q, next);
    }
}

}  // namespace platform::user

using namespace platform::user;

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Retrieve(msg, hwnd, lo, hi, PM_REMOVE, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT flags) {
    if (!msg) {
        return FALSE;
    }
    return Retrieve(msg, hwnd, lo, hi, flags, false) ? TRUE : FALSE;
}

BOOL WaitMessage() {
    auto q = CurrentQueue();
    std::unique_lock lk(S().mu);
    if (!q->incoming.empty() || !q->posted.empty() || !q->input.empty() || q->quit) {
        return TRUE;
    }
    auto next = Clock::time_point::max();
    for (auto& t : q->timers) {
        next = std::min(next, t.due);
    }
    if (q->onDisplay) {
        lk.unlock();
        int ms =
            next == Clock::time_point::max()
                ? -1
                : static_cast<int>(std::max<long long>(
                      0, std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now())
                             .count()));
        platform::backend::Get().Wait(ms);
        return TRUE;
    }
    if (next == Clock::time_point::max()) {
        q->cv.wait(lk);
    } else {
        q->cv.wait_until(lk, next);
    }
    return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
        return FALSE;
    }
    WPARAM vk = msg->wParam;
    char16_t ch = 0;
    if (vk == VK_RETURN) {
        ch = u'\r';
    } else if (vk == VK_ESCAPE) {
        ch = 0x1B;
    } else if (vk == VK_TAB) {
        ch = u'\t';
    } else if (vk == 0x08) {
        ch = 0x08;
    } else if (vk == VK_SPACE || (vk >= '0' && vk <= '9')) {
        ch = static_cast<char16_t>(vk);
    } else if (vk >= 'A' && vk <= 'Z') {
        ch = static_cast<char16_t>(vk + 32);
    }
    if (!ch) {
        return FALSE;
    }
    PostMessageW(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, ch, msg->lParam);
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg) {
        return 0;
    }
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    if (!msg->hwnd) {
        return 0;
    }
    auto win = Find(msg->hwnd);
    if (!win || win->threadId != CurrentThreadId()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (msg->message == kInternalShow) {
        return InternalShow(msg->hwnd, msg->wParam);
    }
    if (msg->message == kInternalMove) {
        return SetWindowPos(msg->hwnd, nullptr, GET_X_LPARAM(msg->lParam),
                            GET_Y_LPARAM(msg->lParam), 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return CallProc(win, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (remote::IsForeign(hwnd)) {
        auto r = remote::Send(hwnd, msg, wParam, lParam);
        if (!r) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        }
        return r.value_or(0);
    }
    auto win = Find(hwnd);
    if (!win) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto me = CurrentQueue();
    if (win->threadId == me->threadId) {
        return CallProc(win, msg, wParam, lParam);
    }
    auto sm = std::make_shared<SentMessage>();
    sm->hwnd = hwnd;
    sm->msg = msg;
    sm->wParam = wParam;
    sm->lParam = lParam;
    sm->sender = me;
    std::unique_lock lk(S().mu);
    if (!win->queue->alive) {
        return 0;
    }
    win->queue->incoming.push_back(sm);
    WakeLocked(*win->queue);
    // While waiting, messages sent to this thread are served, so two threads
    // sending to each other never deadlock.
    while (!sm->done) {
        if (!me->incoming.empty()) {
            auto in = me->incoming.front();
            me->incoming.pop_front();
            lk.unlock();
            ServeSent(in, *me);
            lk.lock();
            continue;
        }
        WaitLocked(lk, *me, Clock::time_point::max());
    }
    return sm->result;
}

BOOL InSendMessage() {
    auto q = CurrentQueue();
    std::lock_guard lk(S().mu);
    return q->inSend > 0;
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!hwnd) {
        PostThreadMessageW(CurrentThreadId(), msg, wParam, lParam);
        return TRUE;
    }
    if (remote::IsForeign(hwnd)) {
        if (!remote::Post(hwnd, msg, wParam, lParam).value_or(false)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        return TRUE;
    }
    std::lock_guard lk(S().mu);
    auto win = FindLocked(hwnd);
    if (!win || !win->queue->alive) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    win->queue->posted.push_back(MSG{hwnd, msg, wParam, lParam, NowMs(), win->queue->lastPos});
    WakeLocked(*win->queue);
    return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (threadId == CurrentThreadId()) {
        CurrentQueue();
    }
    std::lock_guard lk(S().mu);
    auto it = S().queues.find(threadId);
    if (it == S().queues.end() || !it->second->alive) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    it->second->posted.push_back(MSG{nullptr, msg, wParam, lParam, NowMs(), it->second->lastPos});
    WakeLocked(*it->second);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    auto q = CurrentQueue();
    std::lock_guard lk(S().mu);
    q->quit = true;
    q->quitCode = exitCode;
    WakeLocked(*q);
}

DWORD GetMessageTime() {
    auto q = CurrentQueue();
    std::lock_guard lk(S().mu);
    return q->lastTime;
}

DWORD GetMessagePos() {
    auto q = CurrentQueue();
    std::lock_guard lk(S().mu);
    return MAKELONG(static_cast<WORD>(q->lastPos.x), static_cast<WORD>(q->lastPos.y));
}

UINT RegisterWindowMessageW(LPCWSTR name) {
    static std::mutex mu;
    static std::map<std::u16string, UINT> names;
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lk(mu);
    auto key = FoldCase(platform::View(name));
    auto it = names.find(key);
    if (it != names.end()) {
        return it->second;
    }
    UINT id = 0xC000 + static_cast<UINT>(names.size());
    names[key] = id;
    return id;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    std::shared_ptr<ThreadQueue> q;
    if (hwnd) {
        auto win = FindOwn(hwnd);
        if (!win) {
            return 0;
        }
        q = win->queue;
    } else {
        q = CurrentQueue();
    }
    elapse = std::clamp<UINT>(elapse, 10, 0x7FFFFFFF);
    std::lock_guard lk(S().mu);
    if (!hwnd) {
        // Thread timers get ids of their own; a given id names one to replace.
        bool known = id && std::any_of(q->timers.begin(), q->timers.end(),
                                       [&](const Timer& t) { return !t.hwnd && t.id == id; });
        if (!known) {
            id = q->nextThreadTimer++;
        }
    }
    auto due = Clock::now() + std::chrono::milliseconds(elapse);
    for (auto& t : q->timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.period = elapse;
            t.proc = proc;
            t.due = due;
            return hwnd ? (id ? id : 1) : id;
        }
    }
    q->timers.push_back(Timer{hwnd, id, elapse, proc, due});
    WakeLocked(*q);
    return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    std::shared_ptr<ThreadQueue> q;
    if (hwnd) {
        auto win = Find(hwnd);
        if (!win) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        q = win->queue;
    } else {
        q = CurrentQueue();
    }
    std::lock_guard lk(S().mu);
    auto n = std::erase_if(q->timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    return n ? TRUE : FALSE;
}
