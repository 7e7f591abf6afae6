#pragma once
// Graphics objects and device contexts behind the GDI handles.
#include <cairo.h>
#include <pango/pango.h>

#include <memory>
#include <mutex>
#include <vector>

#include "platform/api/gdi.h"

namespace platform::gdi {

enum class ObjType { Bitmap, Brush, Pen, Font, Region };

struct GdiObject {
    explicit GdiObject(ObjType t) : type(t) {}
    virtual ~GdiObject() = default;
    ObjType type;
    bool permanent = false;  // stock objects: DeleteObject does nothing
    int selected = 0;        // device contexts that hold it
};

// A bitmap's pixels are a cairo ARGB32 surface (premultiplied BGRA in
// memory). Bottom-up bitmaps keep the platform's row order in memory, and
// every drawing through cairo is flipped to match. A 24-bit bitmap keeps
// packed BGR rows for its callers and a 32-bit shadow for drawing.
struct Bitmap : GdiObject {
    Bitmap() : GdiObject(ObjType::Bitmap) {}
    ~Bitmap() override;
    int width = 0;
    int height = 0;
    int bpp = 32;
    bool dib = false;
    bool bottomUp = false;
    BYTE* bits = nullptr;  // what callers see (DIB sections)
    int bitsStride = 0;
    std::vector<BYTE> storage;
    std::vector<BYTE> shadowStorage;
    cairo_surface_t* surface = nullptr;  // ARGB32 view for drawing

    // Before cairo reads or writes: brings the shadow up to date.
    void BeginAccess();
    // After cairo wrote: flushes and writes packed rows back.
    void EndAccess(bool wrote);
};

struct Brush : GdiObject {
    Brush() : GdiObject(ObjType::Brush) {}
    COLORREF color = 0;
    bool null = false;
};

struct Pen : GdiObject {
    Pen() : GdiObject(ObjType::Pen) {}
    COLORREF color = 0;
    int width = 1;
    bool null = false;
};

struct Font : GdiObject {
    Font() : GdiObject(ObjType::Font) {}
    ~Font() override;
    LOGFONTW lf{};
    PangoFontDescription* desc = nullptr;
};

struct Region : GdiObject {
    Region() : GdiObject(ObjType::Region) {}
    ~Region() override;
    cairo_region_t* region = nullptr;
};

enum class DCKind { Memory, Surface, Screen };

struct DCState {
    POINT viewport{0, 0};
    cairo_region_t* clip = nullptr;  // application clip, device coordinates; null: none
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    int stretchMode = BLACKONWHITE;
    POINT brushOrg{0, 0};
    POINT penPos{0, 0};
    HGDIOBJ bitmap = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ pen = nullptr;
    HGDIOBJ font = nullptr;
};

struct DC {
    DCKind kind = DCKind::Memory;
    HWND hwnd = nullptr;
    cairo_surface_t* surface = nullptr;  // surface DCs: the window's (referenced)
    POINT origin{0, 0};                  // surface DCs: client origin in the surface
    cairo_region_t* sysClip = nullptr;   // surface DCs: what the window may touch
    DCState st;
    std::vector<DCState> saved;
};

// Object registry: handles are object addresses, valid while registered.
std::mutex& Mutex();
GdiObject* ObjectLocked(HGDIOBJ h);
DC* DcLocked(HDC h);
HGDIOBJ Register(std::unique_ptr<GdiObject> obj);

// Drawing target of a DC: a cairo context with the flip (bottom-up
// bitmaps), the effective clip and the device offset applied, so drawing
// uses logical coordinates. Null when there is nothing to draw on.
struct Target {
    cairo_t* cr = nullptr;
    Bitmap* bitmap = nullptr;
    int surfaceHeight = 0;
    explicit operator bool() const { return cr != nullptr; }
};
Target BeginDraw(DC& dc);
void EndDraw(Target& t);
// The effective clip (system ∩ application ∩ surface bounds) in device coordinates.
cairo_region_t* EffectiveClip(const DC& dc);
POINT DeviceOffset(const DC& dc);

void SetSourceColor(cairo_t* cr, COLORREF c);

}  // namespace platform::gdi
