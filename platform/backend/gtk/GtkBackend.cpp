// The GTK3 display backend: undecorated GtkWindows that show the window
// manager's backing surfaces, pointer and key events in, monitors, cursor,
// grabs, desktop-driven caption drags, tray icons and popup menus.
#include "platform/backend/gtk/GtkBackend.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "platform/api/text.h"
#include "platform/api/user.h"
#include "platform/backend/gtk/X11.h"

namespace platform::backend::gtk {
namespace {

struct Native {
    HWND hwnd = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    GtkWidget* fixed = nullptr;  // native children sit here, above the surface
    cairo_surface_t* surface = nullptr;
    RECT rect{};
    // Positions asked of the X server and not yet confirmed by a configure
    // event, oldest first: their echoes are ours, not the desktop's.
    std::deque<POINT> pendingMoves;
    POINT serverPos{INT32_MIN, INT32_MIN};  // as the X server last said
    bool layered = false;
    BYTE opacity = 255;
};

UINT VirtualKey(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return 0x0D;
        case GDK_KEY_Escape:
            return 0x1B;
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return 0x09;
        case GDK_KEY_space:
            return 0x20;
        case GDK_KEY_BackSpace:
            return 0x08;
        case GDK_KEY_Up:
            return 0x26;
        case GDK_KEY_Down:
            return 0x28;
        case GDK_KEY_Left:
            return 0x25;
        case GDK_KEY_Right:
            return 0x27;
        case GDK_KEY_Home:
            return 0x24;
        case GDK_KEY_End:
            return 0x23;
        case GDK_KEY_Page_Up:
            return 0x21;
        case GDK_KEY_Page_Down:
            return 0x22;
        case GDK_KEY_F4:
            return 0x73;
        default:
            break;
    }
    guint upper = gdk_keyval_to_upper(keyval);
    if ((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9')) {
        return upper;
    }
    return 0;
}

Button ButtonOf(guint b) {
    return b == 1 ? Button::Left : b == 3 ? Button::Right : b == 2 ? Button::Middle : Button::None;
}

class GtkBackend : public Backend {
public:
    const char* Name() const override { return "gtk"; }

    std::vector<Monitor> Monitors() override {
        std::vector<Monitor> out;
        if (!Open()) {
            return out;
        }
        GdkDisplay* d = gdk_display_get_default();
        int n = gdk_display_get_n_monitors(d);
        for (int i = 0; i < n; ++i) {
            GdkMonitor* m = gdk_display_get_monitor(d, i);
            GdkRectangle g;
            GdkRectangle w;
            gdk_monitor_get_geometry(m, &g);
            gdk_monitor_get_workarea(m, &w);
            out.push_back({{g.x, g.y, g.x + g.width, g.y + g.height},
                           {w.x, w.y, w.x + w.width, w.y + w.height},
                           gdk_monitor_is_primary(m) != FALSE || (i == 0 && n == 1)});
        }
        return out;
    }

    POINT PointerPosition() override {
        if (!Open()) {
            return {0, 0};
        }
        int x = 0;
        int y = 0;
        gdk_device_get_position(Pointer(), nullptr, &x, &y);
        return {x, y};
    }

    void SetPointerPosition(POINT p) override {
        if (Open()) {
            gdk_device_warp(Pointer(), gdk_screen_get_default(), p.x, p.y);
        }
    }

    void SetCursorShape(CursorShape shape) override {
        // Remembered until there is a window to show it: setting the cursor
        // alone does not open the display.
        cursor_ = shape;
        if (!opened_) {
            return;
        }
        GdkCursor* c = NewCursor(shape);
        for (auto& [h, n] : natives_) {
            if (GdkWindow* gw = gtk_widget_get_window(n.window)) {
                gdk_window_set_cursor(gw, c);
            }
        }
        if (c) {
            g_object_unref(c);
        }
    }

    void GrabPointer(HWND topLevel) override {
        Native* n = Get(topLevel);
        if (!n || !gtk_widget_get_window(n->area)) {
            return;
        }
        // On the surface's own window: events outside our windows then come
        // to the handlers that report them, not to the bare GtkWindow.
        gdk_seat_grab(gdk_display_get_default_seat(gdk_display_get_default()),
                      gtk_widget_get_window(n->area), GDK_SEAT_CAPABILITY_ALL_POINTING, TRUE,
                      nullptr, nullptr, nullptr, nullptr);
    }

    void UngrabPointer() override {
        if (opened_) {
            gdk_seat_ungrab(gdk_display_get_default_seat(gdk_display_get_default()));
        }
    }

    bool BeginMoveDrag(HWND topLevel, POINT screen) override {
        Native* n = Get(topLevel);
        if (!n || !leftDown_ || !WindowManagerMoves(n->window)) {
            // Without a window manager that moves windows (a bare X server),
            // the window manager of ours drags it from the pointer events.
            return false;
        }
        leftDown_ = false;  // the desktop takes the rest of this press
        // The press's own time: we are no longer inside its event handler.
        gtk_window_begin_move_drag(GTK_WINDOW(n->window), 1, screen.x, screen.y, pressTime_);
        return true;
    }

    bool CreateWindow(const NativeWindowParams& p) override {
        if (!Open()) {
            return false;
        }
        Native n;
        n.hwnd = p.hwnd;
        n.rect = p.rect;
        n.layered = p.layered;
        n.window = gtk_window_new(p.layered ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL);
        GtkWindow* w = GTK_WINDOW(n.window);
        gtk_window_set_decorated(w, FALSE);
        gtk_window_set_title(w, platform::ToUtf8(p.title).c_str());
        gtk_window_set_skip_taskbar_hint(w, p.toolWindow || p.layered);
        gtk_window_set_keep_above(w, p.topmost);
        if (p.owner) {
            if (Native* o = Get(p.owner)) {
                gtk_window_set_transient_for(w, GTK_WINDOW(o->window));
            }
        }
        if (p.layered) {
            gtk_window_set_accept_focus(w, FALSE);
            GdkScreen* screen = gtk_widget_get_screen(n.window);
            if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen)) {
                gtk_widget_set_visual(n.window, rgba);
            }
            gtk_widget_set_app_paintable(n.window, TRUE);
        }
        int width = std::max(1, static_cast<int>(p.rect.right - p.rect.left));
        int height = std::max(1, static_cast<int>(p.rect.bottom - p.rect.top));
        gtk_window_set_default_size(w, width, height);
        gtk_window_move(w, p.rect.left, p.rect.top);
        gtk_window_set_resizable(w, FALSE);
        gtk_widget_set_size_request(n.window, width, height);

        GtkWidget* overlay = gtk_overlay_new();
        n.area = gtk_drawing_area_new();
        gtk_widget_add_events(n.area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                          GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK |
                                          GDK_SMOOTH_SCROLL_MASK);
        gtk_container_add(GTK_CONTAINER(overlay), n.area);
        n.fixed = gtk_fixed_new();
        gtk_overlay_add_overlay(GTK_OVERLAY(overlay), n.fixed);
        gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay), n.fixed, TRUE);
        gtk_container_add(GTK_CONTAINER(n.window), overlay);

        g_object_set_data(G_OBJECT(n.window), "tavrel-hwnd", p.hwnd);
        g_object_set_data(G_OBJECT(n.area), "tavrel-hwnd", p.hwnd);
        g_signal_connect(n.area, "draw", G_CALLBACK(&OnDraw), this);
        g_signal_connect(n.area, "button-press-event", G_CALLBACK(&OnButton), this);
        g_signal_connect(n.area, "button-release-event", G_CALLBACK(&OnButton), this);
        g_signal_connect(n.area, "motion-notify-event", G_CALLBACK(&OnMotion), this);
        g_signal_connect(n.area, "scroll-event", G_CALLBACK(&OnScroll), this);
        g_signal_connect(n.window, "key-press-event", G_CALLBACK(&OnKey), this);
        g_signal_connect(n.window, "key-release-event", G_CALLBACK(&OnKey), this);
        g_signal_connect(n.window, "delete-event", G_CALLBACK(&OnDelete), this);
        g_signal_connect(n.window, "window-state-event", G_CALLBACK(&OnState), this);
        g_signal_connect(n.window, "focus-in-event", G_CALLBACK(&OnFocus), this);
        g_signal_connect_after(n.window, "realize", G_CALLBACK(&OnRealize), this);
        gtk_widget_show_all(overlay);
        natives_[p.hwnd] = n;
        return true;
    }

    void DestroyWindow(HWND hwnd) override {
        auto it = natives_.find(hwnd);
        if (it == natives_.end()) {
            return;
        }
        Native n = it->second;
        natives_.erase(it);
        gtk_widget_destroy(n.window);
        if (n.surface) {
            cairo_surface_destroy(n.surface);
        }
    }

    void SetWindowRect(HWND hwnd, const RECT& r) override {
        Native* n = Get(hwnd);
        if (!n) {
            return;
        }
        RECT old = n->rect;
        n->rect = r;
        int w = std::max(1, static_cast<int>(r.right - r.left));
        int h = std::max(1, static_cast<int>(r.bottom - r.top));
        if (w != old.right - old.left || h != old.bottom - old.top) {
            gtk_widget_set_size_request(n->window, w, h);
            gtk_window_resize(GTK_WINDOW(n->window), w, h);
        }
        if (r.left != old.left || r.top != old.top) {
            if (n->pendingMoves.size() >= kMaxPendingMoves) {
                n->pendingMoves.pop_front();
            }
            n->pendingMoves.push_back({r.left, r.top});
            gtk_window_move(GTK_WINDOW(n->window), r.left, r.top);
        }
    }

    void ShowWindow(HWND hwnd, ShowMode mode) override {
        Native* n = Get(hwnd);
        if (!n) {
            return;
        }
        GtkWindow* w = GTK_WINDOW(n->window);
        switch (mode) {
            case ShowMode::Hide:
                gtk_widget_hide(n->window);
                break;
            case ShowMode::Show:
                gtk_widget_show(n->window);
                gtk_window_move(w, n->rect.left, n->rect.top);
                gtk_window_present(w);
                break;
            case ShowMode::ShowNoActivate:
                gtk_window_set_focus_on_map(w, FALSE);
                gtk_widget_show(n->window);
                gtk_window_move(w, n->rect.left, n->rect.top);
                gtk_window_set_focus_on_map(w, !n->layered);
                break;
            case ShowMode::Minimize:
                gtk_widget_show(n->window);
                gtk_window_iconify(w);
                break;
            case ShowMode::Restore:
                gtk_window_deiconify(w);
                gtk_widget_show(n->window);
                break;
        }
    }

    void SetTitle(HWND hwnd, std::u16string_view title) override {
        if (Native* n = Get(hwnd)) {
            gtk_window_set_title(GTK_WINDOW(n->window), platform::ToUtf8(title).c_str());
        }
    }

    void Activate(HWND hwnd) override {
        if (Native* n = Get(hwnd); n && !n->layered && gtk_widget_get_visible(n->window)) {
            gtk_window_present(GTK_WINDOW(n->window));
        }
    }

    void Present(HWND hwnd, cairo_surface_t* surface, const RECT& area) override {
        Native* n = Get(hwnd);
        if (!n) {
            return;
        }
        if (n->surface != surface) {
            cairo_surface_reference(surface);
            if (n->surface) {
                cairo_surface_destroy(n->surface);
            }
            n->surface = surface;
        }
        gtk_widget_queue_draw_area(n->area, area.left, area.top, area.right - area.left,
                                   area.bottom - area.top);
    }

    void PresentLayered(HWND hwnd, cairo_surface_t* image, BYTE opacity) override {
        Native* n = Get(hwnd);
        if (!n) {
            return;
        }
        if (image) {
            cairo_surface_reference(image);
        }
        if (n->surface) {
            cairo_surface_destroy(n->surface);
        }
        n->surface = image;
        n->opacity = opacity;
        gtk_widget_queue_draw(n->area);
    }

    void* CreateNativeChild(HWND topLevel, HWND child, const RECT& r) override {
        Native* n = Get(topLevel);
        if (!n) {
            return nullptr;
        }
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_widget_set_size_request(box, r.right - r.left, r.bottom - r.top);
        gtk_fixed_put(GTK_FIXED(n->fixed), box, r.left, r.top);
        gtk_widget_show(box);
        children_[child] = {box, topLevel};
        return box;
    }

    void SetNativeChildRect(HWND child, const RECT& r, bool visible) override {
        auto it = children_.find(child);
        Native* n = it == children_.end() ? nullptr : Get(it->second.top);
        if (!n) {
            return;
        }
        gtk_widget_set_size_request(it->second.box, r.right - r.left, r.bottom - r.top);
        gtk_fixed_move(GTK_FIXED(n->fixed), it->second.box, r.left, r.top);
        gtk_widget_set_visible(it->second.box, visible);
    }

    void DestroyNativeChild(HWND child) override {
        auto it = children_.find(child);
        if (it == children_.end()) {
            return;
        }
        if (Get(it->second.top)) {
            gtk_widget_destroy(it->second.box);
        }
        children_.erase(it);
    }

    bool AddTrayIcon(const TrayIcon& icon) override {
        if (!Open()) {
            return false;
        }
        Key key{icon.owner, icon.id};
        if (trays_.count(key)) {
            return false;
        }
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GtkStatusIcon* s = gtk_status_icon_new();
        G_GNUC_END_IGNORE_DEPRECATIONS
        trays_[key] = {s, icon};
        Apply(trays_[key]);
        g_object_set_data(G_OBJECT(s), "tavrel-tray", &trays_[key]);
        g_signal_connect(s, "button-press-event", G_CALLBACK(&OnTrayButton), this);
        g_signal_connect(s, "button-release-event", G_CALLBACK(&OnTrayButton), this);
        return true;
    }

    bool ModifyTrayIcon(const TrayIcon& icon) override {
        auto it = trays_.find(Key{icon.owner, icon.id});
        if (it == trays_.end()) {
            return false;
        }
        it->second.icon = icon;
        Apply(it->second);
        return true;
    }

    bool RemoveTrayIcon(HWND owner, UINT id) override {
        auto it = trays_.find(Key{owner, id});
        if (it == trays_.end()) {
            return false;
        }
        g_object_unref(it->second.status);
        trays_.erase(it);
        return true;
    }

    UINT TrackPopupMenu(const std::vector<MenuItem>& items, POINT screen, HWND) override {
        if (!Open()) {
            return 0;
        }
        chosen_ = 0;
        GtkWidget* menu = BuildMenu(items);
        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        g_signal_connect_swapped(menu, "deactivate", G_CALLBACK(&g_main_loop_quit), loop);
        GdkRectangle at{screen.x, screen.y, 1, 1};
        GdkWindow* root = gdk_get_default_root_window();
        gtk_menu_popup_at_rect(GTK_MENU(menu), root, &at, GDK_GRAVITY_NORTH_WEST,
                               GDK_GRAVITY_NORTH_WEST, nullptr);
        if (gtk_widget_get_visible(menu)) {
            g_main_loop_run(loop);
        }
        g_main_loop_unref(loop);
        // "activate" of the item runs after "deactivate" of the menu.
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        gtk_widget_destroy(menu);
        return chosen_;
    }

    void Wait(int timeoutMs) override {
        if (!opened_) {
            std::unique_lock lk(mu_);
            if (!woken_) {
                if (timeoutMs < 0) {
                    cv_.wait(lk, [&] { return woken_ || opened_; });
                } else {
                    cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                                 [&] { return woken_ || opened_; });
                }
            }
            woken_ = false;
            return;
        }
        guint timer = 0;
        if (timeoutMs >= 0) {
            timer = g_timeout_add(
                static_cast<guint>(timeoutMs), [](gpointer) -> gboolean { return G_SOURCE_REMOVE; },
                nullptr);
        }
        g_main_context_iteration(nullptr, TRUE);
        if (timer) {
            GSource* s = g_main_context_find_source_by_id(nullptr, timer);
            if (s) {
                g_source_destroy(s);
            }
        }
    }

    void Wake() override {
        {
            std::lock_guard lk(mu_);
            woken_ = true;
        }
        cv_.notify_all();
        g_main_context_wakeup(nullptr);
    }

private:
    struct Key {
        HWND owner;
        UINT id;
        bool operator<(const Key& o) const {
            return owner != o.owner ? owner < o.owner : id < o.id;
        }
    };
    struct Tray {
        GtkStatusIcon* status;
        TrayIcon icon;
    };
    struct Child {
        GtkWidget* box;
        HWND top;
    };

    bool Open() {
        if (opened_) {
            return true;
        }
        if (failed_) {
            return false;
        }
        gdk_set_allowed_backends("x11");
        if (!gtk_init_check(nullptr, nullptr)) {
            failed_ = true;
            return false;
        }
        opened_ = true;
        cv_.notify_all();
        return true;
    }

    static constexpr size_t kMaxPendingMoves = 64;

    static GdkCursor* NewCursor(CursorShape shape) {
        static const char* names[] = {"default", "text",      "wait",      "crosshair",   "pointer",
                                      "move",    "ew-resize", "ns-resize", "not-allowed", "none"};
        return gdk_cursor_new_from_name(gdk_display_get_default(), names[static_cast<int>(shape)]);
    }

    static GdkDevice* Pointer() {
        return gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    }

    Native* Get(HWND h) {
        auto it = natives_.find(h);
        return it == natives_.end() ? nullptr : &it->second;
    }

    static HWND HwndOf(GtkWidget* w) {
        return static_cast<HWND>(g_object_get_data(G_OBJECT(w), "tavrel-hwnd"));
    }

    static gboolean OnDraw(GtkWidget* w, cairo_t* cr, GtkBackend* self) {
        Native* n = self->Get(HwndOf(w));
        if (!n || !n->surface) {
            return FALSE;
        }
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, n->surface, 0, 0);
        if (n->layered) {
            // The image fills the window, scaled to it, with its own alpha.
            int iw = cairo_image_surface_get_width(n->surface);
            int ih = cairo_image_surface_get_height(n->surface);
            int ww = gtk_widget_get_allocated_width(w);
            int wh = gtk_widget_get_allocated_height(w);
            if (iw > 0 && ih > 0) {
                cairo_scale(cr, static_cast<double>(ww) / iw, static_cast<double>(wh) / ih);
                cairo_set_source_surface(cr, n->surface, 0, 0);
            }
            cairo_paint_with_alpha(cr, n->opacity / 255.0);
        } else {
            cairo_paint(cr);
        }
        return TRUE;
    }

    static gboolean OnButton(GtkWidget* w, GdkEventButton* e, GtkBackend* self) {
        if (e->type != GDK_BUTTON_PRESS && e->type != GDK_BUTTON_RELEASE) {
            return TRUE;  // the layer finds double clicks itself
        }
        Button b = ButtonOf(e->button);
        if (b == Button::None) {
            return TRUE;
        }
        bool down = e->type == GDK_BUTTON_PRESS;
        if (b == Button::Left) {
            self->leftDown_ = down;
            if (down) {
                self->pressTime_ = e->time;
            }
        }
        if (auto* sink = GetEventSink()) {
            sink->OnPointer(HwndOf(w),
                            {down ? PointerKind::Down : PointerKind::Up,
                             b,
                             {static_cast<LONG>(e->x_root), static_cast<LONG>(e->y_root)},
                             0});
        }
        return TRUE;
    }

    static gboolean OnMotion(GtkWidget* w, GdkEventMotion* e, GtkBackend* self) {
        auto* sink = GetEventSink();
        if (!sink) {
            return TRUE;
        }
        POINT p{static_cast<LONG>(e->x_root), static_cast<LONG>(e->y_root)};
        if (self->leftDown_ && !(e->state & GDK_BUTTON1_MASK)) {
            // The release went elsewhere (a grab of the desktop's).
            self->leftDown_ = false;
            sink->OnPointer(HwndOf(w), {PointerKind::Up, Button::Left, p, 0});
        }
        sink->OnPointer(HwndOf(w), {PointerKind::Move, Button::None, p, 0});
        return TRUE;
    }

    static gboolean OnScroll(GtkWidget* w, GdkEventScroll* e, GtkBackend*) {
        int delta = 0;
        if (e->direction == GDK_SCROLL_UP) {
            delta = 120;
        } else if (e->direction == GDK_SCROLL_DOWN) {
            delta = -120;
        } else if (e->direction == GDK_SCROLL_SMOOTH) {
            delta = static_cast<int>(-e->delta_y * 120);
        }
        if (auto* sink = GetEventSink(); sink && delta) {
            sink->OnPointer(HwndOf(w),
                            {PointerKind::Wheel,
                             Button::None,
                             {static_cast<LONG>(e->x_root), static_cast<LONG>(e->y_root)},
                             delta});
        }
        return TRUE;
    }

    static gboolean OnKey(GtkWidget*, GdkEventKey* e, GtkBackend*) {
        UINT vk = VirtualKey(e->keyval);
        if (auto* sink = GetEventSink(); sink && vk) {
            sink->OnKey(vk, e->type == GDK_KEY_PRESS, (e->state & GDK_MOD1_MASK) != 0);
        }
        return vk != 0;
    }

    static gboolean OnDelete(GtkWidget* w, GdkEvent*, GtkBackend*) {
        if (auto* sink = GetEventSink()) {
            sink->OnCloseRequest(HwndOf(w));
        }
        return TRUE;  // the program decides
    }

    // Where the X server put a window: our own requests come back here in
    // order; anything else is the desktop's doing.
    static void OnServerMove(GtkWidget* w, int x, int y, void* data) {
        auto* self = static_cast<GtkBackend*>(data);
        Native* n = self->Get(HwndOf(w));
        if (!n || (x == n->serverPos.x && y == n->serverPos.y)) {
            return;  // not a move: a new size or stacking order
        }
        n->serverPos = {x, y};
        auto& pending = n->pendingMoves;
        auto echo = std::find_if(pending.begin(), pending.end(),
                                 [&](const POINT& p) { return p.x == x && p.y == y; });
        if (echo != pending.end()) {
            // One of ours; the ones asked before it were merged into it.
            pending.erase(pending.begin(), echo + 1);
            return;
        }
        pending.clear();
        if (x == n->rect.left && y == n->rect.top) {
            return;  // where we placed it before showing it
        }
        if (gtk_widget_get_visible(w)) {
            int width = n->rect.right - n->rect.left;
            int height = n->rect.bottom - n->rect.top;
            n->rect = {x, y, x + width, y + height};
            if (auto* sink = GetEventSink()) {
                sink->OnMovedByDesktop(n->hwnd, {x, y});
            }
        }
    }

    static gboolean OnState(GtkWidget* w, GdkEventWindowState* e, GtkBackend*) {
        if (e->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
            if (auto* sink = GetEventSink()) {
                sink->OnMinimizedByDesktop(HwndOf(w),
                                           (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0);
            }
        }
        return FALSE;
    }

    static gboolean OnFocus(GtkWidget* w, GdkEvent*, GtkBackend*) {
        if (auto* sink = GetEventSink()) {
            sink->OnActivatedByDesktop(HwndOf(w), true);
        }
        return FALSE;
    }

    static void OnRealize(GtkWidget* w, GtkBackend* self) {
        Native* n = self->Get(HwndOf(w));
        GdkWindow* gw = gtk_widget_get_window(w);
        if (!n || !gw) {
            return;
        }
        WatchServerMoves(w, &OnServerMove, self);
        if (n->layered) {
            // Click-through: an empty input shape.
            cairo_region_t* empty = cairo_region_create();
            gdk_window_input_shape_combine_region(gw, empty, 0, 0);
            cairo_region_destroy(empty);
        }
        // The cursor set before this window existed.
        if (GdkCursor* c = NewCursor(self->cursor_)) {
            gdk_window_set_cursor(gw, c);
            g_object_unref(c);
        }
    }

    static gboolean OnTrayButton(GtkStatusIcon* s, GdkEventButton* e, GtkBackend*) {
        auto* tray = static_cast<Tray*>(g_object_get_data(G_OBJECT(s), "tavrel-tray"));
        auto* sink = GetEventSink();
        if (!tray || !sink) {
            return FALSE;
        }
        UINT base = e->button == 1 ? WM_LBUTTONDOWN : e->button == 3 ? WM_RBUTTONDOWN : 0;
        if (!base) {
            return FALSE;
        }
        UINT msg = e->type == GDK_BUTTON_RELEASE  ? base + 1
                   : e->type == GDK_2BUTTON_PRESS ? base + 2
                   : e->type == GDK_BUTTON_PRESS  ? base
                                                  : 0;
        if (msg) {
            sink->OnTrayEvent(tray->icon.owner, tray->icon.id, tray->icon.callbackMessage, msg);
        }
        return TRUE;
    }

    void Apply(Tray& t) {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        if (t.icon.image) {
            int w = cairo_image_surface_get_width(t.icon.image);
            int h = cairo_image_surface_get_height(t.icon.image);
            GdkPixbuf* pb = gdk_pixbuf_get_from_surface(t.icon.image, 0, 0, w, h);
            if (pb) {
                gtk_status_icon_set_from_pixbuf(t.status, pb);
                g_object_unref(pb);
            }
        } else {
            gtk_status_icon_set_from_icon_name(t.status, "application-x-executable");
        }
        gtk_status_icon_set_tooltip_text(t.status, platform::ToUtf8(t.icon.tip).c_str());
        gtk_status_icon_set_visible(t.status, TRUE);
        G_GNUC_END_IGNORE_DEPRECATIONS
        t.icon.image = nullptr;
    }

    GtkWidget* BuildMenu(const std::vector<MenuItem>& items) {
        GtkWidget* menu = gtk_menu_new();
        for (const auto& it : items) {
            GtkWidget* mi;
            if (it.separator) {
                mi = gtk_separator_menu_item_new();
            } else {
                std::string label = platform::ToUtf8(it.text);
                // "&x" marks a mnemonic here as "_x" there.
                std::string gtkLabel;
                for (size_t i = 0; i < label.size(); ++i) {
                    if (label[i] == '&' && i + 1 < label.size() && label[i + 1] == '&') {
                        gtkLabel += '&';
                        ++i;
                    } else if (label[i] == '&') {
                        gtkLabel += '_';
                    } else if (label[i] == '_') {
                        gtkLabel += "__";
                    } else {
                        gtkLabel += label[i];
                    }
                }
                mi = it.checked ? gtk_check_menu_item_new_with_mnemonic(gtkLabel.c_str())
                                : gtk_menu_item_new_with_mnemonic(gtkLabel.c_str());
                if (it.checked) {
                    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(mi), TRUE);
                }
                gtk_widget_set_sensitive(mi, !it.disabled);
                if (!it.submenu.empty()) {
                    gtk_menu_item_set_submenu(GTK_MENU_ITEM(mi), BuildMenu(it.submenu));
                } else {
                    g_object_set_data(G_OBJECT(mi), "tavrel-id",
                                      GUINT_TO_POINTER(static_cast<guint>(it.id)));
                    g_signal_connect(mi, "activate", G_CALLBACK(&OnMenuItem), this);
                }
            }
            gtk_menu_shell_append(GTK_MENU_SHELL(menu), mi);
            gtk_widget_show(mi);
        }
        return menu;
    }

    static void OnMenuItem(GtkMenuItem* mi, GtkBackend* self) {
        self->chosen_ = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(mi), "tavrel-id"));
    }

    bool opened_ = false;
    bool failed_ = false;
    bool leftDown_ = false;
    guint32 pressTime_ = GDK_CURRENT_TIME;
    CursorShape cursor_ = CursorShape::Arrow;
    UINT chosen_ = 0;
    std::map<HWND, Native> natives_;
    std::map<HWND, Child> children_;
    std::map<Key, Tray> trays_;
    std::mutex mu_;
    std::condition_variable cv_;
    bool woken_ = false;
};

}  // namespace

Backend* Create() {
    return new GtkBackend();
}

}  // namespace platform::backend::gtk
