#include "platform/backend/gtk/X11.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace platform::backend::gtk {

bool WindowManagerMoves(GtkWidget* window) {
    GdkScreen* screen = gtk_widget_get_screen(window);
    return GDK_IS_X11_SCREEN(screen) &&
           gdk_x11_screen_supports_net_wm_hint(screen,
                                               gdk_atom_intern_static_string("_NET_WM_MOVERESIZE"));
}

namespace {

struct Watch {
    GtkWidget* widget;
    GdkWindow* window;
    Window xid;
    Window root;
    bool reparented;  // inside a window manager's frame
    ServerMoveFn moved;
    void* data;
};

GdkFilterReturn Filter(GdkXEvent* native, GdkEvent*, gpointer data) {
    auto* w = static_cast<Watch*>(data);
    auto* ev = static_cast<XEvent*>(native);
    if (ev->type == ReparentNotify && ev->xreparent.window == w->xid) {
        w->reparented = ev->xreparent.parent != w->root;
    } else if (ev->type == ConfigureNotify && ev->xconfigure.window == w->xid) {
        // Inside a frame the server's own notifications are relative to the
        // frame; the window manager then sends synthetic ones on the screen.
        if (ev->xconfigure.send_event || !w->reparented) {
            w->moved(w->widget, ev->xconfigure.x, ev->xconfigure.y, w->data);
        }
    }
    return GDK_FILTER_CONTINUE;
}

void EndWatch(GtkWidget*, gpointer data) {
    auto* w = static_cast<Watch*>(data);
    gdk_window_remove_filter(w->window, &Filter, w);
    g_signal_handlers_disconnect_by_data(w->widget, w);
    delete w;
}

}  // namespace

void WatchServerMoves(GtkWidget* window, ServerMoveFn moved, void* data) {
    GdkWindow* gw = gtk_widget_get_window(window);
    if (!gw || !GDK_IS_X11_WINDOW(gw)) {
        return;
    }
    auto* w = new Watch{window,
                        gw,
                        GDK_WINDOW_XID(gw),
                        GDK_WINDOW_XID(gdk_screen_get_root_window(gdk_window_get_screen(gw))),
                        false,
                        moved,
                        data};
    gdk_window_add_filter(gw, &Filter, w);
    g_signal_connect(window, "unrealize", G_CALLBACK(&EndWatch), w);
}

}  // namespace platform::backend::gtk
