#pragma once
// What the window manager needs from the graphics side: device contexts on
// window surfaces, and brushes that are never deleted.
#include <cairo.h>

#include "platform/api/gdi.h"

namespace platform::gdi {

// A device context drawing into `surface` (a top-level window's backing
// surface) for window `hwnd`: its logical (0, 0) is at `origin` of the
// surface, and nothing outside `clip` (surface coordinates; taken over) is touched.
HDC CreateSurfaceDC(HWND hwnd, cairo_surface_t* surface, POINT origin, cairo_region_t* clip);
bool IsSurfaceDC(HDC hdc);
// Deletes such a context; `area` receives the surface area it could have
// drawn into (empty when none).
bool DeleteSurfaceDC(HDC hdc, RECT* area);

// The screen's device context: nothing can be drawn on it, but memory
// contexts and bitmaps are made compatible with it.
HDC ScreenDC();

HBRUSH MakePermanentBrush(COLORREF color);

// A new 32-bit top-down copy of an area of what a device context draws on
// (logical coordinates); null when the context has nothing there.
cairo_surface_t* CopyFromDC(HDC hdc, int x, int y, int width, int height);

// Copies `area` of a surface into a device context at logical (0, 0).
bool CopySurfaceToDC(cairo_surface_t* surface, const RECT& area, HDC hdc);

}  // namespace platform::gdi
