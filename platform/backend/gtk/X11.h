#pragma once
// What the GTK backend asks of X11 itself, apart so that Xlib's macros
// (None, Status...) stay out of the backend.
#include <gtk/gtk.h>

namespace platform::backend::gtk {

// Whether the desktop's window manager moves windows with the pointer
// (_NET_WM_MOVERESIZE); a bare X server has none.
bool WindowManagerMoves(GtkWidget* window);

// Reports every position the X server gives the realized top-level `window`
// (screen coordinates), in the order it made them, from the server's own
// configure notifications. GDK's configure events are no substitute: they
// carry where the window is when GDK reads them, so a late one looks like a
// move to where an earlier request put it. The watch ends with the window.
using ServerMoveFn = void (*)(GtkWidget* window, int x, int y, void* data);
void WatchServerMoves(GtkWidget* window, ServerMoveFn moved, void* data);

}  // namespace platform::backend::gtk
