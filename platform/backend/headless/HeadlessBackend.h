#pragma once
// The in-memory display: nothing is shown, everything is recorded for tests.
#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/backend/Backend.h"

namespace platform::backend::headless {

struct NativeWindow {
    RECT rect{};
    std::u16string title;
    bool shown = false;
    bool minimized = false;
    bool layered = false;
    int presents = 0;
    BYTE opacity = 255;
};

class HeadlessBackend : public Backend {
public:
    HeadlessBackend();
    const char* Name() const override { return "headless"; }

    std::vector<Monitor> Monitors() override;
    POINT PointerPosition() override;
    void SetPointerPosition(POINT screen) override;
    void SetCursorShape(CursorShape shape) override;
    void GrabPointer(HWND topLevel) override;
    void UngrabPointer() override;
    bool BeginMoveDrag(HWND, POINT) override { return false; }

    bool CreateWindow(const NativeWindowParams& params) override;
    void DestroyWindow(HWND hwnd) override;
    void SetWindowRect(HWND hwnd, const RECT& screenRect) override;
    void ShowWindow(HWND hwnd, ShowMode mode) override;
    void SetTitle(HWND hwnd, std::u16string_view title) override;
    void Activate(HWND) override {}
    void Present(HWND hwnd, cairo_surface_t* surface, const RECT& area) override;
    void PresentLayered(HWND hwnd, cairo_surface_t* image, BYTE opacity) override;

    void* CreateNativeChild(HWND, HWND, const RECT&) override { return nullptr; }
    void SetNativeChildRect(HWND, const RECT&, bool) override {}
    void DestroyNativeChild(HWND) override {}

    bool AddTrayIcon(const TrayIcon& icon) override;
    bool ModifyTrayIcon(const TrayIcon& icon) override;
    bool RemoveTrayIcon(HWND owner, UINT id) override;
    UINT TrackPopupMenu(const std::vector<MenuItem>& items, POINT screen, HWND owner) override;

    void Wait(int timeoutMs) override;
    void Wake() override;

    // For the test interface.
    std::mutex mu;
    std::vector<Monitor> monitors;
    POINT pointer{0, 0};
    CursorShape cursor = CursorShape::Arrow;
    bool grabbed = false;
    std::map<HWND, NativeWindow> windows;
    std::vector<TrayIcon> trayIcons;
    UINT menuChoice = 0;
    std::vector<MenuItem> lastMenu;

private:
    std::condition_variable cv_;
    bool woken_ = false;
};

HeadlessBackend& Instance();

}  // namespace platform::backend::headless
