#pragma once
// What the small skinned dialogs share: their background and their caption test.
#include "skin/SomWnd.h"

// Fills with an opaque empty text; skipped when the colour cannot be set.
void FillSolid(HDC dc, const RECT& rect, COLORREF color);

// A one-pixel dark grey border, the teal title band, and the light body below it.
void DrawSkinnedDialogBackground(HDC dc, const RECT& client);

// HTCAPTION in the title band outside the close button, HTCLIENT elsewhere. A
// drag that starts takes the hover look off the host's controls first.
LRESULT SkinnedDialogHitTest(HWND hwnd, CSomWndManager& manager, LPARAM lParam,
                             const RECT& closeRect);
