#pragma once
// What the GTK backend asks of X11 itself, apart so that Xlib's macros
// (None, Status...) stay out of the backend.
#include <gtk/gtk.h>

namespace platform::backend::gtk {

// Whether the desktop's window manager moves windows with the pointer
// (_NET_WM_MOVERESIZE); a bare X server has none.
bool WindowManagerMoves(GtkWidget* window);

}  // namespace platform::backend::gtk
