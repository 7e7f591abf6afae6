// The in-memory display backend and its test interface.
#include "platform/backend/headless/HeadlessBackend.h"

#include <algorithm>
#include <chrono>

#include "platform/backend/headless/Headless.h"
#include "platform/user/WindowManager.h"

namespace platform::backend::headless {

HeadlessBackend::HeadlessBackend() {
    monitors.push_back({{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, true});
}

HeadlessBackend& Instance() {
    return dynamic_cast<HeadlessBackend&>(Get());
}

std::vector<Monitor> HeadlessBackend::Monitors() {
    std::lock_guard lk(mu);
    return monitors;
}

POINT HeadlessBackend::PointerPosition() {
    std::lock_guard lk(mu);
    return pointer;
}

void HeadlessBackend::SetPointerPosition(POINT screen) {
    std::lock_guard lk(mu);
    pointer = screen;
}

void HeadlessBackend::SetCursorShape(CursorShape shape) {
    std::lock_guard lk(mu);
    cursor = shape;
}

void HeadlessBackend::GrabPointer(HWND) {
    std::lock_guard lk(mu);
    grabbed = true;
}

void HeadlessBackend::UngrabPointer() {
    std::lock_guard lk(mu);
    grabbed = false;
}

bool HeadlessBackend::CreateWindow(const NativeWindowParams& p) {
    std::lock_guard lk(mu);
    NativeWindow w;
    w.rect = p.rect;
    w.title = p.title;
    w.layered = p.layered;
    windows[p.hwnd] = w;
    return true;
}

void HeadlessBackend::DestroyWindow(HWND hwnd) {
    std::lock_guard lk(mu);
    windows.erase(hwnd);
}

void HeadlessBackend::SetWindowRect(HWND hwnd, const RECT& r) {
    std::lock_guard lk(mu);
    auto it = windows.find(hwnd);
    if (it != windows.end()) {
        it->second.rect = r;
    }
}

void HeadlessBackend::ShowWindow(HWND hwnd, ShowMode mode) {
    std::lock_guard lk(mu);
    auto it = windows.find(hwnd);
    if (it == windows.end()) {
        return;
    }
    switch (mode) {
        case ShowMode::Hide:
            it->second.shown = false;
            break;
        case ShowMode::Show:
        case ShowMode::ShowNoActivate:
            it->second.shown = true;
            break;
        case ShowMode::Minimize:
            it->second.shown = true;
            it->second.minimized = true;
            break;
        case ShowMode::Restore:
            it->second.shown = true;
            it->second.minimized = false;
            break;
    }
}

void HeadlessBackend::SetTitle(HWND hwnd, std::u16string_view title) {
    std::lock_guard lk(mu);
    auto it = windows.find(hwnd);
    if (it != windows.end()) {
        it->second.title = std::u16string(title);
    }
}

void HeadlessBackend::Present(HWND hwnd, cairo_surface_t*, const RECT&) {
    std::lock_guard lk(mu);
    auto it = windows.find(hwnd);
    if (it != windows.end()) {
        ++it->second.presents;
    }
}

void HeadlessBackend::PresentLayered(HWND hwnd, cairo_surface_t*, BYTE opacity) {
    std::lock_guard lk(mu);
    auto it = windows.find(hwnd);
    if (it != windows.end()) {
        ++it->second.presents;
        it->second.opacity = opacity;
    }
}

bool HeadlessBackend::AddTrayIcon(const TrayIcon& icon) {
    std::lock_guard lk(mu);
    for (auto& t : trayIcons) {
        if (t.owner == icon.owner && t.id == icon.id) {
            return false;
        }
    }
    trayIcons.push_back(icon);
    trayIcons.back().image = nullptr;  // the pixels are not kept
    return true;
}

bool HeadlessBackend::ModifyTrayIcon(const TrayIcon& icon) {
    std::lock_guard lk(mu);
    for (auto& t : trayIcons) {
        if (t.owner == icon.owner && t.id == icon.id) {
            t = icon;
            t.image = nullptr;
            return true;
        }
    }
    return false;
}

bool HeadlessBackend::RemoveTrayIcon(HWND owner, UINT id) {
    std::lock_guard lk(mu);
    auto n =
        std::erase_if(trayIcons, [&](const TrayIcon& t) { return t.owner == owner && t.id == id; });
    return n > 0;
}

UINT HeadlessBackend::TrackPopupMenu(const std::vector<MenuItem>& items, POINT, HWND) {
    std::lock_guard lk(mu);
    lastMenu = items;
    return menuChoice;
}

void HeadlessBackend::Wait(int timeoutMs) {
    std::unique_lock lk(mu);
    if (!woken_) {
        if (timeoutMs < 0) {
            cv_.wait(lk, [&] { return woken_; });
        } else {
            cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return woken_; });
        }
    }
    woken_ = false;
}

void HeadlessBackend::Wake() {
    std::lock_guard lk(mu);
    woken_ = true;
    cv_.notify_all();
}

}  // namespace platform::backend::headless

namespace platform::headless {
using backend::headless::Instance;

namespace {
void Inject(backend::PointerKind kind, backend::Button button, int x, int y, int delta = 0) {
    platform::user::EnsureSystemClasses();
    Instance().SetPointerPosition({x, y});
    if (auto* sink = backend::GetEventSink()) {
        sink->OnPointer(nullptr, {kind, button, {x, y}, delta});
    }
}
}  // namespace

void SetScreen(int width, int height) {
    SetMonitors({{{0, 0, width, height}, {0, 0, width, height - 40}, true}});
}

void SetMonitors(const std::vector<backend::Monitor>& monitors) {
    std::lock_guard lk(Instance().mu);
    Instance().monitors = monitors;
}

void SetPointer(int x, int y) {
    Instance().SetPointerPosition({x, y});
}

void MouseMove(int x, int y) {
    Inject(backend::PointerKind::Move, backend::Button::None, x, y);
}
void MouseDown(int x, int y, backend::Button button) {
    Inject(backend::PointerKind::Down, button, x, y);
}
void MouseUp(int x, int y, backend::Button button) {
    Inject(backend::PointerKind::Up, button, x, y);
}
void Wheel(int x, int y, int delta) {
    Inject(backend::PointerKind::Wheel, backend::Button::None, x, y, delta);
}

void KeyPress(UINT vk, bool alt) {
    platform::user::EnsureSystemClasses();
    if (auto* sink = backend::GetEventSink()) {
        sink->OnKey(vk, true, alt);
        sink->OnKey(vk, false, alt);
    }
}

void RequestClose(HWND hwnd) {
    platform::user::EnsureSystemClasses();
    if (auto* sink = backend::GetEventSink()) {
        sink->OnCloseRequest(hwnd);
    }
}

std::optional<std::uint32_t> Pixel(HWND hwnd, int x, int y) {
    using namespace platform::user;
    std::lock_guard lk(S().mu);
    auto win = FindLocked(hwnd);
    if (!win) {
        return std::nullopt;
    }
    auto root = FindLocked(RootLocked(hwnd));
    if (!root) {
        return std::nullopt;
    }
    POINT origin{};
    VisibleClientInRootLocked(*win, &origin);
    cairo_surface_t* s = root->surface;
    if ((root->exStyle & WS_EX_LAYERED) && root->layeredImage) {
        s = root->layeredImage;  // a layered window shows only its given picture
    }
    if (!s) {
        return std::nullopt;
    }
    int sx = x + origin.x;
    int sy = y + origin.y;
    if (sx < 0 || sy < 0 || sx >= cairo_image_surface_get_width(s) ||
        sy >= cairo_image_surface_get_height(s)) {
        return std::nullopt;
    }
    cairo_surface_flush(s);
    const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(s) +
                                                             static_cast<size_t>(sy) *
                                                                 cairo_image_surface_get_stride(s));
    return row[sx];
}

std::optional<COLORREF> PixelColor(HWND hwnd, int x, int y) {
    auto p = Pixel(hwnd, x, y);
    if (!p) {
        return std::nullopt;
    }
    return RGB(static_cast<BYTE>(*p >> 16), static_cast<BYTE>(*p >> 8), static_cast<BYTE>(*p));
}

backend::CursorShape Cursor() {
    std::lock_guard lk(Instance().mu);
    return Instance().cursor;
}

int PresentCount(HWND hwnd) {
    std::lock_guard lk(Instance().mu);
    auto it = Instance().windows.find(hwnd);
    return it == Instance().windows.end() ? 0 : it->second.presents;
}

bool IsShown(HWND hwnd) {
    std::lock_guard lk(Instance().mu);
    auto it = Instance().windows.find(hwnd);
    return it != Instance().windows.end() && it->second.shown;
}

bool IsMinimized(HWND hwnd) {
    std::lock_guard lk(Instance().mu);
    auto it = Instance().windows.find(hwnd);
    return it != Instance().windows.end() && it->second.minimized;
}

RECT NativeRect(HWND hwnd) {
    std::lock_guard lk(Instance().mu);
    auto it = Instance().windows.find(hwnd);
    return it == Instance().windows.end() ? RECT{} : it->second.rect;
}

int LayeredOpacity(HWND hwnd) {
    std::lock_guard lk(Instance().mu);
    auto it = Instance().windows.find(hwnd);
    return it == Instance().windows.end() ? -1 : it->second.opacity;
}

bool PointerGrabbed() {
    std::lock_guard lk(Instance().mu);
    return Instance().grabbed;
}

std::vector<backend::TrayIcon> TrayIcons() {
    std::lock_guard lk(Instance().mu);
    return Instance().trayIcons;
}

void ScriptMenuChoice(UINT id) {
    std::lock_guard lk(Instance().mu);
    Instance().menuChoice = id;
}

std::vector<backend::MenuItem> LastMenu() {
    std::lock_guard lk(Instance().mu);
    return Instance().lastMenu;
}

}  // namespace platform::headless
