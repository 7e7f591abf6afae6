// System metrics and monitors, from the display backend.
#include <algorithm>
#include <climits>

#include "platform/api/errors.h"
#include "platform/user/WindowManager.h"

namespace {
namespace backend = platform::backend;

std::vector<backend::Monitor> Monitors() {
    auto m = backend::Get().Monitors();
    if (m.empty()) {
        m.push_back({{0, 0, 1920, 1080}, {0, 0, 1920, 1080}, true});
    }
    return m;
}

// Monitor handles are 1-based indexes into the backend's list.
HMONITOR Handle(size_t index) {
    return reinterpret_cast<HMONITOR>(index + 1);
}

long long DistanceSq(const RECT& r, POINT p) {
    long long dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
    long long dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
    return dx * dx + dy * dy;
}

HMONITOR FromRect(const RECT& r, DWORD flags) {
    auto ms = Monitors();
    long long bestArea = 0;
    size_t best = SIZE_MAX;
    for (size_t i = 0; i < ms.size(); ++i) {
        RECT x;
        if (IntersectRect(&x, &r, &ms[i].bounds)) {
            long long area = static_cast<long long>(x.right - x.left) * (x.bottom - x.top);
            if (area > bestArea) {
                bestArea = area;
                best = i;
            }
        }
    }
    if (best != SIZE_MAX) {
        return Handle(best);
    }
    if (flags == MONITOR_DEFAULTTONULL) {
        return nullptr;
    }
    if (flags == MONITOR_DEFAULTTOPRIMARY) {
        for (size_t i = 0; i < ms.size(); ++i) {
            if (ms[i].primary) {
                return Handle(i);
            }
        }
        return Handle(0);
    }
    POINT c{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    size_t nearest = 0;
    for (size_t i = 1; i < ms.size(); ++i) {
        if (DistanceSq(ms[i].bounds, c) < DistanceSq(ms[nearest].bounds, c)) {
            nearest = i;
        }
    }
    return Handle(nearest);
}

const backend::Monitor& Primary(const std::vector<backend::Monitor>& ms) {
    for (auto& m : ms) {
        if (m.primary) {
            return m;
        }
    }
    return ms.front();
}
}  // namespace

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
        case SM_CYSCREEN: {
            auto ms = Monitors();
            const RECT& b = Primary(ms).bounds;
            return index == SM_CXSCREEN ? b.right - b.left : b.bottom - b.top;
        }
        case SM_CXFULLSCREEN:
        case SM_CYFULLSCREEN: {
            auto ms = Monitors();
            const RECT& w = Primary(ms).work;
            return index == SM_CXFULLSCREEN ? w.right - w.left : w.bottom - w.top;
        }
        case SM_XVIRTUALSCREEN:
        case SM_YVIRTUALSCREEN:
        case SM_CXVIRTUALSCREEN:
        case SM_CYVIRTUALSCREEN: {
            RECT all{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
            for (auto& m : Monitors()) {
                all.left = std::min(all.left, m.bounds.left);
                all.top = std::min(all.top, m.bounds.top);
                all.right = std::max(all.right, m.bounds.right);
                all.bottom = std::max(all.bottom, m.bounds.bottom);
            }
            switch (index) {
                case SM_XVIRTUALSCREEN:
                    return all.left;
                case SM_YVIRTUALSCREEN:
                    return all.top;
                case SM_CXVIRTUALSCREEN:
                    return all.right - all.left;
                default:
                    return all.bottom - all.top;
            }
        }
        case SM_CMONITORS:
            return static_cast<int>(Monitors().size());
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
        case SM_CYVSCROLL:
        case SM_CYVTHUMB:
            return 17;
        case SM_CYCAPTION:
            return 23;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXICON:
        case SM_CYICON:
        case SM_CXCURSOR:
        case SM_CYCURSOR:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CXDOUBLECLK:
        case SM_CYDOUBLECLK:
            return 4;
        case SM_CXDRAG:
        case SM_CYDRAG:
            return 4;
        default:
            return 0;
    }
}

HMONITOR MonitorFromRect(LPCRECT rect, DWORD flags) {
    if (!rect) {
        return nullptr;
    }
    RECT r = *rect;
    if (r.right <= r.left) {
        r.right = r.left + 1;
    }
    if (r.bottom <= r.top) {
        r.bottom = r.top + 1;
    }
    return FromRect(r, flags);
}

HMONITOR MonitorFromPoint(POINT point, DWORD flags) {
    RECT r{point.x, point.y, point.x + 1, point.y + 1};
    return FromRect(r, flags);
}

HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags) {
    RECT r;
    if (!GetWindowRect(hwnd, &r)) {
        return flags == MONITOR_DEFAULTTONULL ? nullptr : FromRect({0, 0, 1, 1}, flags);
    }
    return MonitorFromRect(&r, flags);
}

BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info) {
    if (!info || info->cbSize < sizeof(MONITORINFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto ms = Monitors();
    auto index = reinterpret_cast<std::uintptr_t>(monitor);
    if (index == 0 || index > ms.size()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const auto& m = ms[index - 1];
    info->rcMonitor = m.bounds;
    info->rcWork = m.work;
    info->dwFlags = m.primary ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}
