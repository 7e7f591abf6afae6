// Window objects: classes, creation, destruction, window data and text.
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "platform/user/Remote.h"
#include "platform/user/WindowManager.h"

namespace platform::user {

namespace {
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_INVALID_PARENT = 1421;
constexpr DWORD ERROR_INVALID_INDEX_VALUE = 1413;

// Drops the calling thread's queue and windows when the thread ends, and
// answers every message still waiting for it, so no sender hangs.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder();
};
thread_local QueueHolder t_holder;

void DetachWindowLocked(State& s, Window& win);

QueueHolder::~QueueHolder() {
    if (!queue) {
        return;
    }
    State& s = S();
    std::vector<std::shared_ptr<Window>> dropped;
    {
        std::lock_guard lk(s.mu);
        queue->alive = false;
        for (auto& sm : queue->incoming) {
            sm->done = true;
            sm->result = 0;
            WakeLocked(*sm->sender);
        }
        queue->incoming.clear();
        for (auto& [key, win] : s.windows) {
            if (win->threadId == queue->threadId) {
                dropped.push_back(win);
            }
        }
        for (auto& win : dropped) {
            DetachWindowLocked(s, *win);
        }
        s.queues.erase(queue->threadId);
    }
    for (auto& win : dropped) {
        if (win->native) {
            backend::Get().DestroyWindow(win->hwnd);
        }
    }
}

std::uintptr_t Key(HWND h) {
    return reinterpret_cast<std::uintptr_t>(h);
}

char16_t Fold(char16_t c) {
    if (c >= u'A' && c <= u'Z') {
        return static_cast<char16_t>(c + 32);
    }
    return c;
}

// Removes a window from every table; no messages are sent.
void DetachWindowLocked(State& s, Window& win) {
    s.windows.erase(Key(win.hwnd));
    std::erase(s.topLevels, win.hwnd);
    if (win.parent) {
        if (auto p = FindLocked(win.parent)) {
            std::erase(p->children, win.hwnd);
        }
    }
    if (win.queue) {
        std::erase_if(win.queue->timers, [&](const Timer& t) { return t.hwnd == win.hwnd; });
        std::erase_if(win.queue->posted, [&](const MSG& m) { return m.hwnd == win.hwnd; });
        if (win.queue->active == win.hwnd) {
            win.queue->active = nullptr;
        }
        if (win.queue->focus == win.hwnd) {
            win.queue->focus = nullptr;
        }
    }
    if (s.capture == win.hwnd) {
        s.capture = nullptr;
    }
    if (s.foreground == win.hwnd) {
        s.foreground = nullptr;
    }
    if (s.pressTarget == win.hwnd) {
        s.pressTarget = nullptr;
    }
    if (s.lastClick.hwnd == win.hwnd) {
        s.lastClick.hwnd = nullptr;
    }
    if (s.drag.active && s.drag.hwnd == win.hwnd) {
        s.drag.active = false;
    }
}
}  // namespace

Window::~Window() {
    if (surface) {
        cairo_surface_destroy(surface);
    }
    if (layeredImage) {
        cairo_surface_destroy(layeredImage);
    }
}

State& S() {
    static State* state = new State();  // never destroyed: threads may outlive statics
    return *state;
}

DWORD CurrentThreadId() {
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

DWORD NowMs() {
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
    if (!t_holder.queue) {
        auto q = std::make_shared<ThreadQueue>();
        q->threadId = CurrentThreadId();
        std::lock_guard lk(S().mu);
        S().queues[q->threadId] = q;
        t_holder.queue = q;
    }
    return t_holder.queue;
}

std::shared_ptr<Window> FindLocked(HWND hwnd) {
    auto& w = S().windows;
    auto it = w.find(Key(hwnd));
    if (it == w.end()) {
        return nullptr;
    }
    return it->second;
}

std::shared_ptr<Window> Find(HWND hwnd) {
    if (!hwnd) {
        return nullptr;
    }
    std::lock_guard lk(S().mu);
    return FindLocked(hwnd);
}

std::shared_ptr<Window> FindOwn(HWND hwnd) {
    auto win = Find(hwnd);
    if (!win) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (win->threadId != CurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return win;
}

void WakeLocked(ThreadQueue& queue) {
    queue.cv.notify_all();
    if (queue.onDisplay) {
        backend::Get().Wake();
    }
}

std::u16string FoldCase(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) {
        c = Fold(c);
    }
    return out;
}

LRESULT CallProc(const std::shared_ptr<Window>& win, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc;
    {
        std::lock_guard lk(S().mu);
        proc = win->proc;
    }
    if (!proc) {
        return DefWindowProcW(win->hwnd, msg, wParam, lParam);
    }
    return proc(win->hwnd, msg, wParam, lParam);
}

std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name) {
    auto& classes = S().classes;
    if (IS_INTRESOURCE(name)) {
        auto atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
        for (auto& c : classes) {
            if (c->atom == atom) {
                return c;
            }
        }
        return nullptr;
    }
    std::u16string folded = FoldCase(View(name));
    // Classes of the program shadow the system's.
    for (int pass = 0; pass < 2; ++pass) {
        for (auto& c : classes) {
            if (c->system == (pass == 1) && FoldCase(c->name) == folded) {
                return c;
            }
        }
    }
    return nullptr;
}

namespace {
void AddClassLocked(const WNDCLASSW& wc, bool system) {
    auto c = std::make_shared<WindowClass>();
    c->name = std::u16string(View(wc.lpszClassName));
    c->wc = wc;
    c->wc.lpszClassName = c->name.c_str();
    c->wc.lpszMenuName = nullptr;
    c->system = system;
    c->atom = S().nextAtom++;
    S().classes.push_back(c);
}

LRESULT DialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcW(hwnd, msg, wParam, lParam);
}
}  // namespace

void EnsureSystemClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        backend::SetEventSink(&WindowManagerSink());
        std::lock_guard lk(S().mu);
        WNDCLASSW dlg{};
        dlg.style = CS_DBLCLKS | CS_SAVEBITS;
        dlg.lpfnWndProc = &DialogClassProc;
        dlg.cbWndExtra = DLGWINDOWEXTRA;
        dlg.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        dlg.lpszClassName = u"#32770";
        AddClassLocked(dlg, true);
        WNDCLASSW lb{};
        lb.style = CS_DBLCLKS;
        lb.lpfnWndProc = &ListBoxProc;
        lb.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        lb.lpszClassName = u"ListBox";
        AddClassLocked(lb, true);
    });
}

POINT ClientOriginOnScreenLocked(const Window& win) {
    POINT p{win.rect.left, win.rect.top};
    HWND parent = win.parent;
    while (parent) {
        auto pw = FindLocked(parent);
        if (!pw) {
            break;
        }
        p.x += pw->rect.left;
        p.y += pw->rect.top;
        parent = pw->parent;
    }
    return p;
}

bool IsVisibleLocked(const Window& win) {
    const Window* w = &win;
    std::shared_ptr<Window> hold;
    while (true) {
        if (!(w->style & WS_VISIBLE)) {
            return false;
        }
        if (!w->parent) {
            return true;
        }
        hold = FindLocked(w->parent);
        if (!hold) {
            return false;
        }
        w = hold.get();
    }
}

HWND RootLocked(HWND hwnd) {
    auto w = FindLocked(hwnd);
    while (w && w->parent) {
        auto p = FindLocked(w->parent);
        if (!p) {
            break;
        }
        w = p;
    }
    return w ? w->hwnd : nullptr;
}

RECT VisibleClientInRootLocked(const Window& win, POINT* originInRoot) {
    // Walk up, intersecting with each ancestor's client area.
    POINT origin{0, 0};
    RECT vis{0, 0, win.rect.right - win.rect.left, win.rect.bottom - win.rect.top};
    const Window* w = &win;
    std::shared_ptr<Window> hold;
    while (w->parent) {
        origin.x += w->rect.left;
        origin.y += w->rect.top;
        hold = FindLocked(w->parent);
        if (!hold) {
            break;
        }
        w = hold.get();
    }
    OffsetRect(&vis, origin.x, origin.y);
    // Clip by ancestors' client rectangles, each in root coordinates.
    hold = win.parent ? FindLocked(win.parent) : nullptr;
    POINT o = origin;
    o.x -= win.rect.left;
    o.y -= win.rect.top;
    while (hold) {
        RECT pr{o.x, o.y, o.x + hold->rect.right - hold->rect.left,
                o.y + hold->rect.bottom - hold->rect.top};
        IntersectRect(&vis, &vis, &pr);
        if (!hold->parent) {
            break;
        }
        o.x -= hold->rect.left;
        o.y -= hold->rect.top;
        hold = FindLocked(hold->parent);
    }
    if (originInRoot) {
        *originInRoot = origin;
    }
    return vis;
}

}  // namespace platform::user

using namespace platform::user;
using platform::View;

ATOM RegisterClassW(const WNDCLASSW* wc) {
    EnsureSystemClasses();
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) ||
        View(wc->lpszClassName).empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lk(S().mu);
    auto existing = FindClassLocked(wc->lpszClassName);
    if (existing && !existing->system) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    AddClassLocked(*wc, false);
    return S().classes.back()->atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
    EnsureSystemClasses();
    std::lock_guard lk(S().mu);
    auto c = FindClassLocked(className);
    if (!c || c->system) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    std::erase(S().classes, c);
    return TRUE;
}

BOOL GetClassInfoW(HINSTANCE, LPCWSTR className, LPWNDCLASSW wc) {
    EnsureSystemClasses();
    if (!wc || !className) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lk(S().mu);
    auto c = FindClassLocked(className);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *wc = c->wc;
    // The name stays valid as long as the class exists; callers replace it.
    wc->lpszClassName = c->name.c_str();
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    EnsureSystemClasses();
    auto queue = CurrentQueue();
    State& s = S();
    auto win = std::make_shared<Window>();
    {
        std::lock_guard lk(s.mu);
        auto cls = className ? FindClassLocked(className) : nullptr;
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        bool messageOnly = parent == HWND_MESSAGE;
        std::shared_ptr<Window> parentWin;
        if (parent && !messageOnly) {
            parentWin = FindLocked(parent);
            if (!parentWin) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        }
        if ((style & WS_CHILD) && !parentWin && !messageOnly) {
            SetLastError(ERROR_INVALID_PARENT);
            return nullptr;
        }
        const auto pid = static_cast<std::uintptr_t>(::getpid()) & 0x3FFFFF;
        win->hwnd = reinterpret_cast<HWND>((pid << 32) | s.nextHandle);
        s.nextHandle += 2;
        win->cls = cls;
        win->queue = queue;
        win->threadId = queue->threadId;
        win->proc = cls->wc.lpfnWndProc;
        win->messageOnly = messageOnly;
        win->style = style & ~WS_VISIBLE;
        win->exStyle = exStyle;
        win->text = std::u16string(View(windowName));
        win->instance = instance;
        win->extra.assign(static_cast<size_t>(std::max(0, cls->wc.cbWndExtra)), 0);
        if (parentWin && (style & WS_CHILD)) {
            win->parent = parent;
            win->id = reinterpret_cast<UINT_PTR>(menu);
        } else if (parentWin) {
            // A top-level window's "parent" is its owner, always a top-level window.
            win->owner = RootLocked(parent);
        }
        if (x == CW_USEDEFAULT) {
            x = win->parent ? 0 : 100;
            y = win->parent ? 0 : 100;
        }
        if (width == CW_USEDEFAULT) {
            width = win->parent || messageOnly ? 0 : 640;
            height = win->parent || messageOnly ? 0 : 480;
        }
        win->rect = {x, y, x + std::max(0, width), y + std::max(0, height)};
        s.windows[reinterpret_cast<std::uintptr_t>(win->hwnd)] = win;
        if (win->parent) {
            parentWin->children.push_back(win->hwnd);
        } else if (!messageOnly) {
            s.topLevels.insert(s.topLevels.begin(), win->hwnd);
        }
    }
    CREATESTRUCTW cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.x = win->rect.left;
    cs.y = win->rect.top;
    cs.cx = win->rect.right - win->rect.left;
    cs.cy = win->rect.bottom - win->rect.top;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    HWND h = win->hwnd;
    if (!CallProc(win, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        DestroyWindow(h);
        return nullptr;
    }
    if (CallProc(win, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(h);
        return nullptr;
    }
    if (!IsWindow(h)) {
        return nullptr;
    }
    RECT r;
    {
        std::lock_guard lk(s.mu);
        r = win->rect;
    }
    CallProc(win, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
    CallProc(win, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
    if (!win->parent && !win->messageOnly) {
        remote::EnsureServer();
    }
    if ((style & WS_VISIBLE) && IsWindow(h)) {
        ShowWindow(h, SW_SHOW);
    }
    return IsWindow(h) ? h : nullptr;
}

namespace {
// WM_DESTROY goes parent first, WM_NCDESTROY children first.
void SendDestroy(const std::shared_ptr<Window>& win) {
    CallProc(win, WM_DESTROY, 0, 0);
    std::vector<HWND> kids;
    {
        std::lock_guard lk(S().mu);
        kids = win->children;
    }
    for (HWND k : kids) {
        if (auto kw = Find(k)) {
            SendDestroy(kw);
        }
    }
}

void SendNcDestroy(const std::shared_ptr<Window>& win) {
    std::vector<HWND> kids;
    {
        std::lock_guard lk(S().mu);
        kids = win->children;
    }
    for (HWND k : kids) {
        if (auto kw = Find(k)) {
            SendNcDestroy(kw);
        }
    }
    CallProc(win, WM_NCDESTROY, 0, 0);
    bool native;
    {
        std::lock_guard lk(S().mu);
        DetachWindowLocked(S(), *win);
        native = win->native;
        win->native = false;
    }
    if (native) {
        platform::backend::Get().DestroyWindow(win->hwnd);
    }
}

void MarkDestroying(Window& win) {
    win.destroying = true;
    for (HWND k : win.children) {
        if (auto kw = FindLocked(k)) {
            MarkDestroying(*kw);
        }
    }
}
}  // namespace

BOOL DestroyWindow(HWND hwnd) {
    auto win = FindOwn(hwnd);
    if (!win) {
        return FALSE;
    }
    std::vector<HWND> owned;
    bool wasActive;
    HWND owner;
    {
        std::lock_guard lk(S().mu);
        if (win->destroying) {
            return TRUE;
        }
        MarkDestroying(*win);
        for (auto& [k, w] : S().windows) {
            if (w->owner == hwnd && !w->destroying) {
                owned.push_back(w->hwnd);
            }
        }
        wasActive = win->queue->active == hwnd;
        owner = win->owner;
    }
    // Owned windows go first, as on the platform.
    for (HWND o : owned) {
        DestroyWindow(o);
    }
    if (GetCapture() == hwnd || IsChild(hwnd, GetCapture())) {
        ReleaseCapture();
    }
    EndDragFor(hwnd);
    bool visible = IsWindowVisible(hwnd);
    if (visible) {
        ShowWindow(hwnd, SW_HIDE);
    }
    SendDestroy(win);
    SendNcDestroy(win);
    if (wasActive && owner && IsWindow(owner)) {
        SetActiveWindow(owner);
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    if (remote::IsForeign(hwnd)) {
        return remote::IsWindow(hwnd).value_or(false) ? TRUE : FALSE;
    }
    std::lock_guard lk(S().mu);
    auto w = hwnd ? FindLocked(hwnd) : nullptr;
    return w != nullptr;
}

BOOL IsChild(HWND parent, HWND hwnd) {
    if (!parent || !hwnd) {
        return FALSE;
    }
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    while (w && w->parent) {
        if (w->parent == parent) {
            return TRUE;
        }
        w = FindLocked(w->parent);
    }
    return FALSE;
}

HWND GetParent(HWND hwnd) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w->parent ? w->parent : w->owner;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        return nullptr;
    }
    if (flags == GA_PARENT) {
        return w->parent;
    }
    HWND root = RootLocked(hwnd);
    if (flags == GA_ROOTOWNER) {
        auto r = FindLocked(root);
        while (r && r->owner) {
            auto o = FindLocked(r->owner);
            if (!o) {
                break;
            }
            r = o;
        }
        return r ? r->hwnd : root;
    }
    return root;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        return nullptr;
    }
    switch (cmd) {
        case GW_OWNER:
            return w->owner;
        case GW_CHILD:
            return w->children.empty() ? nullptr : w->children.back();
        case GW_HWNDNEXT: {
            if (!w->parent) {
                auto& tl = S().topLevels;
                auto it = std::find(tl.begin(), tl.end(), hwnd);
                return (it == tl.end() || it + 1 == tl.end()) ? nullptr : *(it + 1);
            }
            auto p = FindLocked(w->parent);
            auto it = std::find(p->children.begin(), p->children.end(), hwnd);
            return it == p->children.begin() ? nullptr : *(it - 1);
        }
        default:
            return nullptr;
    }
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    if (remote::IsForeign(hwnd)) {
        auto t = remote::ThreadOf(hwnd, processId);
        if (!t) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        }
        return t.value_or(0);
    }
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId) {
        *processId = static_cast<DWORD>(::getpid());
    }
    return w->threadId;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    if (HWND h = platform::user::FindLocalWindow(className, windowName)) {
        return h;
    }
    // Then the user's other processes of the program.
    std::u16string cls;
    std::u16string title;
    if (className && !IS_INTRESOURCE(className)) {
        cls = View(className);
    } else if (className) {
        return nullptr;  // an atom means nothing elsewhere
    }
    if (windowName) {
        title = View(windowName);
    }
    return remote::Find(className ? &cls : nullptr, windowName ? &title : nullptr);
}

HWND platform::user::FindLocalWindow(LPCWSTR className, LPCWSTR windowName) {
    EnsureSystemClasses();
    std::lock_guard lk(S().mu);
    std::shared_ptr<WindowClass> cls;
    if (className) {
        cls = FindClassLocked(className);
        if (!cls) {
            return nullptr;
        }
    }
    std::u16string title = windowName ? FoldCase(View(windowName)) : std::u16string();
    for (HWND h : S().topLevels) {
        auto w = FindLocked(h);
        if (!w || w->destroying) {
            continue;
        }
        if (cls && w->cls != cls) {
            continue;
        }
        if (windowName && FoldCase(w->text) != title) {
            continue;
        }
        return h;
    }
    return nullptr;
}

namespace {
bool ExtraOffsetOk(const Window& w, int index, size_t size) {
    return index >= 0 && static_cast<size_t>(index) + size <= w.extra.size();
}

LONG_PTR GetLongImpl(HWND hwnd, int index, size_t size) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
        case GWL_STYLE:
            return static_cast<LONG>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(w->exStyle);
        case GWLP_USERDATA:
            return w->userData;
        case GWLP_ID:
            return static_cast<LONG_PTR>(w->id);
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
        default:
            break;
    }
    if (!ExtraOffsetOk(*w, index, size)) {
        SetLastError(ERROR_INVALID_INDEX_VALUE);
        return 0;
    }
    if (size == sizeof(LONG)) {
        LONG v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
    }
    LONG_PTR v;
    std::memcpy(&v, w->extra.data() + index, sizeof v);
    return v;
}

LONG_PTR SetLongImpl(HWND hwnd, int index, LONG_PTR value, size_t size) {
    std::shared_ptr<Window> w;
    LONG_PTR old = 0;
    bool styleChanged = false;
    DWORD oldStyle = 0;
    {
        std::lock_guard lk(S().mu);
        w = FindLocked(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        switch (index) {
            case GWL_STYLE:
                old = static_cast<LONG>(w->style);
                oldStyle = w->style;
                w->style = static_cast<DWORD>(value);
                styleChanged = ((oldStyle ^ w->style) & WS_VISIBLE) != 0;
                break;
            case GWL_EXSTYLE:
                old = static_cast<LONG>(w->exStyle);
                w->exStyle = static_cast<DWORD>(value);
                break;
            case GWLP_USERDATA:
                old = w->userData;
                w->userData = value;
                break;
            case GWLP_ID:
                old = static_cast<LONG_PTR>(w->id);
                w->id = static_cast<UINT_PTR>(value);
                break;
            case GWLP_WNDPROC:
                old = reinterpret_cast<LONG_PTR>(w->proc);
                w->proc = reinterpret_cast<WNDPROC>(value);
                break;
            case GWLP_HINSTANCE:
                old = reinterpret_cast<LONG_PTR>(w->instance);
                w->instance = reinterpret_cast<HINSTANCE>(value);
                break;
            default:
                if (!ExtraOffsetOk(*w, index, size)) {
                    SetLastError(ERROR_INVALID_INDEX_VALUE);
                    return 0;
                }
                if (size == sizeof(LONG)) {
                    LONG o;
                    LONG v = static_cast<LONG>(value);
                    std::memcpy(&o, w->extra.data() + index, sizeof o);
                    std::memcpy(w->extra.data() + index, &v, sizeof v);
                    old = o;
                } else {
                    std::memcpy(&old, w->extra.data() + index, sizeof old);
                    std::memcpy(w->extra.data() + index, &value, sizeof value);
                }
                break;
        }
    }
    if (styleChanged) {
        // Setting WS_VISIBLE through the style shows nothing by itself; keep
        // the native window in step as the platform does on its next redraw.
        std::lock_guard lk(S().mu);
        InvalidateLocked(*w, nullptr, true, true);
    }
    SetLastError(0);
    return old;
}
}  // namespace

LONG GetWindowLongW(HWND hwnd, int index) {
    return static_cast<LONG>(GetLongImpl(hwnd, index, sizeof(LONG)));
}
LONG SetWindowLongW(HWND hwnd, int index, LONG value) {
    return static_cast<LONG>(SetLongImpl(hwnd, index, value, sizeof(LONG)));
}
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
    return GetLongImpl(hwnd, index, sizeof(LONG_PTR));
}
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    return SetLongImpl(hwnd, index, value, sizeof(LONG_PTR));
}

int GetDlgCtrlID(HWND hwnd) {
    return static_cast<int>(GetWindowLongPtrW(hwnd, GWLP_ID));
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return 0;
    }
    buffer[0] = 0;
    auto w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->threadId == CurrentThreadId()) {
        return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(capacity),
                                             reinterpret_cast<LPARAM>(buffer)));
    }
    // Another thread's window: its stored title, without a message.
    std::lock_guard lk(S().mu);
    return static_cast<int>(platform::CopyToBuffer(buffer, static_cast<size_t>(capacity), w->text));
}

int GetWindowTextLengthW(HWND hwnd) {
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!proc) {
        return 0;
    }
    return proc(hwnd, msg, wParam, lParam);
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    EnsureSystemClasses();
    return TRUE;
}
