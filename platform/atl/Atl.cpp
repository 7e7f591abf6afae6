// Our ATL/WTL subset: window objects, centring, the message loop, the module.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/api/kernel.h"
#include "platform/atl/atlapp.h"
#include "platform/atl/atlbase.h"
#include "platform/atl/atlwin.h"

RECT CWindow::rcDefault = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
CAppModule _Module;

namespace platform::atl {
namespace {
std::mutex g_mu;
std::unordered_map<HWND, WindowObject*> g_objects;
thread_local WindowObject* t_creating = nullptr;
}  // namespace

void Bind(HWND hWnd, WindowObject* object) {
    std::lock_guard lk(g_mu);
    g_objects[hWnd] = object;
}

void Unbind(HWND hWnd) {
    std::lock_guard lk(g_mu);
    g_objects.erase(hWnd);
}

WindowObject* Lookup(HWND hWnd) {
    std::lock_guard lk(g_mu);
    auto it = g_objects.find(hWnd);
    return it == g_objects.end() ? nullptr : it->second;
}

void SetCreating(WindowObject* object) {
    t_creating = object;
}

WindowObject* TakeCreating() {
    WindowObject* o = t_creating;
    t_creating = nullptr;
    return o;
}

WindowObject::~WindowObject() {
    // An object that goes before its window leaves the window without a map.
    if (m_hWnd) {
        Unbind(m_hWnd);
    }
}

WindowObject* WindowObject::ObjectFor(HWND hWnd) {
    if (WindowObject* o = Lookup(hWnd)) {
        return o;
    }
    WindowObject* o = TakeCreating();
    if (o) {
        Bind(hWnd, o);
        o->m_hWnd = hWnd;
    }
    return o;
}

bool WindowObject::Route(HWND hWnd, UINT msg, WPARAM w, LPARAM l, LRESULT& result) {
    MSG current{hWnd, msg, w, l, 0, {}};
    const MSG* saved = m_pCurrentMsg;
    m_pCurrentMsg = &current;
    bool handled = ProcessWindowMessage(hWnd, msg, w, l, result, 0) != FALSE;
    m_pCurrentMsg = saved;
    return handled;
}

void WindowObject::Finish(HWND hWnd) {
    Unbind(hWnd);
    if (m_hWnd == hWnd) {
        m_hWnd = nullptr;
    }
    OnFinalMessage(hWnd);
}

}  // namespace platform::atl

ATOM CWndClassInfo::Register(WNDPROC proc) {
    if (atom) {
        return atom;
    }
    if (!name) {
        // A name of its own for every class that gives none.
        static std::atomic<int> counter{0};
        std::string n = "ATL:" + std::to_string(++counter);
        madeName.assign(n.begin(), n.end());
    }
    WNDCLASSW wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name ? name : madeName.c_str();
    atom = RegisterClassW(&wc);
    WNDCLASSW existing{};
    if (!atom && GetClassInfoW(nullptr, wc.lpszClassName, &existing)) {
        atom = 1;  // registered before under this name: windows are made by name
    }
    return atom;
}

BOOL CWindow::ModifyStyle(DWORD remove, DWORD add, UINT flags) {
    DWORD style = GetStyle();
    DWORD now = (style & ~remove) | add;
    if (now == style) {
        return FALSE;
    }
    SetWindowLong(GWL_STYLE, static_cast<LONG>(now));
    if (flags) {
        SetWindowPos(nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    }
    return TRUE;
}

BOOL CWindow::CenterWindow(HWND center) {
    DWORD style = GetStyle();
    bool child = (style & WS_CHILD) != 0;
    if (!center) {
        center = child ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER);
    }
    RECT dlg;
    ::GetWindowRect(m_hWnd, &dlg);
    RECT area;
    RECT centerRect;
    if (!child) {
        MONITORINFO mi{sizeof mi};
        HMONITOR mon = MonitorFromWindow(center ? center : m_hWnd, MONITOR_DEFAULTTONEAREST);
        if (!GetMonitorInfoW(mon, &mi)) {
            return FALSE;
        }
        area = mi.rcWork;
        if (center && ::IsWindowVisible(center) && !::IsIconic(center)) {
            ::GetWindowRect(center, &centerRect);
        } else {
            centerRect = area;
        }
    } else {
        HWND parent = ::GetParent(m_hWnd);
        ::GetClientRect(parent, &area);
        ::GetClientRect(center, &centerRect);
        ::MapWindowPoints(center, parent, reinterpret_cast<POINT*>(&centerRect), 2);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&dlg), 2);
    }
    int w = dlg.right - dlg.left;
    int h = dlg.bottom - dlg.top;
    int x = (centerRect.left + centerRect.right) / 2 - w / 2;
    int y = (centerRect.top + centerRect.bottom) / 2 - h / 2;
    if (x + w > area.right) {
        x = area.right - w;
    }
    if (x < area.left) {
        x = area.left;
    }
    if (y + h > area.bottom) {
        y = area.bottom - h;
    }
    if (y < area.top) {
        y = area.top;
    }
    return ::SetWindowPos(m_hWnd, nullptr, x, y, -1, -1,
                          SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CMessageLoop::AddMessageFilter(CMessageFilter* filter) {
    if (!filter) {
        return FALSE;
    }
    m_aMsgFilter.push_back(filter);
    return TRUE;
}

BOOL CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) {
    auto it = std::find(m_aMsgFilter.begin(), m_aMsgFilter.end(), filter);
    if (it == m_aMsgFilter.end()) {
        return FALSE;
    }
    m_aMsgFilter.erase(it);
    return TRUE;
}

BOOL CMessageLoop::PreTranslateMessage(MSG* pMsg) {
    // A filter may remove itself or others while it runs: walk a copy and
    // skip those that are gone.
    std::vector<CMessageFilter*> filters = m_aMsgFilter;
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
        if (std::find(m_aMsgFilter.begin(), m_aMsgFilter.end(), *it) == m_aMsgFilter.end()) {
            continue;
        }
        if ((*it)->PreTranslateMessage(pMsg)) {
            return TRUE;
        }
    }
    return FALSE;
}

int CMessageLoop::Run() {
    for (;;) {
        BOOL got = ::GetMessageW(&m_msg, nullptr, 0, 0);
        if (got == -1) {
            continue;
        }
        if (!got) {
            break;
        }
        if (!PreTranslateMessage(&m_msg)) {
            ::TranslateMessage(&m_msg);
            ::DispatchMessageW(&m_msg);
        }
    }
    return static_cast<int>(m_msg.wParam);
}

HRESULT CAppModule::Init(void*, HINSTANCE instance, const GUID*) {
    m_hInst = instance;
    m_dwMainThreadID = ::GetCurrentThreadId();
    return S_OK;
}

void CAppModule::Term() {
    std::lock_guard lk(m_mu);
    m_loops.clear();
}

BOOL CAppModule::AddMessageLoop(CMessageLoop* loop) {
    std::lock_guard lk(m_mu);
    auto [it, added] = m_loops.emplace(::GetCurrentThreadId(), loop);
    return added && loop ? TRUE : FALSE;
}

BOOL CAppModule::RemoveMessageLoop() {
    std::lock_guard lk(m_mu);
    return m_loops.erase(::GetCurrentThreadId()) ? TRUE : FALSE;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const {
    std::lock_guard lk(m_mu);
    auto it = m_loops.find(threadId ? threadId : ::GetCurrentThreadId());
    return it == m_loops.end() ? nullptr : it->second;
}
