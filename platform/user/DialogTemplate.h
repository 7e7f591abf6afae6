#pragma once
// Our dialog template: what a dialog resource holds, and its byte form.
//
// Byte form (all little-endian; a string is a 16-bit unit count followed by
// that many UTF-16 units):
//   u32 magic "TDLG" (0x474C4454), u16 version 1,
//   u32 style, u32 extended style, i16 x, y, cx, cy (dialog units),
//   u16 point size, u16 weight, u8 italic, u8 character set,
//   string class (empty: the dialog class), string title, string face,
//   u16 control count, then per control:
//   u32 style, u32 extended style, i16 x, y, cx, cy, u32 id,
//   string class, string text.
// The resource compiler writes it with Encode; the dialog manager reads it.
#include <optional>
#include <string>
#include <vector>

#include "platform/api/types.h"

namespace platform::dialog {

struct ControlTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    DWORD id = 0;
    std::u16string className;
    std::u16string text;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    WORD pointSize = 8;
    WORD weight = 400;
    BYTE italic = 0;
    BYTE charset = 1;
    std::u16string className;
    std::u16string title;
    std::u16string face = u"MS Shell Dlg";
    std::vector<ControlTemplate> controls;
};

std::vector<BYTE> Encode(const DialogTemplate& t);
// Null for anything malformed or cut short.
std::optional<DialogTemplate> Decode(const BYTE* data, size_t size);

// Templates the dialog manager finds by instance and name before looking in
// the program's resources (tests, and templates built at run time).
void RegisterTemplate(LPCWSTR name, std::vector<BYTE> bytes);

// Dialog units to pixels with the base units 6 × 13, rounded as MulDiv rounds.
int UnitsToPixelsX(int units);
int UnitsToPixelsY(int units);

}  // namespace platform::dialog
