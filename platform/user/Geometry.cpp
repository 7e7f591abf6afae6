// Window placement, visibility, activation and the default window procedure.
#include <algorithm>
#include <cstdlib>
#include <thread>

#include "platform/api/errors.h"
#include "platform/api/gdi.h"
#include "platform/api/text.h"
#include "platform/user/Remote.h"
#include "platform/user/WindowManager.h"

namespace platform::user {

void EnsureNativeLocked(Window& win) {
    if (win.native || win.parent || win.messageOnly) {
        return;
    }
    backend::NativeWindowParams p;
    p.hwnd = win.hwnd;
    p.owner = win.owner;
    p.rect = win.rect;
    p.title = win.text;
    p.layered = (win.exStyle & WS_EX_LAYERED) != 0;
    p.toolWindow = (win.exStyle & WS_EX_TOOLWINDOW) != 0;
    p.topmost = (win.exStyle & WS_EX_TOPMOST) != 0;
    win.native = backend::Get().CreateWindow(p);
    if (win.native && win.queue) {
        win.queue->onDisplay = true;
    }
}

namespace {
RECT Size0(const RECT& r) {
    return {0, 0, r.right - r.left, r.bottom - r.top};
}

// Shows or hides without activation; sends WM_SHOWWINDOW when it changes.
void SetVisible(const std::shared_ptr<Window>& win, bool show, bool sendShowMsg) {
    bool was;
    {
        std::lock_guard lk(S().mu);
        was = (win->style & WS_VISIBLE) != 0;
    }
    if (was == show) {
        return;
    }
    if (sendShowMsg) {
        CallProc(win, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    }
    std::lock_guard lk(S().mu);
    if (show) {
        win->style |= WS_VISIBLE;
    } else {
        win->style &= ~WS_VISIBLE;
    }
    if (win->parent) {
        // The parent shows through where a hidden child was; a shown child paints itself.
        auto p = FindLocked(win->parent);
        if (p) {
            RECT r = win->rect;
            InvalidateLocked(*p, &r, true, false);
        }
        if (show) {
            InvalidateLocked(*win, nullptr, true, true);
        }
        return;
    }
    if (win->messageOnly) {
        return;
    }
    if (show) {
        EnsureNativeLocked(*win);
        InvalidateLocked(*win, nullptr, true, true);
        if (win->native && win->layeredImage) {
            backend::Get().PresentLayered(win->hwnd, win->layeredImage, win->layeredOpacity);
        }
    }
    if (win->native) {
        bool minimized = (win->style & WS_MINIMIZE) != 0;
        backend::Get().ShowWindow(win->hwnd, !show       ? backend::ShowMode::Hide
                                             : minimized ? backend::ShowMode::Minimize
                                                         : backend::ShowMode::ShowNoActivate);
    }
}

void SendSize(const std::shared_ptr<Window>& win) {
    RECT r;
    DWORD style;
    {
        std::lock_guard lk(S().mu);
        r = win->rect;
        style = win->style;
    }
    CallProc(win, WM_SIZE, (style & WS_MINIMIZE) ? SIZE_MINIMIZED : SIZE_RESTORED,
             (style & WS_MINIMIZE) ? 0 : MAKELPARAM(r.right - r.left, r.bottom - r.top));
}

// After the active window goes away or hides: its owner, else the next
// visible top-level window of the thread.
void ActivateNext(const std::shared_ptr<Window>& gone) {
    HWND next = nullptr;
    {
        std::lock_guard lk(S().mu);
        if (gone->queue->active != gone->hwnd) {
            return;
        }
        if (auto o = gone->owner ? FindLocked(gone->owner) : nullptr) {
            if ((o->style & WS_VISIBLE) && !(o->style & WS_MINIMIZE)) {
                next = o->hwnd;
            }
        }
        if (!next) {
            for (HWND h : S().topLevels) {
                auto w = FindLocked(h);
                if (w && h != gone->hwnd && w->threadId == gone->threadId &&
                    (w->style & WS_VISIBLE) && !(w->style & WS_MINIMIZE) &&
                    !(w->exStyle & (WS_EX_NOACTIVATE | WS_EX_LAYERED))) {
                    next = h;
                    break;
                }
            }
        }
    }
    if (next) {
        SetActiveWindow(next);
    } else {
        // Nothing takes over: the thread has no active window.
        CallProc(gone, WM_ACTIVATE, WA_INACTIVE, 0);
        std::lock_guard lk(S().mu);
        gone->queue->active = nullptr;
        if (S().foreground == gone->hwnd) {
            S().foreground = nullptr;
        }
    }
}

void BringToFrontLocked(HWND hwnd) {
    auto& tl = S().topLevels;
    auto it = std::find(tl.begin(), tl.end(), hwnd);
    if (it != tl.end()) {
        tl.erase(it);
        tl.insert(tl.begin(), hwnd);
    }
}
}  // namespace

}  // namespace platform::user

using namespace platform::user;
namespace backend = platform::backend;

BOOL IsWindowVisible(HWND hwnd) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    return w && IsVisibleLocked(*w);
}

BOOL IsIconic(HWND hwnd) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    return w && (w->style & WS_MAXIMIZE) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    auto w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool wasDisabled;
    {
        std::lock_guard lk(S().mu);
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (wasDisabled == !enable) {
            return wasDisabled;
        }
        if (enable) {
            w->style &= ~WS_DISABLED;
        } else {
            w->style |= WS_DISABLED;
        }
    }
    if (!enable && GetCapture() == hwnd) {
        ReleaseCapture();
    }
    SendMessageW(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    if (remote::IsForeign(hwnd)) {
        return remote::Show(hwnd, cmd).value_or(false) ? TRUE : FALSE;
    }
    auto win = Find(hwnd);
    if (!win) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (win->threadId != CurrentThreadId()) {
        // Another thread's window: its own thread carries it out, and the
        // caller waits for it, as the platform's ShowWindow does.
        return static_cast<BOOL>(SendMessageW(hwnd, kInternalShow, static_cast<WPARAM>(cmd), 0));
    }
    bool wasVisible;
    bool wasMinimized;
    bool topLevel;
    {
        std::lock_guard lk(S().mu);
        wasVisible = (win->style & WS_VISIBLE) != 0;
        wasMinimized = (win->style & WS_MINIMIZE) != 0;
        topLevel = !win->parent && !win->messageOnly;
    }
    auto setMinimized = [&](bool minimized) {
        {
            std::lock_guard lk(S().mu);
            if (((win->style & WS_MINIMIZE) != 0) == minimized) {
                return;
            }
            if (minimized) {
                win->style |= WS_MINIMIZE;
            } else {
                win->style &= ~WS_MINIMIZE;
                InvalidateLocked(*win, nullptr, true, true);
            }
            if (win->native) {
                backend::Get().ShowWindow(
                    hwnd, minimized ? backend::ShowMode::Minimize : backend::ShowMode::Restore);
            }
        }
        SendSize(win);
    };
    bool activate = false;
    switch (cmd) {
        case SW_HIDE:
            if (!wasVisible) {
                return FALSE;
            }
            SetVisible(win, false, true);
            if (topLevel) {
                ActivateNext(win);
            }
            return TRUE;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE:
            SetVisible(win, true, true);
            setMinimized(true);
            if (topLevel) {
                ActivateNext(win);
            }
            break;
        case SW_RESTORE:
        case SW_SHOWNORMAL:
        case SW_SHOWDEFAULT:
        case SW_SHOWMAXIMIZED:
            SetVisible(win, true, true);
            setMinimized(false);
            activate = true;
            break;
        case SW_SHOW:
            SetVisible(win, true, true);
            activate = !wasMinimized;
            break;
        case SW_SHOWNA:
        case SW_SHOWNOACTIVATE:
            SetVisible(win, true, true);
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return wasVisible;
    }
    if (activate && topLevel) {
        SetActiveWindow(hwnd);
    }
    return wasVisible;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    auto win = Find(hwnd);
    if (!win) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    WINDOWPOS wp{hwnd, insertAfter, x, y, cx, cy, flags};
    RECT old;
    {
        std::lock_guard lk(S().mu);
        old = win->rect;
    }
    if (flags & SWP_NOMOVE) {
        wp.x = old.left;
        wp.y = old.top;
    }
    if (flags & SWP_NOSIZE) {
        wp.cx = old.right - old.left;
        wp.cy = old.bottom - old.top;
    }
    CallProc(win, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    wp.cx = std::max(0, wp.cx);
    wp.cy = std::max(0, wp.cy);
    RECT now{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    bool moved = now.left != old.left || now.top != old.top;
    bool sized = (now.right - now.left) != (old.right - old.left) ||
                 (now.bottom - now.top) != (old.bottom - old.top);
    {
        std::lock_guard lk(S().mu);
        if (win->parent && (moved || sized) && (win->style & WS_VISIBLE) &&
            !(flags & SWP_NOREDRAW)) {
            if (auto p = FindLocked(win->parent)) {
                InvalidateLocked(*p, &old, true, false);
            }
        }
        win->rect = now;
        if (!(flags & SWP_NOZORDER) && !win->parent) {
            if (insertAfter == HWND_TOPMOST) {
                win->exStyle |= WS_EX_TOPMOST;
            } else if (insertAfter == HWND_NOTOPMOST) {
                win->exStyle &= ~WS_EX_TOPMOST;
            }
            if (insertAfter != HWND_BOTTOM) {
                BringToFrontLocked(hwnd);
            }
        }
        if (sized && !(flags & SWP_NOREDRAW)) {
            InvalidateLocked(*win, nullptr, true, true);
        } else if (moved && win->parent && !(flags & SWP_NOREDRAW)) {
            InvalidateLocked(*win, nullptr, true, true);
        }
        if (win->native && (moved || sized)) {
            backend::Get().SetWindowRect(hwnd, now);
        }
    }
    if (flags & SWP_SHOWWINDOW) {
        SetVisible(win, true, false);
    } else if (flags & SWP_HIDEWINDOW) {
        SetVisible(win, false, false);
        if (!win->parent) {
            ActivateNext(win);
        }
    }
    if (!(flags & SWP_NOACTIVATE) && !win->parent && !win->messageOnly && IsWindowVisible(hwnd) &&
        win->threadId == CurrentThreadId()) {
        SetActiveWindow(hwnd);
    }
    WINDOWPOS done{hwnd,
                   insertAfter,
                   now.left,
                   now.top,
                   now.right - now.left,
                   now.bottom - now.top,
                   flags & ~(SWP_NOMOVE | SWP_NOSIZE)};
    if (!moved) {
        done.flags |= SWP_NOMOVE;
    }
    if (!sized) {
        done.flags |= SWP_NOSIZE;
    }
    CallProc(win, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&done));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    if (!rect) {
        return FALSE;
    }
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT o = ClientOriginOnScreenLocked(*w);
    *rect = {o.x, o.y, o.x + w->rect.right - w->rect.left, o.y + w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    if (!rect) {
        return FALSE;
    }
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = Size0(w->rect);
    return TRUE;
}

namespace {
// Moves a point by the window's client origin on the screen, `sign` times.
BOOL ShiftByClientOrigin(HWND hwnd, LPPOINT point, int sign) {
    if (!point) {
        return FALSE;
    }
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT o = ClientOriginOnScreenLocked(*w);
    point->x += sign * o.x;
    point->y += sign * o.y;
    return TRUE;
}
}  // namespace

BOOL ClientToScreen(HWND hwnd, LPPOINT point) {
    return ShiftByClientOrigin(hwnd, point, 1);
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point) {
    return ShiftByClientOrigin(hwnd, point, -1);
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    std::lock_guard lk(S().mu);
    POINT a{0, 0};
    POINT b{0, 0};
    if (from) {
        auto w = FindLocked(from);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        a = ClientOriginOnScreenLocked(*w);
    }
    if (to) {
        auto w = FindLocked(to);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        b = ClientOriginOnScreenLocked(*w);
    }
    int dx = a.x - b.x;
    int dy = a.y - b.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    SetLastError(0);
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

// Our windows have no frame: the desktop's decorations are off, and every
// window draws its own border, so client and window rectangles coincide.
BOOL AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD) {
    return rect ? TRUE : FALSE;
}

HWND ChildWindowFromPoint(HWND parent, POINT point) {
    std::lock_guard lk(S().mu);
    auto p = FindLocked(parent);
    if (!p) {
        return nullptr;
    }
    RECT client = Size0(p->rect);
    if (!PtInRect(&client, point)) {
        return nullptr;
    }
    for (auto it = p->children.rbegin(); it != p->children.rend(); ++it) {
        auto c = FindLocked(*it);
        if (c && PtInRect(&c->rect, point)) {
            return c->hwnd;
        }
    }
    return parent;
}

namespace platform::user {
HWND TopLevelAtLocked(POINT pt) {
    for (HWND h : S().topLevels) {
        auto w = FindLocked(h);
        if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE) ||
            (w->exStyle & WS_EX_LAYERED) || w->destroying) {
            continue;
        }
        if (PtInRect(&w->rect, pt)) {
            return h;
        }
    }
    return nullptr;
}

HWND DeepestChildAtLocked(HWND top, POINT screen) {
    auto w = FindLocked(top);
    while (w) {
        POINT o = ClientOriginOnScreenLocked(*w);
        POINT local{screen.x - o.x, screen.y - o.y};
        std::shared_ptr<Window> hit;
        for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
            auto c = FindLocked(*it);
            if (c && (c->style & WS_VISIBLE) && PtInRect(&c->rect, local)) {
                hit = c;
                break;
            }
        }
        if (!hit || (hit->style & WS_DISABLED)) {
            return w->hwnd;
        }
        w = hit;
    }
    return top;
}
}  // namespace platform::user

HWND WindowFromPoint(POINT point) {
    std::lock_guard lk(S().mu);
    HWND top = TopLevelAtLocked(point);
    return top ? DeepestChildAtLocked(top, point) : nullptr;
}

HWND GetActiveWindow() {
    auto q = CurrentQueue();
    std::lock_guard lk(S().mu);
    return q->active;
}

HWND SetActiveWindow(HWND hwnd) {
    auto q = CurrentQueue();
    std::shared_ptr<Window> win;
    HWND old;
    {
        std::lock_guard lk(S().mu);
        old = q->active;
        if (hwnd) {
            HWND root = RootLocked(hwnd);
            win = FindLocked(root);
            if (!win || win->threadId != q->threadId || win->messageOnly) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            hwnd = root;
        }
        S().foreground = hwnd ? hwnd : S().foreground;
        if (old == hwnd) {
            if (win && win->native) {
                backend::Get().Activate(hwnd);
            }
            return old;
        }
        q->active = hwnd;
        if (win) {
            BringToFrontLocked(hwnd);
        }
    }
    if (auto ow = old ? Find(old) : nullptr) {
        CallProc(ow, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    }
    if (win) {
        CallProc(win, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
        std::lock_guard lk(S().mu);
        if (win->native) {
            backend::Get().Activate(hwnd);
        }
    }
    return old;
}

HWND GetForegroundWindow() {
    std::lock_guard lk(S().mu);
    return S().foreground;
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (remote::IsForeign(hwnd)) {
        return remote::SetForeground(hwnd).value_or(false) ? TRUE : FALSE;
    }
    auto win = Find(hwnd);
    if (!win) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (win->threadId == CurrentThreadId()) {
        SetActiveWindow(hwnd);
        return TRUE;
    }
    std::lock_guard lk(S().mu);
    HWND root = RootLocked(hwnd);
    S().foreground = root;
    BringToFrontLocked(root);
    return TRUE;
}

HWND GetFocus() {
    auto q = CurrentQueue();
    std::lock_guard lk(S().mu);
    return q->focus;
}

HWND SetFocus(HWND hwnd) {
    auto q = CurrentQueue();
    HWND old;
    {
        std::lock_guard lk(S().mu);
        old = q->focus;
        if (hwnd) {
            auto w = FindLocked(hwnd);
            if (!w || w->threadId != q->threadId) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        }
        if (old == hwnd) {
            return old;
        }
        q->focus = hwnd;
    }
    if (old && IsWindow(old)) {
        SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    }
    if (hwnd) {
        SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    return old;
}

HWND GetDesktopWindow() {
    return nullptr;
}

namespace {
// The desktop shell's window: a message-only window of the layer, made on
// first request, so that programs waiting for the shell find it at once.
HWND g_shellWindow = nullptr;
LRESULT ShellProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcW(h, m, w, l);
}
}  // namespace

HWND GetShellWindow() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Kept alive on a thread of its own so no program thread's end takes it away.
        std::thread([] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &ShellProc;
            wc.lpszClassName = u"TavrelShellWindow";
            RegisterClassW(&wc);
            HWND h = CreateWindowExW(0, u"TavrelShellWindow", u"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, nullptr, nullptr);
            {
                std::lock_guard lk(S().mu);
                g_shellWindow = h;
            }
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                DispatchMessageW(&msg);
            }
        }).detach();
        for (int i = 0; i < 5000; ++i) {
            {
                std::lock_guard lk(S().mu);
                if (g_shellWindow) {
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::lock_guard lk(S().mu);
    return g_shellWindow;
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto win = Find(hwnd);
    if (!win) {
        return 0;
    }
    switch (msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_NCHITTEST: {
            RECT r;
            GetWindowRect(hwnd, &r);
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            return PtInRect(&r, p) ? HTCLIENT : HTNOWHERE;
        }
        case WM_SETCURSOR: {
            HWND parent = GetParent(hwnd);
            if (parent && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) &&
                SendMessageW(parent, WM_SETCURSOR, wParam, lParam)) {
                return TRUE;
            }
            if (LOWORD(static_cast<DWORD_PTR>(lParam)) == HTCLIENT) {
                if (win->cls->wc.hCursor) {
                    SetCursor(win->cls->wc.hCursor);
                }
            } else {
                SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            }
            return FALSE;
        }
        case WM_MOUSEACTIVATE: {
            HWND parent = GetParent(hwnd);
            if (parent && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) {
                LRESULT r = SendMessageW(parent, WM_MOUSEACTIVATE, wParam, lParam);
                if (r) {
                    return r;
                }
            }
            return 1;  // MA_ACTIVATE
        }
        case WM_NCLBUTTONDOWN:
            if (wParam == static_cast<WPARAM>(HTCAPTION)) {
                HWND root = GetAncestor(hwnd, GA_ROOT);
                BeginLayerDrag(root, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            }
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_MINIMIZE:
                    ShowWindow(hwnd, SW_MINIMIZE);
                    break;
                case SC_RESTORE:
                    ShowWindow(hwnd, SW_RESTORE);
                    break;
                case SC_CLOSE:
                    SendMessageW(hwnd, WM_CLOSE, 0, 0);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == 0x73 && (lParam & (1 << 29))) {  // Alt+F4
                SendMessageW(GetAncestor(hwnd, GA_ROOT), WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_ERASEBKGND: {
            HBRUSH brush = win->cls->wc.hbrBackground;
            if (!brush) {
                return 0;
            }
            auto index = reinterpret_cast<std::uintptr_t>(brush);
            if (index > 0 && index <= 31) {
                brush = GetSysColorBrush(static_cast<int>(index - 1));
            }
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
        case WM_PRINT:
            return 0;
        case WM_SETTEXT: {
            std::u16string text(platform::View(reinterpret_cast<LPCWSTR>(lParam)));
            std::lock_guard lk(S().mu);
            win->text = text;
            if (win->native) {
                backend::Get().SetTitle(hwnd, text);
            }
            return TRUE;
        }
        case WM_GETTEXT: {
            std::lock_guard lk(S().mu);
            if (wParam == 0 || !lParam) {
                return 0;
            }
            return static_cast<LRESULT>(
                platform::CopyToBuffer(reinterpret_cast<LPWSTR>(lParam), wParam, win->text));
        }
        case WM_GETTEXTLENGTH: {
            std::lock_guard lk(S().mu);
            return static_cast<LRESULT>(win->text.size());
        }
        case WM_WINDOWPOSCHANGED: {
            auto* wp = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (!(wp->flags & SWP_NOMOVE)) {
                CallProc(win, WM_MOVE, 0,
                         MAKELPARAM(static_cast<WORD>(wp->x), static_cast<WORD>(wp->y)));
            }
            if (!(wp->flags & SWP_NOSIZE)) {
                SendSize(win);
            }
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(hwnd)) {
                SetFocus(hwnd);
            }
            return 0;
        case WM_SETICON: {
            std::lock_guard lk(S().mu);
            HICON& slot = wParam == 1 ? win->bigIcon : win->smallIcon;
            HICON old = slot;
            slot = reinterpret_cast<HICON>(lParam);
            return reinterpret_cast<LRESULT>(old);
        }
        case WM_GETICON: {
            std::lock_guard lk(S().mu);
            return reinterpret_cast<LRESULT>(wParam == 1 ? win->bigIcon : win->smallIcon);
        }
        default:
            return 0;
    }
}

BOOL PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}
BOOL SetRect(LPRECT r, int l, int t, int rr, int b) {
    if (!r) {
        return FALSE;
    }
    *r = {l, t, rr, b};
    return TRUE;
}
BOOL SetRectEmpty(LPRECT r) {
    return SetRect(r, 0, 0, 0, 0);
}
BOOL IsRectEmpty(const RECT* r) {
    return !r || r->right <= r->left || r->bottom <= r->top;
}
BOOL OffsetRect(LPRECT r, int dx, int dy) {
    if (!r) {
        return FALSE;
    }
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}
BOOL InflateRect(LPRECT r, int dx, int dy) {
    if (!r) {
        return FALSE;
    }
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return TRUE;
}
BOOL IntersectRect(LPRECT out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) {
        return FALSE;
    }
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (r.right <= r.left || r.bottom <= r.top) {
        *out = {0, 0, 0, 0};
        return FALSE;
    }
    *out = r;
    return TRUE;
}
BOOL UnionRect(LPRECT out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) {
        return FALSE;
    }
    if (IsRectEmpty(a)) {
        *out = IsRectEmpty(b) ? RECT{0, 0, 0, 0} : *b;
        return !IsRectEmpty(b);
    }
    if (IsRectEmpty(b)) {
        *out = *a;
        return TRUE;
    }
    *out = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
            std::max(a->bottom, b->bottom)};
    return TRUE;
}
BOOL EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
           a->bottom == b->bottom;
}
BOOL CopyRect(LPRECT out, const RECT* in) {
    if (!out || !in) {
        return FALSE;
    }
    *out = *in;
    return TRUE;
}

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) {
        return -1;
    }
    long long p = static_cast<long long>(number) * numerator;
    long long d = denominator;
    // Rounded half away from zero.
    bool negative = (p < 0) != (d < 0);
    long long q = (std::llabs(p) + std::llabs(d) / 2) / std::llabs(d);
    long long r = negative ? -q : q;
    if (r > INT32_MAX || r < INT32_MIN) {
        return -1;
    }
    return static_cast<int>(r);
}
