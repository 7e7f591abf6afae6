#include "skin/SomWnd.h"

#include <algorithm>
#include <new>

namespace {

// Mouse messages carry the client point as two unsigned 16-bit halves.
POINT PointFromLParam(LPARAM lParam) {
    auto v = static_cast<DWORD_PTR>(lParam);
    return POINT{static_cast<LONG>(v & 0xFFFF), static_cast<LONG>((v >> 16) & 0xFFFF)};
}

bool Contains(const RECT& r, POINT pt) {
    return r.left <= pt.x && pt.x < r.right && r.top <= pt.y && pt.y < r.bottom;
}

POINT Local(const CSomWnd* wnd, POINT pt) {
    return POINT{pt.x - wnd->m_rect.left, pt.y - wnd->m_rect.top};
}

// Transparent controls up to this size are composed off-screen.
constexpr int kBufferWidth = 1024;
constexpr int kBufferHeight = 128;

}  // namespace

// ---- CSomWnd ----

CSomWnd::~CSomWnd() {
    if (m_pManager) {
        m_pManager->RemoveWnd(this);
    }
}

BOOL CSomWnd::Create(ISomWndManager* manager, DWORD style, int id, const RECT& rect) {
    m_pManager = manager;
    m_style = style;
    m_id = id;
    m_rect = rect;
    BOOL added = manager ? manager->AddWnd(this) : FALSE;
    OnCreate();
    OnMove(m_rect.left, m_rect.top);
    OnSize(m_rect.right - m_rect.left, m_rect.bottom - m_rect.top);
    return added;
}

void CSomWnd::ShowWnd(BOOL show) {
    bool visible = (m_style & SWS_VISIBLE) != 0;
    if (visible == (show != FALSE)) {
        return;
    }
    if (show) {
        m_style |= SWS_VISIBLE;
    } else {
        m_style &= ~SWS_VISIBLE;
    }
    if (m_pManager) {
        m_pManager->InvalidateWnd(this, nullptr, TRUE, 0);
    }
}

void CSomWnd::EnableWnd(BOOL enable) {
    bool enabled = (m_style & SWS_DISABLED) == 0;
    if (enabled == (enable != FALSE)) {
        return;
    }
    if (enable) {
        m_style &= ~SWS_DISABLED;
    } else {
        m_style |= SWS_DISABLED;
    }
    if (m_pManager) {
        m_pManager->InvalidateWnd(this, nullptr, FALSE, 0);
    }
}

void CSomWnd::Invalidate() {
    if (m_pManager) {
        m_pManager->InvalidateWnd(this, nullptr, FALSE, 0);
    }
}

// ---- CSomToolTipAdpater ----

UINT CSomToolTipAdpater::AddTool(HWND owner, CSomWnd* wnd, DWORD key, const RECT* rect) {
    auto& keys = m_toolsByWnd[wnd];
    if (keys.count(key)) {
        return 0;
    }
    UINT id = 1;
    for (const auto& entry : m_toolsById) {
        if (entry.first != id) {
            break;
        }
        ++id;
    }
    ToolInfo info;
    info.wnd = wnd;
    info.key = key;
    if (rect) {
        info.rect = *rect;
    } else {
        info.rect.left = static_cast<LONG>(0x80000000u);
    }
    m_toolsById[id] = info;
    keys[key] = id;
    // A tool-tip window would learn of the tool here (TTM_ADDTOOLW); none is
    // ever created, so the registry only answers text requests.
    (void)owner;
    return id;
}

void CSomToolTipAdpater::RemoveTools(CSomWnd* wnd) {
    auto it = m_toolsByWnd.find(wnd);
    if (it == m_toolsByWnd.end()) {
        return;
    }
    for (const auto& entry : it->second) {
        m_toolsById.erase(entry.second);
    }
    m_toolsByWnd.erase(it);
}

const CSomToolTipAdpater::ToolInfo* CSomToolTipAdpater::FindTool(UINT id) const {
    auto it = m_toolsById.find(id);
    return it == m_toolsById.end() ? nullptr : &it->second;
}

// ---- CSomWndManager: list, capture, commands ----

BOOL CSomWndManager::AddWnd(CSomWnd* wnd) {
    try {
        m_wnds.push_back(wnd);
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    return TRUE;
}

BOOL CSomWndManager::RemoveWnd(CSomWnd* wnd) {
    if (wnd && wnd == m_pCaptureWnd) {
        ReleaseWndCapture(wnd);
        if (m_pCaptureWnd == wnd) {
            // The host did not hold the system capture: no WM_CAPTURECHANGED came.
            m_pCaptureWnd = nullptr;
            wnd->OnCaptureLost();
        }
    }
    if (wnd && wnd == m_pHoverWnd) {
        m_pHoverWnd = nullptr;
        wnd->OnMouseLeave();
    }
    auto it = std::find(m_wnds.begin(), m_wnds.end(), wnd);
    if (it == m_wnds.end()) {
        return FALSE;
    }
    m_wnds.erase(it);
    return TRUE;
}

void CSomWndManager::SetWndCapture(CSomWnd* wnd) {
    if (CSomWnd* old = m_pCaptureWnd) {
        m_pCaptureWnd = nullptr;
        old->OnCaptureLost();
    }
    m_pCaptureWnd = wnd;
    if (m_hHostWnd && GetCapture() != m_hHostWnd) {
        SetCapture(m_hHostWnd);
    }
}

void CSomWndManager::ReleaseWndCapture(CSomWnd* wnd) {
    if (wnd && wnd == m_pCaptureWnd) {
        ReleaseCapture();  // WM_CAPTURECHANGED ends the control's capture
    }
}

LRESULT CSomWndManager::SendHostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(m_hHostWnd, msg, wParam, lParam);
}

LRESULT CSomWndManager::SendCommand(CSomWnd* sender, WORD code, WORD id) {
    return SendMessageW(m_hHostWnd, WM_COMMAND, MAKEWPARAM(id, code),
                        reinterpret_cast<LPARAM>(sender));
}

BOOL CSomWndManager::PostHostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(m_hHostWnd, msg, wParam, lParam);
}

// ---- Geometry ----

void CSomWndManager::InvalidateHostRect(const RECT& rect) {
    if (m_hHostWnd) {
        InvalidateRect(m_hHostWnd, &rect, FALSE);
    }
}

void CSomWndManager::SetWndRect(CSomWnd* wnd, int x, int y, int cx, int cy) {
    RECT& r = wnd->m_rect;
    bool moved = r.left != x || r.top != y;
    bool sized = r.right - r.left != cx || r.bottom - r.top != cy;
    if (!moved && !sized) {
        return;
    }
    bool visible = (wnd->m_style & SWS_VISIBLE) != 0;
    if (visible) {
        InvalidateHostRect(r);
    }
    r = RECT{x, y, x + cx, y + cy};
    if (moved) {
        wnd->OnMove(x, y);
    }
    if (sized) {
        wnd->OnSize(cx, cy);
    }
    if (visible) {
        InvalidateHostRect(wnd->m_rect);
        if (m_bPaintNow && m_hHostWnd) {
            UpdateWindow(m_hHostWnd);
        }
    }
}

void CSomWndManager::SetWndSize(CSomWnd* wnd, int cx, int cy) {
    RECT& r = wnd->m_rect;
    if (r.right - r.left == cx && r.bottom - r.top == cy) {
        return;
    }
    bool visible = (wnd->m_style & SWS_VISIBLE) != 0;
    if (visible) {
        InvalidateHostRect(r);
    }
    r.right = r.left + cx;
    r.bottom = r.top + cy;
    wnd->OnSize(cx, cy);
    if (visible) {
        InvalidateHostRect(wnd->m_rect);
        if (m_bPaintNow && m_hHostWnd) {
            UpdateWindow(m_hHostWnd);
        }
    }
}

void CSomWndManager::SetWndPos(CSomWnd* wnd, int x, int y) {
    RECT& r = wnd->m_rect;
    if (r.left == x && r.top == y) {
        return;
    }
    bool visible = (wnd->m_style & SWS_VISIBLE) != 0;
    if (visible) {
        InvalidateHostRect(r);
    }
    OffsetRect(&r, x - r.left, y - r.top);
    wnd->OnMove(x, y);
    if (visible) {
        InvalidateHostRect(wnd->m_rect);
        if (m_bPaintNow && m_hHostWnd) {
            UpdateWindow(m_hHostWnd);
        }
    }
}

// ---- Painting ----

void CSomWndManager::InvalidateWnd(CSomWnd* wnd, const RECT* part, BOOL eraseIfHidden,
                                   int partIndex) {
    // Without a host there is nothing that may be painted.
    if (!m_bRedraw || !m_hHostWnd || !wnd) {
        return;
    }
    BOOL draw;
    BOOL erase;
    if (wnd->m_style & SWS_VISIBLE) {
        draw = TRUE;
        erase = (wnd->m_style & SWS_TRANSPARENT) ? TRUE : FALSE;
    } else {
        if (!eraseIfHidden) {
            return;
        }
        draw = FALSE;
        erase = TRUE;
    }
    RECT area = wnd->m_rect;
    if (part) {
        RECT moved = *part;
        OffsetRect(&moved, wnd->m_rect.left, wnd->m_rect.top);
        if (!IntersectRect(&area, &wnd->m_rect, &moved)) {
            return;
        }
    } else if (IsRectEmpty(&area)) {
        return;
    }
    if (m_bPaintNow) {
        HDC dc = GetDC(m_hHostWnd);
        if (!dc) {
            return;
        }
        IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
        PaintWnd(wnd, dc, draw, erase, FALSE, partIndex);
        ReleaseDC(m_hHostWnd, dc);
    } else {
        InvalidateRect(m_hHostWnd, &area, FALSE);
    }
}

void CSomWndManager::PaintWnd(CSomWnd* wnd, HDC dc, BOOL draw, BOOL erase, BOOL exclude,
                              int partIndex) {
    RECT r = wnd->m_rect;
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    HDC target = dc;
    HDC buffer = nullptr;
    HBITMAP bufferBitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    if (erase) {
        if (draw && width <= kBufferWidth && height <= kBufferHeight) {
            HDC screen = GetDC(nullptr);
            buffer = CreateCompatibleDC(screen);
            if (buffer) {
                bufferBitmap = CreateCompatibleBitmap(screen, kBufferWidth, kBufferHeight);
                if (bufferBitmap) {
                    oldBitmap = SelectObject(buffer, bufferBitmap);
                    SetViewportOrgEx(buffer, -r.left, -r.top, nullptr);
                    target = buffer;
                } else {
                    DeleteDC(buffer);
                    buffer = nullptr;
                }
            }
            ReleaseDC(nullptr, screen);
        }
        DrawBackground(target, &r);
    }
    if (draw) {
        if (target == dc) {
            POINT old{};
            OffsetViewportOrgEx(dc, r.left, r.top, &old);
            wnd->OnPaint(dc, -1, partIndex);
            SetViewportOrgEx(dc, old.x, old.y, nullptr);
        } else {
            SetViewportOrgEx(buffer, 0, 0, nullptr);
            wnd->OnPaint(buffer, -1, partIndex);
            BitBlt(dc, r.left, r.top, width, height, buffer, 0, 0, SRCCOPY);
        }
        if (exclude) {
            ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
        }
    }
    if (buffer) {
        SelectObject(buffer, oldBitmap);
        DeleteObject(bufferBitmap);
        DeleteDC(buffer);
    }
}

void CSomWndManager::DrawWnds(HDC dc, const RECT* rect) {
    for (size_t i = 0; i < m_wnds.size(); ++i) {
        CSomWnd* wnd = m_wnds[i];
        RECT overlap;
        if ((wnd->m_style & SWS_VISIBLE) && IntersectRect(&overlap, &wnd->m_rect, rect)) {
            PaintWnd(wnd, dc, TRUE, (wnd->m_style & SWS_TRANSPARENT) ? TRUE : FALSE, TRUE, 0);
        }
    }
}

int CSomWndManager::DrawBackground(HDC dc, const RECT* rect) {
    if (!m_hHostWnd) {
        return 0;
    }
    auto brush = reinterpret_cast<HBRUSH>(GetClassLongPtrW(m_hHostWnd, GCLP_HBRBACKGROUND));
    if (!brush) {
        return 0;
    }
    auto index = reinterpret_cast<ULONG_PTR>(brush);
    if (index > 0 && index <= 31) {  // a system colour index + 1
        brush = GetSysColorBrush(static_cast<int>(index - 1));
    }
    RECT r;
    if (rect) {
        r = *rect;
    } else {
        GetClipBox(dc, &r);
    }
    return FillRect(dc, &r, brush);
}

void CSomWndManager::OnPaintMessage(HWND hwnd, WPARAM wParam) {
    RECT rect{};
    if (wParam) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        GetClipBox(dc, &rect);
        DrawWnds(dc, &rect);
        DrawBackground(dc, &rect);
        return;
    }
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc) {
        rect = ps.rcPaint;
        DrawWnds(dc, &rect);
        DrawBackground(dc, &rect);
    }
    EndPaint(hwnd, &ps);
}

void CSomWndManager::BeginDeferPaint() {
    m_bPaintNow = FALSE;
}

void CSomWndManager::EndDeferPaint() {
    m_bPaintNow = TRUE;
    if (m_bRedraw && m_hHostWnd) {
        UpdateWindow(m_hHostWnd);
    }
}

// ---- Tool tips ----

UINT CSomWndManager::AddToolTip(CSomWnd* wnd, DWORD key, const RECT* rect) {
    return AddTool(m_hHostWnd, wnd, key, rect);
}

void CSomWndManager::RemoveToolTip(CSomWnd* wnd) {
    RemoveTools(wnd);
}

// ---- Mouse ----

CSomWnd* CSomWndManager::HitTest(POINT pt) const {
    for (CSomWnd* wnd : m_wnds) {
        if ((wnd->m_style & SWS_VISIBLE) && !(wnd->m_style & SWS_DISABLED) &&
            Contains(wnd->m_rect, pt)) {
            return wnd;
        }
    }
    return nullptr;
}

BOOL CSomWndManager::HandleButton(UINT msg, LPARAM lParam, LRESULT& result) {
    POINT pt = PointFromLParam(lParam);
    auto call = [msg](CSomWnd* wnd, POINT* local) -> BOOL {
        switch (msg) {
            case WM_LBUTTONDOWN:
                return wnd->OnLButtonDown(local);
            case WM_LBUTTONUP:
                return wnd->OnLButtonUp(local);
            default:
                return wnd->OnLButtonDblClk(local);
        }
    };
    if (CSomWnd* capture = m_pCaptureWnd) {
        POINT local = Local(capture, pt);
        result = call(capture, &local);
        return TRUE;
    }
    result = 0;
    if (CSomWnd* hit = HitTest(pt)) {
        POINT local = Local(hit, pt);
        return call(hit, &local) ? TRUE : FALSE;
    }
    return FALSE;
}

BOOL CSomWndManager::HandleMouseMove(LPARAM lParam, LRESULT& result) {
    POINT pt = PointFromLParam(lParam);
    if (CSomWnd* capture = m_pCaptureWnd) {
        POINT local = Local(capture, pt);
        bool inside = Contains(capture->m_rect, pt);
        if (inside && !m_pHoverWnd) {
            m_pHoverWnd = capture;
            capture->OnMouseEnter(&local);
        } else if (!inside && capture == m_pHoverWnd) {
            m_pHoverWnd = nullptr;
            capture->OnMouseLeave();
        }
        result = capture->OnMouseMove(&local);
        return TRUE;
    }
    result = 0;
    CSomWnd* hit = HitTest(pt);
    if (hit != m_pHoverWnd) {
        CSomWnd* old = m_pHoverWnd;
        m_pHoverWnd = hit;
        if (old) {
            old->OnMouseLeave();
        }
        if (hit) {
            POINT local = Local(hit, pt);
            hit->OnMouseEnter(&local);
        }
    }
    if (hit) {
        POINT local = Local(hit, pt);
        hit->OnMouseMove(&local);
        return FALSE;
    }
    return TRUE;
}

void CSomWndManager::OnTimerTick() {
    if (m_pHoverWnd && !m_pCaptureWnd) {
        POINT pt{};
        GetCursorPos(&pt);
        RECT client{};
        GetClientRect(m_hHostWnd, &client);
        MapWindowPoints(m_hHostWnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
        if (!Contains(client, pt) || WindowFromPoint(pt) != m_hHostWnd) {
            CSomWnd* old = m_pHoverWnd;
            m_pHoverWnd = nullptr;
            old->OnMouseLeave();
        }
    }
    for (size_t i = 0; i < m_wnds.size(); ++i) {
        m_wnds[i]->OnTimer();
    }
}

// ---- Binding ----

void CSomWndManager::Bind(HWND hwnd) {
    m_hHostWnd = hwnd;
    SetTimer(hwnd, SOM_TIMER_ID, 100, nullptr);
}

void CSomWndManager::Detach() {
    if (m_hHostWnd) {
        KillTimer(m_hHostWnd, SOM_TIMER_ID);
    }
    if (CSomWnd* hover = m_pHoverWnd) {
        m_pHoverWnd = nullptr;
        hover->OnMouseLeave();
    }
    if (CSomWnd* capture = m_pCaptureWnd) {
        m_pCaptureWnd = nullptr;
        capture->OnCaptureLost();
    }
    std::vector<CSomWnd*> wnds;
    wnds.swap(m_wnds);
    for (CSomWnd* wnd : wnds) {
        wnd->OnDestroy();
        wnd->m_style = 0;
        wnd->m_id = 0;
        wnd->m_rect = RECT{};
        wnd->m_pManager = nullptr;
    }
    m_toolsById.clear();
    m_toolsByWnd.clear();
    m_bRedraw = TRUE;
    m_bPaintNow = TRUE;
    m_hHostWnd = nullptr;
}

BOOL CSomWndManager::ProcessSomMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                       LRESULT& result) {
    // The last messages of a window must not bind the manager to it again.
    if (!m_hHostWnd && msg != WM_DESTROY && msg != WM_NCDESTROY) {
        Bind(hwnd);
    }
    switch (msg) {
        case WM_DESTROY:
            result = 0;
            Detach();
            return FALSE;
        case WM_SETREDRAW:
            result = 0;
            m_bRedraw = wParam ? TRUE : FALSE;
            return FALSE;
        case WM_PAINT:
        case WM_PRINTCLIENT:
            OnPaintMessage(hwnd, wParam);
            result = 0;
            return TRUE;
        case WM_ERASEBKGND:
            result = 1;
            return TRUE;
        case WM_SETCURSOR: {
            POINT pt{};
            GetCursorPos(&pt);
            ScreenToClient(m_hHostWnd, &pt);
            CSomWnd* wnd = m_pCaptureWnd ? m_pCaptureWnd : HitTest(pt);
            if (!wnd) {
                return FALSE;
            }
            POINT local = Local(wnd, pt);
            BOOL set = wnd->OnSetCursor(&local);
            if (!set) {
                return FALSE;
            }
            result = set;
            return TRUE;
        }
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lParam);
            if (!hdr || hdr->code != TTN_GETDISPINFOW) {
                return FALSE;
            }
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            if (info->uFlags & TTF_IDISHWND) {
                return FALSE;
            }
            if (const ToolInfo* tool = FindTool(static_cast<UINT>(hdr->idFrom))) {
                tool->wnd->OnGetToolTipText(tool->key, info);
            }
            result = 0;
            return TRUE;
        }
        case WM_TIMER:
            if (wParam != SOM_TIMER_ID) {
                return FALSE;
            }
            OnTimerTick();
            result = 1;
            return TRUE;
        case WM_MOUSEMOVE:
            return HandleMouseMove(lParam, result);
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
            return HandleButton(msg, lParam, result);
        case WM_CAPTURECHANGED:
            if (CSomWnd* capture = m_pCaptureWnd) {
                m_pCaptureWnd = nullptr;
                capture->OnCaptureLost();
                result = 0;
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}
