#pragma once
// Test interface of the in-memory display backend: the screen, the pointer,
// injected mouse input, a window's pixels, tray icons and popup menus.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/api/types.h"
#include "platform/backend/Backend.h"

namespace platform::headless {

// One monitor of width × height with a 40-pixel task bar at the bottom.
void SetScreen(int width, int height);
void SetMonitors(const std::vector<backend::Monitor>& monitors);

// Moves the pointer without any event (a later GetCursorPos sees it).
void SetPointer(int x, int y);
// Injected input at screen coordinates; delivered through the owning
// thread's message queue like real input.
void MouseMove(int x, int y);
void MouseDown(int x, int y, backend::Button button = backend::Button::Left);
void MouseUp(int x, int y, backend::Button button = backend::Button::Left);
void Wheel(int x, int y, int delta);
// A key press (down and up) in the focused window.
void KeyPress(UINT vk, bool alt = false);
// The desktop asks a window to close (its close button, Alt+F4).
void RequestClose(HWND hwnd);

// A pixel of a window's backing surface at client coordinates of `hwnd`
// (a child reads through its top-level window), as 0xAARRGGBB; nullopt
// outside the surface or for an invalid window.
std::optional<std::uint32_t> Pixel(HWND hwnd, int x, int y);
// The same as a COLORREF (0x00BBGGRR).
std::optional<COLORREF> PixelColor(HWND hwnd, int x, int y);

backend::CursorShape Cursor();
// How often the window's surface was presented, and whether it is on screen.
int PresentCount(HWND hwnd);
bool IsShown(HWND hwnd);
bool IsMinimized(HWND hwnd);
RECT NativeRect(HWND hwnd);
bool PointerGrabbed();
// The opacity a layered window was last shown with.
int LayeredOpacity(HWND hwnd);

std::vector<backend::TrayIcon> TrayIcons();
// Every later popup menu returns this id at once (0: dismissed).
void ScriptMenuChoice(UINT id);
// The items of the last popup menu shown.
std::vector<backend::MenuItem> LastMenu();

}  // namespace platform::headless
