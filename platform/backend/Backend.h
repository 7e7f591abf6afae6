#pragma once
// The seam between the window manager (platform/user) and a display backend.
//
// The window manager owns every window, queue and surface; a backend only
// shows what it is told and reports what the user does. Top-level windows
// that are shown get a native counterpart, named by the HWND itself. Calls
// into a backend are made on the thread that owns the native window (the
// display thread); Wake() may be called from any thread.
#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/types.h"

namespace platform::backend {

struct Monitor {
    RECT bounds;
    RECT work;
    bool primary;
};

enum class Button { None, Left, Right, Middle };
enum class PointerKind { Move, Down, Up, Wheel };

struct PointerEvent {
    PointerKind kind;
    Button button;
    POINT screen;
    int wheelDelta;  // multiples of 120 for Wheel
};

enum class CursorShape { Arrow, IBeam, Wait, Cross, Hand, SizeAll, SizeWE, SizeNS, No, Hidden };

enum class ShowMode { Hide, Show, ShowNoActivate, Minimize, Restore };

struct NativeWindowParams {
    HWND hwnd;
    HWND owner;  // transient-for, may be null
    RECT rect;   // screen coordinates
    std::u16string title;
    bool layered;     // per-pixel alpha, click-through, never focused
    bool toolWindow;  // no taskbar entry
    bool topmost;
};

struct TrayIcon {
    HWND owner;
    UINT id;
    UINT callbackMessage;
    cairo_surface_t* image;  // ARGB32, may be null; the backend copies it
    std::u16string tip;
};

struct MenuItem {
    UINT id;  // 0 with a separator or a submenu
    std::u16string text;
    bool separator;
    bool disabled;
    bool checked;
    std::vector<MenuItem> submenu;
};

// Events a backend reports; implemented by the window manager. A backend may
// call these from its display thread; the headless one from the test thread.
class EventSink {
public:
    virtual ~EventSink() = default;
    // target: the top-level window under the pointer as the backend knows it,
    // or null to let the window manager find it from the position.
    virtual void OnPointer(HWND target, const PointerEvent& event) = 0;
    // A key went down or up in the focused window (a virtual-key code).
    virtual void OnKey(UINT vk, bool down, bool alt) = 0;
    virtual void OnCloseRequest(HWND hwnd) = 0;
    // The window was moved or minimised/restored by the desktop, not by us.
    virtual void OnMovedByDesktop(HWND hwnd, POINT topLeft) = 0;
    virtual void OnMinimizedByDesktop(HWND hwnd, bool minimized) = 0;
    virtual void OnActivatedByDesktop(HWND hwnd, bool active) = 0;
    // A tray icon event: the mouse message (WM_LBUTTONUP...) for the icon.
    virtual void OnTrayEvent(HWND owner, UINT id, UINT callbackMessage, UINT mouseMessage) = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* Name() const = 0;

    // Screen and pointer. The display opens lazily on the first call that
    // needs it; a run that shows nothing never opens it.
    virtual std::vector<Monitor> Monitors() = 0;
    virtual POINT PointerPosition() = 0;
    virtual void SetPointerPosition(POINT screen) = 0;
    virtual void SetCursorShape(CursorShape shape) = 0;
    virtual void GrabPointer(HWND topLevel) = 0;
    virtual void UngrabPointer() = 0;
    // Lets the desktop move the window with the pointer (a caption drag).
    // False: the backend cannot, and the window manager moves it itself.
    virtual bool BeginMoveDrag(HWND topLevel, POINT screen) = 0;

    // Native top-level windows.
    virtual bool CreateWindow(const NativeWindowParams& params) = 0;
    virtual void DestroyWindow(HWND hwnd) = 0;
    virtual void SetWindowRect(HWND hwnd, const RECT& screenRect) = 0;
    virtual void ShowWindow(HWND hwnd, ShowMode mode) = 0;
    virtual void SetTitle(HWND hwnd, std::u16string_view title) = 0;
    virtual void Activate(HWND hwnd) = 0;
    // Shows `area` (window coordinates) of the window's 32-bit backing surface.
    virtual void Present(HWND hwnd, cairo_surface_t* surface, const RECT& area) = 0;
    // Layered windows: the whole image with its alpha, scaled by `opacity`.
    virtual void PresentLayered(HWND hwnd, cairo_surface_t* image, BYTE opacity) = 0;

    // Native child controls (the web view) placed over a top-level window.
    virtual void* CreateNativeChild(HWND topLevel, HWND child, const RECT& rectInTop) = 0;
    virtual void SetNativeChildRect(HWND child, const RECT& rectInTop, bool visible) = 0;
    virtual void DestroyNativeChild(HWND child) = 0;

    // Tray icons and popup menus.
    virtual bool AddTrayIcon(const TrayIcon& icon) = 0;
    virtual bool ModifyTrayIcon(const TrayIcon& icon) = 0;
    virtual bool RemoveTrayIcon(HWND owner, UINT id) = 0;
    // Runs the menu in a nested loop; the chosen id, or 0 when dismissed.
    virtual UINT TrackPopupMenu(const std::vector<MenuItem>& items, POINT screen, HWND owner) = 0;

    // Waiting on the display thread: returns on a backend event, a Wake()
    // from any thread (remembered when nobody waits), or after timeoutMs
    // (negative: no limit).
    virtual void Wait(int timeoutMs) = 0;
    virtual void Wake() = 0;
};

// The backend of this process, chosen by TAVREL_BACKEND ("headless" or "gtk");
// made on first use, which opens no display yet.
Backend& Get();
void SetEventSink(EventSink* sink);
EventSink* GetEventSink();

}  // namespace platform::backend
