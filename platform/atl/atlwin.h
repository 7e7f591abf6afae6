#pragma once
// Our ATL subset, window side: CWindow, CWindowImpl and CDialogImpl.
// A message map is the class's own ProcessWindowMessage function.
#include <string>

#include "platform/api/gdi.h"
#include "platform/api/user.h"

class CMessageMap {
public:
    // True when the message was handled; `result` is then its answer.
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult, DWORD dwMsgMapID = 0) = 0;

protected:
    ~CMessageMap() = default;
};

// A window handle with the usual operations on it.
class CWindow {
public:
    static RECT rcDefault;
    HWND m_hWnd = nullptr;

    CWindow(HWND hWnd = nullptr) : m_hWnd(hWnd) {}  // NOLINT
    CWindow& operator=(HWND hWnd) {
        m_hWnd = hWnd;
        return *this;
    }
    operator HWND() const { return m_hWnd; }  // NOLINT

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach() {
        HWND h = m_hWnd;
        m_hWnd = nullptr;
        return h;
    }
    BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
    BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) {
        return ::MoveWindow(m_hWnd, x, y, w, h, repaint);
    }
    BOOL MoveWindow(const RECT* r, BOOL repaint = TRUE) {
        return ::MoveWindow(m_hWnd, r->left, r->top, r->right - r->left, r->bottom - r->top,
                            repaint);
    }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
    }
    BOOL GetWindowRect(LPRECT r) const { return ::GetWindowRect(m_hWnd, r); }
    BOOL GetClientRect(LPRECT r) const { return ::GetClientRect(m_hWnd, r); }
    BOOL ScreenToClient(LPPOINT p) const { return ::ScreenToClient(m_hWnd, p); }
    BOOL ClientToScreen(LPPOINT p) const { return ::ClientToScreen(m_hWnd, p); }
    LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) {
        return ::SendMessageW(m_hWnd, msg, w, l);
    }
    BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) {
        return ::PostMessageW(m_hWnd, msg, w, l);
    }
    BOOL SetWindowText(LPCWSTR text) { return ::SetWindowTextW(m_hWnd, text); }
    int GetWindowText(LPWSTR buffer, int capacity) const {
        return ::GetWindowTextW(m_hWnd, buffer, capacity);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr) {
        return ::SetTimer(m_hWnd, id, elapse, proc);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL InvalidateRect(const RECT* r, BOOL erase = TRUE) {
        return ::InvalidateRect(m_hWnd, r, erase);
    }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    HWND SetCapture() { return ::SetCapture(m_hWnd); }
    HDC GetDC() { return ::GetDC(m_hWnd); }
    int ReleaseDC(HDC dc) { return ::ReleaseDC(m_hWnd, dc); }
    LONG GetWindowLong(int index) const { return ::GetWindowLongW(m_hWnd, index); }
    LONG SetWindowLong(int index, LONG value) { return ::SetWindowLongW(m_hWnd, index, value); }
    LONG_PTR GetWindowLongPtr(int index) const { return ::GetWindowLongPtrW(m_hWnd, index); }
    LONG_PTR SetWindowLongPtr(int index, LONG_PTR value) {
        return ::SetWindowLongPtrW(m_hWnd, index, value);
    }
    DWORD GetStyle() const { return static_cast<DWORD>(GetWindowLong(GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(GetWindowLong(GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }

    // Centres the window over `center` (default: its parent, or its owner),
    // or over the work area of the nearest monitor when that window is
    // hidden or minimised; the result is kept inside that work area.
    BOOL CenterWindow(HWND center = nullptr);
};

template <DWORD t_dwStyle = 0, DWORD t_dwExStyle = 0>
struct CWinTraits {
    static DWORD GetWndStyle(DWORD style) { return style == 0 ? t_dwStyle : style; }
    static DWORD GetWndExStyle(DWORD exStyle) { return exStyle == 0 ? t_dwExStyle : exStyle; }
};
using CControlWinTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0>;
using CFrameWinTraits = CWinTraits<WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                   WS_EX_APPWINDOW | WS_EX_WINDOWEDGE>;

// The window class a CWindowImpl registers on its first Create.
struct CWndClassInfo {
    const WCHAR* name;  // null: a name made for the class
    UINT style;
    HBRUSH background;
    ATOM atom;
    std::u16string madeName;
    ATOM Register(WNDPROC proc);
    LPCWSTR ClassName() const { return name ? name : madeName.c_str(); }
};

#define DECLARE_WND_CLASS_EX(WndClassName, style, bkgnd)                                       \
    static CWndClassInfo& GetWndClassInfo() {                                                  \
        static CWndClassInfo info{WndClassName,                                                \
                                  style,                                                       \
                                  reinterpret_cast<HBRUSH>(static_cast<INT_PTR>((bkgnd) + 1)), \
                                  0,                                                           \
                                  {}};                                                         \
        return info;                                                                           \
    }
#define DECLARE_WND_CLASS(WndClassName) \
    DECLARE_WND_CLASS_EX(WndClassName, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

namespace platform::atl {
class WindowObject;
// Which object a window of ours belongs to.
void Bind(HWND hWnd, WindowObject* object);
void Unbind(HWND hWnd);
WindowObject* Lookup(HWND hWnd);
// The object whose window this thread is creating; taken by its first message.
void SetCreating(WindowObject* object);
WindowObject* TakeCreating();

// The part of CWindowImpl and CDialogImpl that is the same for both.
class WindowObject : public CWindow, public CMessageMap {
public:
    virtual ~WindowObject();
    virtual void OnFinalMessage(HWND) {}

protected:
    // Routes one message to the object; returns whether it was handled.
    static WindowObject* ObjectFor(HWND hWnd);
    bool Route(HWND hWnd, UINT msg, WPARAM w, LPARAM l, LRESULT& result);
    void Finish(HWND hWnd);
    const MSG* m_pCurrentMsg = nullptr;
};
}  // namespace platform::atl

template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public platform::atl::WindowObject {
public:
    DECLARE_WND_CLASS_EX(nullptr, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

    HWND Create(HWND parent, const RECT* rect = nullptr, LPCWSTR name = nullptr, DWORD style = 0,
                DWORD exStyle = 0, UINT_PTR menuOrId = 0, LPVOID param = nullptr) {
        ATOM atom = T::GetWndClassInfo().Register(&WindowProc);
        if (!atom) {
            return nullptr;
        }
        const RECT& r = rect ? *rect : rcDefault;
        style = TWinTraits::GetWndStyle(style);
        exStyle = TWinTraits::GetWndExStyle(exStyle);
        // Width and height as the platform computes them from rcDefault too.
        int w = static_cast<int>(static_cast<unsigned>(r.right) - static_cast<unsigned>(r.left));
        int h = static_cast<int>(static_cast<unsigned>(r.bottom) - static_cast<unsigned>(r.top));
        platform::atl::SetCreating(this);
        HWND hWnd =
            ::CreateWindowExW(exStyle, T::GetWndClassInfo().ClassName(), name, style, r.left, r.top,
                              w, h, parent, reinterpret_cast<HMENU>(menuOrId), nullptr, param);
        platform::atl::TakeCreating();
        return hWnd;
    }
    HWND Create(HWND parent, RECT& rect, LPCWSTR name = nullptr, DWORD style = 0, DWORD exStyle = 0,
                UINT_PTR menuOrId = 0, LPVOID param = nullptr) {
        return Create(parent, &rect, name, style, exStyle, menuOrId, param);
    }

    virtual WNDPROC GetWindowProc() { return &WindowProc; }
    LRESULT DefWindowProc(UINT msg, WPARAM w, LPARAM l) {
        return ::DefWindowProcW(m_hWnd, msg, w, l);
    }

    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM w, LPARAM l) {
        WindowObject* self = ObjectFor(hWnd);
        if (!self) {
            return ::DefWindowProcW(hWnd, msg, w, l);
        }
        auto* me = static_cast<CWindowImpl*>(self);
        LRESULT result = 0;
        if (!me->Route(hWnd, msg, w, l, result)) {
            result = ::DefWindowProcW(hWnd, msg, w, l);
        }
        if (msg == WM_NCDESTROY) {
            me->Finish(hWnd);
        }
        return result;
    }
};

template <class T, class TBase = CWindow>
class CDialogImpl : public platform::atl::WindowObject {
public:
    // A modeless dialog from the template T::IDD.
    HWND Create(HWND parent, LPARAM initParam = 0) {
        platform::atl::SetCreating(this);
        HWND hWnd = ::CreateDialogParamW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(T::IDD)),
                                         parent, &DialogProc, initParam);
        platform::atl::TakeCreating();
        return hWnd;
    }
    // A modal dialog; its result, or -1 when it could not be made.
    INT_PTR DoModal(HWND parent = ::GetActiveWindow(), LPARAM initParam = 0) {
        platform::atl::SetCreating(this);
        INT_PTR r = ::DialogBoxParamW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(T::IDD)), parent,
                                      &DialogProc, initParam);
        platform::atl::TakeCreating();
        return r;
    }
    BOOL EndDialog(int result) { return ::EndDialog(m_hWnd, result); }

    virtual DLGPROC GetDialogProc() { return &DialogProc; }

    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM w, LPARAM l) {
        WindowObject* self = ObjectFor(hWnd);
        if (!self) {
            return FALSE;
        }
        auto* me = static_cast<CDialogImpl*>(self);
        LRESULT result = 0;
        bool handled = me->Route(hWnd, msg, w, l, result);
        if (msg == WM_NCDESTROY) {
            me->Finish(hWnd);
            return FALSE;
        }
        if (!handled) {
            return FALSE;
        }
        switch (msg) {
            // These answer through the return value itself.
            case WM_INITDIALOG:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORLISTBOX:
                return static_cast<INT_PTR>(result);
            default:
                if (::IsWindow(hWnd)) {
                    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
                }
                return TRUE;
        }
    }
};
