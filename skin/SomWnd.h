#pragma once
// Windowless controls and the control manager that every skinned window
// derives from: hit testing, hover, capture, painting and commands.
#include <map>
#include <vector>

#include "platform/api/win.h"

constexpr DWORD SWS_VISIBLE = 0x1;
constexpr DWORD SWS_AUTOSIZE = 0x2;
constexpr DWORD SWS_DISABLED = 0x4;
constexpr DWORD SWS_TRANSPARENT = 0x8;

constexpr UINT_PTR SOM_TIMER_ID = 54321;

class ISomWndManager;

class CSomWnd {
public:
    CSomWnd() = default;
    CSomWnd(const CSomWnd&) = delete;
    CSomWnd& operator=(const CSomWnd&) = delete;
    // A control that goes away while attached leaves its manager's list.
    virtual ~CSomWnd();

    virtual void Destroy() { delete this; }
    virtual void OnCreate() {}
    virtual void OnDestroy() {}
    virtual void OnTimer() {}
    virtual void OnMove(int /*x*/, int /*y*/) {}
    virtual void OnSize(int /*cx*/, int /*cy*/) {}
    virtual void OnPaint(HDC /*dc*/, int /*clipRight*/, int /*part*/) {}
    virtual void OnCaptureLost() {}
    virtual BOOL OnSetCursor(POINT* /*pt*/) { return 0; }
    virtual BOOL OnLButtonDown(POINT* /*pt*/) { return 0; }
    virtual BOOL OnLButtonUp(POINT* /*pt*/) { return 0; }
    // A double click counts as a second press.
    virtual BOOL OnLButtonDblClk(POINT* pt) { return OnLButtonDown(pt); }
    virtual LRESULT OnMouseMove(POINT* /*pt*/) { return 0; }
    virtual void OnMouseEnter(POINT* /*pt*/) {}
    virtual void OnMouseLeave() {}
    virtual void OnGetToolTipText(DWORD /*key*/, NMTTDISPINFOW* /*info*/) {}

    BOOL Create(ISomWndManager* manager, DWORD style, int id, const RECT& rect);
    void ShowWnd(BOOL show);
    void EnableWnd(BOOL enable);
    void Invalidate();

    DWORD GetStyle() const { return m_style; }
    int GetId() const { return m_id; }
    const RECT& GetRect() const { return m_rect; }
    ISomWndManager* GetManager() const { return m_pManager; }
    int GetWidth() const { return m_rect.right - m_rect.left; }
    int GetHeight() const { return m_rect.bottom - m_rect.top; }

    DWORD m_style = 0;
    int m_id = 0;
    RECT m_rect{};
    ISomWndManager* m_pManager = nullptr;
};

class ISomWndManager {
public:
    virtual BOOL AddWnd(CSomWnd* wnd) = 0;
    virtual BOOL RemoveWnd(CSomWnd* wnd) = 0;
    virtual void SetWndCapture(CSomWnd* wnd) = 0;
    virtual void ReleaseWndCapture(CSomWnd* wnd) = 0;
    virtual LRESULT SendHostMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual LRESULT SendCommand(CSomWnd* sender, WORD code, WORD id) = 0;
    virtual BOOL PostHostMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual void SetWndRect(CSomWnd* wnd, int x, int y, int cx, int cy) = 0;
    virtual void SetWndSize(CSomWnd* wnd, int cx, int cy) = 0;
    virtual void SetWndPos(CSomWnd* wnd, int x, int y) = 0;
    virtual void InvalidateWnd(CSomWnd* wnd, const RECT* part, BOOL eraseIfHidden,
                               int partIndex) = 0;
    virtual UINT AddToolTip(CSomWnd* wnd, DWORD key, const RECT* rect) = 0;
    virtual void RemoveToolTip(CSomWnd* wnd) = 0;
    virtual void BeginDeferPaint() = 0;
    virtual void EndDeferPaint() = 0;
    virtual int DrawBackground(HDC dc, const RECT* rect) = 0;
    virtual void DrawWnds(HDC dc, const RECT* rect) = 0;

protected:
    ~ISomWndManager() = default;
};

// Registry of tool-tip areas of the controls. No window of this program
// registers a tool or creates a tool-tip window.
class CSomToolTipAdpater {
public:
    struct ToolInfo {
        CSomWnd* wnd = nullptr;
        DWORD key = 0;
        RECT rect{};  // left 0x80000000: the whole control
    };

    UINT AddTool(HWND owner, CSomWnd* wnd, DWORD key, const RECT* rect);
    void RemoveTools(CSomWnd* wnd);
    const ToolInfo* FindTool(UINT id) const;

protected:
    ~CSomToolTipAdpater() = default;

    std::map<UINT, ToolInfo> m_toolsById;
    std::map<CSomWnd*, std::map<DWORD, UINT>> m_toolsByWnd;
    HWND m_hToolTip = nullptr;
    HWND m_hToolOwner = nullptr;
};

class CSomWndManager : public ISomWndManager, public CSomToolTipAdpater {
public:
    CSomWndManager() = default;
    CSomWndManager(const CSomWndManager&) = delete;
    CSomWndManager& operator=(const CSomWndManager&) = delete;
    virtual ~CSomWndManager() = default;

    BOOL AddWnd(CSomWnd* wnd) override;
    BOOL RemoveWnd(CSomWnd* wnd) override;
    void SetWndCapture(CSomWnd* wnd) override;
    void ReleaseWndCapture(CSomWnd* wnd) override;
    LRESULT SendHostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT SendCommand(CSomWnd* sender, WORD code, WORD id) override;
    BOOL PostHostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void SetWndRect(CSomWnd* wnd, int x, int y, int cx, int cy) override;
    void SetWndSize(CSomWnd* wnd, int cx, int cy) override;
    void SetWndPos(CSomWnd* wnd, int x, int y) override;
    void InvalidateWnd(CSomWnd* wnd, const RECT* part, BOOL eraseIfHidden, int partIndex) override;
    UINT AddToolTip(CSomWnd* wnd, DWORD key, const RECT* rect) override;
    void RemoveToolTip(CSomWnd* wnd) override;
    void BeginDeferPaint() override;
    void EndDeferPaint() override;
    int DrawBackground(HDC dc, const RECT* rect) override;
    void DrawWnds(HDC dc, const RECT* rect) override;

    // The message routine a host chains every message it did not consume to.
    BOOL ProcessSomMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // The mouse-move handling on its own, for hosts that start a caption
    // drag and first take the hover look away (lParam 0: client point 0,0).
    BOOL HandleMouseMove(LPARAM lParam, LRESULT& result);

    CSomWnd* HitTest(POINT pt) const;
    CSomWnd* GetHoverWnd() const { return m_pHoverWnd; }
    CSomWnd* GetCaptureWnd() const { return m_pCaptureWnd; }
    HWND GetHostWnd() const { return m_hHostWnd; }
    const std::vector<CSomWnd*>& GetWnds() const { return m_wnds; }

protected:
    void PaintWnd(CSomWnd* wnd, HDC dc, BOOL draw, BOOL erase, BOOL exclude, int partIndex);

    BOOL m_bRedraw = TRUE;
    BOOL m_bPaintNow = TRUE;
    HWND m_hHostWnd = nullptr;
    std::vector<CSomWnd*> m_wnds;
    CSomWnd* m_pCaptureWnd = nullptr;
    CSomWnd* m_pHoverWnd = nullptr;

private:
    void Bind(HWND hwnd);
    void Detach();
    BOOL HandleButton(UINT msg, LPARAM lParam, LRESULT& result);
    void OnPaintMessage(HWND hwnd, WPARAM wParam);
    void OnTimerTick();
    void InvalidateHostRect(const RECT& rect);
};
