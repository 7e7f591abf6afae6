// Input from the display backend: routing to queues, hit testing, the
// cursor, capture and moving a window by its caption.
#include <algorithm>
#include <cstdlib>

#include "platform/api/errors.h"
#include "platform/user/WindowManager.h"

namespace platform::user {

HWND TopLevelAtLocked(POINT pt);
HWND DeepestChildAtLocked(HWND top, POINT screen);

namespace {
constexpr UINT kDoubleClickMs = 500;

WPARAM ButtonBit(backend::Button b) {
    switch (b) {
        case backend::Button::Left:
            return MK_LBUTTON;
        case backend::Button::Right:
            return MK_RBUTTON;
        case backend::Button::Middle:
            return MK_MBUTTON;
        default:
            return 0;
    }
}

UINT ClientMessage(const backend::PointerEvent& ev, bool dbl) {
    if (ev.kind == backend::PointerKind::Move) {
        return WM_MOUSEMOVE;
    }
    if (ev.kind == backend::PointerKind::Wheel) {
        return WM_MOUSEWHEEL;
    }
    UINT base = ev.button == backend::Button::Left    ? WM_LBUTTONDOWN
                : ev.button == backend::Button::Right ? WM_RBUTTONDOWN
                                                      : WM_MBUTTONDOWN;
    if (ev.kind == backend::PointerKind::Up) {
        return base + 1;
    }
    return dbl ? base + 2 : base;
}

void PushLocked(HWND target, InputEvent ev) {
    auto w = FindLocked(target);
    if (!w || !w->queue->alive) {
        return;
    }
    ev.target = target;
    w->queue->input.push_back(ev);
    WakeLocked(*w->queue);
}

class Sink : public backend::EventSink {
public:
    void OnPointer(HWND target, const backend::PointerEvent& pe) override {
        State& s = S();
        std::lock_guard lk(s.mu);
        InputEvent ev{};
        ev.kind = InputEvent::Kind::Pointer;
        ev.pointer = pe;
        ev.time = NowMs();
        if (pe.kind == backend::PointerKind::Down) {
            s.buttons |= ButtonBit(pe.button);
        } else if (pe.kind == backend::PointerKind::Up) {
            s.buttons &= ~ButtonBit(pe.button);
        }
        ev.keys = s.buttons;
        if (s.drag.active) {
            PushLocked(s.drag.hwnd, ev);
            return;
        }
        HWND dest = s.capture;
        if (!dest) {
            HWND top = target && FindLocked(target) ? target : TopLevelAtLocked(pe.screen);
            dest = top ? DeepestChildAtLocked(top, pe.screen) : nullptr;
        }
        if (!dest) {
            // Nothing under the pointer: only a caption drag that is about to
            // start from an earlier press can use it.
            if (s.pressTarget) {
                ev.outside = true;
                PushLocked(s.pressTarget, ev);
            }
            if (pe.kind == backend::PointerKind::Up && !s.buttons) {
                s.pressTarget = nullptr;
            }
            return;
        }
        if (pe.kind == backend::PointerKind::Down) {
            auto& lc = s.lastClick;
            if (lc.hwnd == dest && lc.button == pe.button && ev.time - lc.time <= kDoubleClickMs &&
                std::abs(lc.pt.x - pe.screen.x) <= 2 && std::abs(lc.pt.y - pe.screen.y) <= 2) {
                ev.doubleClick = true;
                lc.hwnd = nullptr;
            } else {
                lc = {dest, pe.button, ev.time, pe.screen};
            }
            s.pressTarget = dest;
        } else if (pe.kind == backend::PointerKind::Up && !s.buttons) {
            s.pressTarget = nullptr;
        }
        PushLocked(dest, ev);
    }

    void OnKey(UINT vk, bool down, bool alt) override {
        State& s = S();
        std::lock_guard lk(s.mu);
        HWND fg = s.foreground;
        auto w = fg ? FindLocked(fg) : nullptr;
        if (!w) {
            return;
        }
        HWND target = w->queue->focus ? w->queue->focus : fg;
        InputEvent ev{};
        ev.kind = InputEvent::Kind::Key;
        ev.keyMessage = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
        ev.vk = vk;
        ev.keyData = 1 | (alt ? (1 << 29) : 0) | (down ? 0 : (3u << 30));
        ev.time = NowMs();
        PushLocked(target, ev);
    }

    void OnCloseRequest(HWND hwnd) override {
        std::lock_guard lk(S().mu);
        InputEvent ev{};
        ev.kind = InputEvent::Kind::Close;
        ev.time = NowMs();
        PushLocked(hwnd, ev);
    }

    void OnMovedByDesktop(HWND hwnd, POINT topLeft) override {
        std::lock_guard lk(S().mu);
        if (auto w = FindLocked(hwnd)) {
            w->queue->posted.push_back(
                MSG{hwnd, kInternalMove, 0,
                    MAKELPARAM(static_cast<WORD>(topLeft.x), static_cast<WORD>(topLeft.y)), NowMs(),
                    topLeft});
            WakeLocked(*w->queue);
        }
    }

    void OnMinimizedByDesktop(HWND hwnd, bool minimized) override {
        PostMessageW(hwnd, WM_SYSCOMMAND, minimized ? SC_MINIMIZE : SC_RESTORE, 0);
    }

    void OnActivatedByDesktop(HWND hwnd, bool active) override {
        if (active) {
            PostMessageW(hwnd, kInternalShow, static_cast<WPARAM>(-1), 0);
        }
    }

    void OnTrayEvent(HWND owner, UINT id, UINT callbackMessage, UINT mouseMessage) override {
        PostMessageW(owner, callbackMessage, id, mouseMessage);
    }
};

Sink g_sink;
}  // namespace

backend::EventSink& WindowManagerSink() {
    return g_sink;
}

void BeginLayerDrag(HWND root, POINT screen) {
    auto win = Find(root);
    if (!win) {
        return;
    }
    if (!(GetWindowLongW(root, GWL_EXSTYLE) & WS_EX_NOACTIVATE)) {
        SetActiveWindow(root);
    }
    bool native;
    {
        std::lock_guard lk(S().mu);
        native = win->native;
    }
    if (native && backend::Get().BeginMoveDrag(root, screen)) {
        // The desktop takes the rest of the press: its release never comes here.
        std::lock_guard lk(S().mu);
        S().buttons &= ~static_cast<WPARAM>(MK_LBUTTON);
        S().pressTarget = nullptr;
        return;
    }
    auto q = CurrentQueue();
    {
        std::lock_guard lk(S().mu);
        if (!(q->inputKeys & MK_LBUTTON)) {
            return;  // the press that started it has already ended
        }
        S().drag = {true, root, screen, win->rect};
    }
    SendMessageW(root, WM_ENTERSIZEMOVE, 0, 0);
}

void EndDragFor(HWND hwnd) {
    bool ended = false;
    {
        std::lock_guard lk(S().mu);
        if (S().drag.active && S().drag.hwnd == hwnd) {
            S().drag.active = false;
            ended = true;
        }
    }
    if (ended) {
        SendMessageW(hwnd, WM_EXITSIZEMOVE, 0, 0);
    }
}

bool ProcessInput(const InputEvent& ev, MSG* out) {
    State& s = S();
    HWND h = ev.target;
    if (ev.kind == InputEvent::Kind::Close) {
        if (IsWindow(h)) {
            SendMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        return false;
    }
    if (ev.kind == InputEvent::Kind::Key) {
        if (!IsWindow(h)) {
            return false;
        }
        *out = MSG{h, ev.keyMessage, ev.vk, ev.keyData, ev.time, {}};
        return true;
    }
    const auto& pe = ev.pointer;
    {
        std::unique_lock lk(s.mu);
        CurrentQueue()->inputKeys = ev.keys;
        if (s.drag.active && RootLocked(h) == s.drag.hwnd) {
            HWND root = s.drag.hwnd;
            RECT start = s.drag.startRect;
            POINT from = s.drag.start;
            bool end = pe.kind == backend::PointerKind::Up && pe.button == backend::Button::Left;
            if (end) {
                s.drag.active = false;
            }
            lk.unlock();
            if (pe.kind == backend::PointerKind::Move || end) {
                SetWindowPos(root, nullptr, start.left + pe.screen.x - from.x,
                             start.top + pe.screen.y - from.y, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            if (end) {
                SendMessageW(root, WM_EXITSIZEMOVE, 0, 0);
            }
            return false;
        }
    }
    if (ev.outside) {
        return false;
    }
    auto win = Find(h);
    if (!win) {
        return false;
    }
    bool captured;
    {
        std::lock_guard lk(s.mu);
        captured = s.capture == h;
    }
    UINT clientMsg = ClientMessage(pe, false);
    if (pe.kind == backend::PointerKind::Down && ev.doubleClick &&
        (win->cls->wc.style & CS_DBLCLKS)) {
        clientMsg = ClientMessage(pe, true);
    }
    LRESULT hit = HTCLIENT;
    if (!captured) {
        hit = SendMessageW(
            h, WM_NCHITTEST, 0,
            MAKELPARAM(static_cast<WORD>(pe.screen.x), static_cast<WORD>(pe.screen.y)));
        if (hit == HTTRANSPARENT || hit == HTNOWHERE) {
            if (hit == HTNOWHERE && pe.kind != backend::PointerKind::Move) {
                return false;
            }
            if (hit == HTTRANSPARENT) {
                return false;
            }
        }
    }
    if (pe.kind == backend::PointerKind::Down && !captured) {
        HWND root = GetAncestor(h, GA_ROOT);
        if (root && GetActiveWindow() != root &&
            !(GetWindowLongW(root, GWL_EXSTYLE) & WS_EX_NOACTIVATE)) {
            LRESULT ma =
                SendMessageW(h, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root),
                             MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(clientMsg)));
            if (ma == 1 || ma == 2) {
                SetActiveWindow(root);
            }
            if (ma == 2 || ma == 4) {
                return false;  // activate-and-eat / no-activate-and-eat
            }
        }
    }
    if (!captured && pe.kind != backend::PointerKind::Wheel) {
        SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h),
                     MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(clientMsg)));
    }
    if (!IsWindow(h)) {
        return false;
    }
    if (pe.kind == backend::PointerKind::Wheel) {
        *out = MSG{h,
                   WM_MOUSEWHEEL,
                   MAKEWPARAM(static_cast<WORD>(ev.keys), static_cast<WORD>(pe.wheelDelta)),
                   MAKELPARAM(static_cast<WORD>(pe.screen.x), static_cast<WORD>(pe.screen.y)),
                   ev.time,
                   pe.screen};
        return true;
    }
    if (captured || hit == HTCLIENT) {
        POINT c = pe.screen;
        ScreenToClient(h, &c);
        *out = MSG{h,       clientMsg,
                   ev.keys, MAKELPARAM(static_cast<WORD>(c.x), static_cast<WORD>(c.y)),
                   ev.time, pe.screen};
    } else {
        UINT ncMsg = clientMsg - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
        *out = MSG{h,
                   ncMsg,
                   static_cast<WPARAM>(hit),
                   MAKELPARAM(static_cast<WORD>(pe.screen.x), static_cast<WORD>(pe.screen.y)),
                   ev.time,
                   pe.screen};
    }
    return true;
}

}  // namespace platform::user

using namespace platform::user;
namespace backend = platform::backend;

HWND SetCapture(HWND hwnd) {
    auto win = FindOwn(hwnd);
    if (!win) {
        return nullptr;
    }
    HWND old;
    bool oldOurs;
    {
        std::lock_guard lk(S().mu);
        old = S().capture;
        auto ow = old ? FindLocked(old) : nullptr;
        oldOurs = ow && ow->threadId == win->threadId;
        S().capture = hwnd;
        HWND root = RootLocked(hwnd);
        auto rw = FindLocked(root);
        if (rw && rw->native) {
            backend::Get().GrabPointer(root);
        }
    }
    if (old && old != hwnd && IsWindow(old)) {
        SendMessageW(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    }
    return oldOurs ? old : nullptr;
}

BOOL ReleaseCapture() {
    HWND old;
    {
        std::lock_guard lk(S().mu);
        old = S().capture;
        auto ow = old ? FindLocked(old) : nullptr;
        if (!ow || ow->threadId != CurrentThreadId()) {
            return TRUE;
        }
        S().capture = nullptr;
        auto rw = FindLocked(RootLocked(old));
        if (rw && rw->native) {
            backend::Get().UngrabPointer();
        }
    }
    SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    std::lock_guard lk(S().mu);
    auto w = S().capture ? FindLocked(S().capture) : nullptr;
    return w && w->threadId == CurrentThreadId() ? S().capture : nullptr;
}

BOOL GetCursorPos(LPPOINT point) {
    if (!point) {
        return FALSE;
    }
    *point = backend::Get().PointerPosition();
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    backend::Get().SetPointerPosition({x, y});
    return TRUE;
}

UINT GetDoubleClickTime() {
    return 500;
}

namespace {
struct CursorObject {
    int id;
    backend::CursorShape shape;
};

CursorObject g_cursors[] = {
    {32512, backend::CursorShape::Arrow},   {32513, backend::CursorShape::IBeam},
    {32514, backend::CursorShape::Wait},    {32515, backend::CursorShape::Cross},
    {32642, backend::CursorShape::SizeAll}, {32643, backend::CursorShape::SizeAll},
    {32644, backend::CursorShape::SizeWE},  {32645, backend::CursorShape::SizeNS},
    {32646, backend::CursorShape::SizeAll}, {32648, backend::CursorShape::No},
    {32649, backend::CursorShape::Hand},    {32650, backend::CursorShape::Wait},
};
}  // namespace

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    if (instance || !IS_INTRESOURCE(name)) {
        // Cursors of the program's own resources are not used.
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
    for (auto& c : g_cursors) {
        if (c.id == id) {
            return reinterpret_cast<HCURSOR>(&c);
        }
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR old;
    {
        std::lock_guard lk(S().mu);
        old = S().cursor;
        if (old == cursor) {
            return old;
        }
        S().cursor = cursor;
    }
    auto* c = reinterpret_cast<CursorObject*>(cursor);
    bool known = false;
    for (auto& k : g_cursors) {
        known = known || &k == c;
    }
    backend::Get().SetCursorShape(!cursor ? backend::CursorShape::Hidden
                                  : known ? c->shape
                                          : backend::CursorShape::Arrow);
    return old;
}

HCURSOR GetCursor() {
    std::lock_guard lk(S().mu);
    return S().cursor;
}
