#include "platform/backend/gtk/X11.h"

#include <gdk/gdkx.h>

namespace platform::backend::gtk {

bool WindowManagerMoves(GtkWidget* window) {
    GdkScreen* screen = gtk_widget_get_screen(window);
    return GDK_IS_X11_SCREEN(screen) &&
           gdk_x11_screen_supports_net_wm_hint(screen,
                                               gdk_atom_intern_static_string("_NET_WM_MOVERESIZE"));
}

}  // namespace platform::backend::gtk
