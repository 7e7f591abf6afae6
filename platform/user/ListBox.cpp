// The list box control ("ListBox"), drawn by the layer itself so that it
// looks the same on every display backend. A vertical scroll bar (WS_VSCROLL)
// takes the right edge of the control while the lines do not fit.
#include <algorithm>

#include "platform/api/gdi.h"
#include "platform/api/text.h"
#include "platform/user/WindowManager.h"

namespace platform::user {
namespace {

struct Item {
    std::u16string text;
    LPARAM data = 0;
};

struct ListBox {
    std::vector<Item> items;
    int top = 0;
    int sel = -1;
    HFONT font = nullptr;
    int itemHeight = 16;
    bool redraw = true;
    bool draggingThumb = false;
    int dragOffset = 0;
};

constexpr COLORREF kTrack = RGB(240, 240, 240);
constexpr COLORREF kThumb = RGB(192, 192, 192);
constexpr COLORREF kArrow = RGB(96, 96, 96);

std::shared_ptr<ListBox> StateOf(HWND hwnd) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    return w ? std::static_pointer_cast<ListBox>(w->control) : nullptr;
}

int Compare(std::u16string_view a, std::u16string_view b) {
    auto fa = FoldCase(a);
    auto fb = FoldCase(b);
    return fa < fb ? -1 : fa > fb ? 1 : 0;
}

int MeasureItemHeight(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old =
        SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    return std::max<int>(8, tm.tmHeight);
}

struct Layout {
    RECT client{};
    int visible = 0;   // whole lines that fit
    bool bar = false;  // scroll bar shown
    RECT barRect{};
    RECT up{};
    RECT down{};
    RECT thumb{};
};

Layout Compute(HWND hwnd, const ListBox& lb) {
    Layout l;
    GetClientRect(hwnd, &l.client);
    int h = l.client.bottom - l.client.top;
    l.visible = std::max(1, h / lb.itemHeight);
    int count = static_cast<int>(lb.items.size());
    DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    l.bar = (style & WS_VSCROLL) && (count > l.visible || (style & LBS_DISABLENOSCROLL));
    if (!l.bar) {
        return l;
    }
    int w = GetSystemMetrics(SM_CXVSCROLL);
    l.barRect = {l.client.right - w, 0, l.client.right, h};
    l.client.right -= w;
    int arrow = std::min(w, h / 2);
    l.up = {l.barRect.left, 0, l.barRect.right, arrow};
    l.down = {l.barRect.left, h - arrow, l.barRect.right, h};
    int track = h - 2 * arrow;
    if (count > l.visible && track > 0) {
        int thumbH = std::max(8, track * l.visible / count);
        thumbH = std::min(thumbH, track);
        int range = count - l.visible;
        int pos = arrow + (track - thumbH) * lb.top / std::max(1, range);
        l.thumb = {l.barRect.left + 1, pos, l.barRect.right - 1, pos + thumbH};
    }
    return l;
}

void Clamp(HWND hwnd, ListBox& lb) {
    Layout l = Compute(hwnd, lb);
    int maxTop = std::max(0, static_cast<int>(lb.items.size()) - l.visible);
    lb.top = std::clamp(lb.top, 0, maxTop);
}

void Redraw(HWND hwnd, ListBox& lb) {
    if (lb.redraw) {
        InvalidateRect(hwnd, nullptr, TRUE);
    }
}

void Notify(HWND hwnd, WORD code) {
    if (!(GetWindowLongW(hwnd, GWL_STYLE) & LBS_NOTIFY)) {
        return;
    }
    HWND parent = GetParent(hwnd);
    if (parent) {
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), code),
                     reinterpret_cast<LPARAM>(hwnd));
    }
}

void Arrow(HDC dc, const RECT& box, bool upward) {
    HBRUSH b = CreateSolidBrush(kArrow);
    int cx = (box.left + box.right) / 2;
    int cy = (box.top + box.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
        int y = upward ? cy - 2 + i : cy + 1 - i;
        RECT line{cx - i, y, cx + i + 1, y + 1};
        FillRect(dc, &line, b);
    }
    DeleteObject(b);
}

void Paint(HWND hwnd, ListBox& lb, HDC dc) {
    Layout l = Compute(hwnd, lb);
    FillRect(dc, &l.client, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ oldFont = SelectObject(
        dc, lb.font ? static_cast<HGDIOBJ>(lb.font) : GetStockObject(DEFAULT_GUI_FONT));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    for (int i = lb.top; i < static_cast<int>(lb.items.size()); ++i) {
        int y = (i - lb.top) * lb.itemHeight;
        if (y >= l.client.bottom) {
            break;
        }
        RECT row{0, y, l.client.right, y + lb.itemHeight};
        bool selected = i == lb.sel;
        if (selected) {
            FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        }
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT text = row;
        text.left += 2;
        DrawTextW(dc, lb.items[static_cast<size_t>(i)].text.c_str(), -1, &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
    if (!l.bar) {
        return;
    }
    HBRUSH track = CreateSolidBrush(kTrack);
    FillRect(dc, &l.barRect, track);
    DeleteObject(track);
    Arrow(dc, l.up, true);
    Arrow(dc, l.down, false);
    if (!IsRectEmpty(&l.thumb)) {
        HBRUSH thumb = CreateSolidBrush(kThumb);
        FillRect(dc, &l.thumb, thumb);
        DeleteObject(thumb);
    }
}

void ScrollTo(HWND hwnd, ListBox& lb, int top) {
    int old = lb.top;
    lb.top = top;
    Clamp(hwnd, lb);
    if (lb.top != old) {
        Redraw(hwnd, lb);
    }
}

void EnsureVisible(HWND hwnd, ListBox& lb, int index) {
    Layout l = Compute(hwnd, lb);
    if (index < lb.top) {
        ScrollTo(hwnd, lb, index);
    } else if (index >= lb.top + l.visible) {
        ScrollTo(hwnd, lb, index - l.visible + 1);
    }
}

void Select(HWND hwnd, ListBox& lb, int index, bool notify) {
    index = std::clamp(index, -1, static_cast<int>(lb.items.size()) - 1);
    if (index == lb.sel) {
        return;
    }
    lb.sel = index;
    if (index >= 0) {
        EnsureVisible(hwnd, lb, index);
    }
    Redraw(hwnd, lb);
    if (notify) {
        Notify(hwnd, LBN_SELCHANGE);
    }
}

LRESULT Insert(HWND hwnd, ListBox& lb, int index, LPCWSTR text, bool sorted) {
    if (!text) {
        return LB_ERR;
    }
    Item item{std::u16string(platform::View(text)), 0};
    int count = static_cast<int>(lb.items.size());
    if (sorted) {
        index = count;
        for (int i = 0; i < count; ++i) {
            if (Compare(lb.items[static_cast<size_t>(i)].text, item.text) > 0) {
                index = i;
                break;
            }
        }
    } else if (index < 0 || index > count) {
        if (index != -1) {
            return LB_ERR;
        }
        index = count;
    }
    lb.items.insert(lb.items.begin() + index, std::move(item));
    if (lb.sel >= index) {
        ++lb.sel;
    }
    Redraw(hwnd, lb);
    return index;
}

}  // namespace

LRESULT ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto lb = std::make_shared<ListBox>();
        lb->itemHeight = MeasureItemHeight(nullptr);
        std::lock_guard lk(S().mu);
        if (auto w = FindLocked(hwnd)) {
            w->control = lb;
        }
        return TRUE;
    }
    auto lb = StateOf(hwnd);
    if (!lb) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    const int count = static_cast<int>(lb->items.size());
    auto valid = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
    DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    switch (msg) {
        case LB_ADDSTRING:
            return Insert(hwnd, *lb, -1, reinterpret_cast<LPCWSTR>(lParam),
                          (style & LBS_SORT) != 0);
        case LB_INSERTSTRING:
            return Insert(hwnd, *lb, static_cast<int>(wParam), reinterpret_cast<LPCWSTR>(lParam),
                          false);
        case LB_DELETESTRING:
            if (!valid(wParam)) {
                return LB_ERR;
            }
            lb->items.erase(lb->items.begin() + static_cast<std::ptrdiff_t>(wParam));
            if (lb->sel == static_cast<int>(wParam)) {
                lb->sel = -1;
            } else if (lb->sel > static_cast<int>(wParam)) {
                --lb->sel;
            }
            Clamp(hwnd, *lb);
            Redraw(hwnd, *lb);
            return count - 1;
        case LB_RESETCONTENT:
            lb->items.clear();
            lb->sel = -1;
            lb->top = 0;
            Redraw(hwnd, *lb);
            return 0;
        case LB_GETCOUNT:
            return count;
        case LB_GETTEXTLEN:
            return valid(wParam) ? static_cast<LRESULT>(lb->items[wParam].text.size()) : LB_ERR;
        case LB_GETTEXT: {
            if (!valid(wParam) || !lParam) {
                return LB_ERR;
            }
            const auto& t = lb->items[wParam].text;
            auto* out = reinterpret_cast<WCHAR*>(lParam);
            std::copy(t.begin(), t.end(), out);
            out[t.size()] = 0;
            return static_cast<LRESULT>(t.size());
        }
        case LB_GETITEMDATA:
            return valid(wParam) ? lb->items[wParam].data : LB_ERR;
        case LB_SETITEMDATA:
            if (!valid(wParam)) {
                return LB_ERR;
            }
            lb->items[wParam].data = lParam;
            return 0;
        case LB_GETCURSEL:
            return lb->sel;
        case LB_SETCURSEL:
            if (static_cast<int>(wParam) != -1 && !valid(wParam)) {
                Select(hwnd, *lb, -1, false);
                return LB_ERR;
            }
            Select(hwnd, *lb, static_cast<int>(wParam), false);
            return lb->sel;
        case LB_GETTOPINDEX:
            return lb->top;
        case LB_SETTOPINDEX:
            if (!valid(wParam) && !(wParam == 0 && count == 0)) {
                return LB_ERR;
            }
            ScrollTo(hwnd, *lb, static_cast<int>(wParam));
            return 0;
        case LB_GETITEMHEIGHT:
            return lb->itemHeight;
        case LB_FINDSTRING: {
            std::u16string prefix = FoldCase(platform::View(reinterpret_cast<LPCWSTR>(lParam)));
            int start = static_cast<int>(wParam);
            for (int k = 1; k <= count; ++k) {
                int i = (start + k + count) % count;
                if (FoldCase(lb->items[static_cast<size_t>(i)].text).starts_with(prefix)) {
                    return i;
                }
            }
            return LB_ERR;
        }
        case WM_SETFONT:
            lb->font = reinterpret_cast<HFONT>(wParam);
            lb->itemHeight = MeasureItemHeight(lb->font);
            Clamp(hwnd, *lb);
            if (LOWORD(lParam)) {
                Redraw(hwnd, *lb);
            }
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(lb->font);
        case WM_SETREDRAW:
            lb->redraw = wParam != 0;
            if (lb->redraw) {
                InvalidateRect(hwnd, nullptr, TRUE);
            }
            return 0;
        case WM_SIZE:
            Clamp(hwnd, *lb);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc) {
                Paint(hwnd, *lb, dc);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            Layout l = Compute(hwnd, *lb);
            SetFocus(hwnd);
            if (l.bar && PtInRect(&l.barRect, p)) {
                if (PtInRect(&l.up, p)) {
                    ScrollTo(hwnd, *lb, lb->top - 1);
                } else if (PtInRect(&l.down, p)) {
                    ScrollTo(hwnd, *lb, lb->top + 1);
                } else if (PtInRect(&l.thumb, p)) {
                    lb->draggingThumb = true;
                    lb->dragOffset = p.y - l.thumb.top;
                    SetCapture(hwnd);
                } else if (p.y < l.thumb.top) {
                    ScrollTo(hwnd, *lb, lb->top - l.visible);
                } else {
                    ScrollTo(hwnd, *lb, lb->top + l.visible);
                }
                return 0;
            }
            int index = lb->top + p.y / lb->itemHeight;
            if (index < count) {
                Select(hwnd, *lb, index, true);
                if (msg == WM_LBUTTONDBLCLK) {
                    Notify(hwnd, LBN_DBLCLK);
                }
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            if (lb->draggingThumb) {
                Layout l = Compute(hwnd, *lb);
                int arrow = l.up.bottom - l.up.top;
                int thumbH = l.thumb.bottom - l.thumb.top;
                int track = l.barRect.bottom - 2 * arrow - thumbH;
                int range = count - l.visible;
                if (track > 0 && range > 0) {
                    int y = GET_Y_LPARAM(lParam) - lb->dragOffset - arrow;
                    ScrollTo(hwnd, *lb, (y * range + track / 2) / track);
                }
            }
            return 0;
        case WM_LBUTTONUP:
            if (lb->draggingThumb) {
                lb->draggingThumb = false;
                ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            lb->draggingThumb = false;
            return 0;
        case WM_MOUSEWHEEL: {
            int lines = -static_cast<SHORT>(HIWORD(wParam)) / 120 * 3;
            ScrollTo(hwnd, *lb, lb->top + lines);
            return 0;
        }
        case WM_VSCROLL: {
            Layout l = Compute(hwnd, *lb);
            switch (LOWORD(wParam)) {
                case SB_LINEUP:
                    ScrollTo(hwnd, *lb, lb->top - 1);
                    break;
                case SB_LINEDOWN:
                    ScrollTo(hwnd, *lb, lb->top + 1);
                    break;
                case SB_PAGEUP:
                    ScrollTo(hwnd, *lb, lb->top - l.visible);
                    break;
                case SB_PAGEDOWN:
                    ScrollTo(hwnd, *lb, lb->top + l.visible);
                    break;
                case SB_THUMBTRACK:
                    ScrollTo(hwnd, *lb, HIWORD(wParam));
                    break;
                default:
                    break;
            }
            return 0;
        }
        case WM_KEYDOWN: {
            Layout l = Compute(hwnd, *lb);
            int target = lb->sel;
            switch (wParam) {
                case VK_UP:
                    target = lb->sel <= 0 ? 0 : lb->sel - 1;
                    break;
                case VK_DOWN:
                    target = lb->sel + 1;
                    break;
                case VK_HOME:
                    target = 0;
                    break;
                case VK_END:
                    target = count - 1;
                    break;
                case VK_PRIOR:
                    target = std::max(0, lb->sel - l.visible);
                    break;
                case VK_NEXT:
                    target = lb->sel + l.visible;
                    break;
                default:
                    return 0;
            }
            if (count > 0) {
                Select(hwnd, *lb, std::min(target, count - 1), true);
            }
            return 0;
        }
        case WM_NCDESTROY: {
            std::lock_guard lk(S().mu);
            if (auto w = FindLocked(hwnd)) {
                w->control.reset();
            }
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace platform::user
