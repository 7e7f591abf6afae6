#include "PageView.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pagetest {

namespace {

// One engine context for the whole test process; nothing of it reaches the disk.
WebKitWebContext* SharedContext() {
    static WebKitWebContext* context = [] {
        // The engine types file:// scripts through the shared MIME database; without it the
        // page's scripts are refused. Tests keep XDG_DATA_DIRS private, so add the system's
        // (read only) after it.
        const char* dirs = g_getenv("XDG_DATA_DIRS");
        if (dirs && *dirs && std::string(dirs).find("/usr/share") == std::string::npos) {
            g_setenv("XDG_DATA_DIRS", (std::string(dirs) + ":/usr/share").c_str(), TRUE);
        }
        // The engine's processes may outlive a test's private folders.
        g_setenv("MESA_SHADER_CACHE_DISABLE", "true", TRUE);
        if (!gtk_init_check(nullptr, nullptr)) {
            throw std::runtime_error("no display: run under xvfb-run");
        }
        WebKitWebContext* c = webkit_web_context_new_ephemeral();
        webkit_web_context_set_cache_model(c, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
        return c;
    }();
    return context;
}

// The program writes js/url.js as UTF-16LE with a byte-order mark; so do we.
void WriteUrlFile(const std::string& path, const std::string& cloud, const std::string& more,
                  const std::string& s) {
    const std::string text =
        "var url={\"cloud\":\"" + cloud + "\",\"more\":\"" + more + "\",\"S\":\"" + s + "\"}";
    glong units = 0;
    gunichar2* utf16 = g_utf8_to_utf16(text.c_str(), -1, nullptr, &units, nullptr);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write("\xFF\xFE", 2);
    for (glong i = 0; i < units; ++i) {
        const char bytes[2] = {static_cast<char>(utf16[i] & 0xFF),
                               static_cast<char>(utf16[i] >> 8)};
        f.write(bytes, 2);
    }
    g_free(utf16);
}

std::string StandIn(TokenMode mode, const std::string& token) {
    if (mode == TokenMode::Absent) {
        return "";
    }
    const std::string body =
        mode == TokenMode::Throws
            ? "ext.calls++; throw new Error('clientAPI is not available');"
            : "ext.calls++; if (arguments.length !== 1 || typeof name !== 'string') return "
              "undefined; return name === 'GetDecrypt' ? " +
                  JsString(token) + " : undefined;";
    return "(function () { var ext = {calls: 0}; ext.clientAPI = function (name) { " + body +
           " }; Object.defineProperty(window, 'external', {value: ext, configurable: true, "
           "writable: true}); })();";
}

struct ResourceTag {
    std::vector<Request>* requests;
    size_t index;
    std::string uri;
};

Request* Find(ResourceTag* tag) {
    // Requests may have been cleared since; the address tells whether it is still listed.
    if (tag->index < tag->requests->size() && (*tag->requests)[tag->index].uri == tag->uri) {
        return &(*tag->requests)[tag->index];
    }
    return nullptr;
}

}  // namespace

std::string JsString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            g_snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

PageView::PageView(PageOptions options) : options_(std::move(options)) {
    WebKitWebContext* context = SharedContext();
    gchar* dir = g_dir_make_tmp("tavrel-page-XXXXXX", nullptr);
    if (!dir) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    folder_ = dir;
    g_free(dir);
    fs::copy(options_.stageDir, folder_, fs::copy_options::recursive);
    WriteUrlFile(folder_ + "/js/url.js", options_.serviceBase, options_.moreAddress,
                 options_.serviceBase);

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    const std::string standIn = StandIn(options_.token, options_.tokenValue);
    if (!standIn.empty()) {
        WebKitUserScript* script =
            webkit_user_script_new(standIn.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(content, script);
        webkit_user_script_unref(script);
    }
    if (!options_.userScript.empty()) {
        WebKitUserScript* script = webkit_user_script_new(
            options_.userScript.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
            WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(content, script);
        webkit_user_script_unref(script);
    }
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                         "user-content-manager", content, nullptr));
    g_object_unref(content);
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), options_.width, options_.height);
    gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    gtk_widget_show_all(window_);

    g_signal_connect(view_, "resource-load-started", G_CALLBACK(OnResourceStarted), this);
    g_signal_connect(view_, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer self) {
                         if (event == WEBKIT_LOAD_FINISHED) {
                             static_cast<PageView*>(self)->loaded_ = true;
                         }
                     }),
                     this);
    g_signal_connect(view_, "load-failed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, gchar*, GError*,
                                    gpointer self) -> gboolean {
                         static_cast<PageView*>(self)->loadFailed_ = true;
                         return FALSE;
                     }),
                     this);
}

PageView::~PageView() {
    if (window_) {
        gtk_widget_destroy(window_);
    }
    // Let the engine settle the view's end before the folder goes.
    Iterate(0.05, [] { return false; });
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void PageView::OnResourceStarted(WebKitWebView*, void* resource, void* request, void* self) {
    auto* view = static_cast<PageView*>(self);
    const char* uri = webkit_uri_request_get_uri(static_cast<WebKitURIRequest*>(request));
    view->requests_.push_back({uri ? uri : "", Request::Pending});
    auto* tag = new ResourceTag{&view->requests_, view->requests_.size() - 1, uri ? uri : ""};
    auto destroy = +[](gpointer data, GClosure*) { delete static_cast<ResourceTag*>(data); };
    g_signal_connect_data(resource, "failed",
                          G_CALLBACK(+[](WebKitWebResource*, GError*, gpointer t) {
                              if (Request* r = Find(static_cast<ResourceTag*>(t))) {
                                  r->state = Request::Failed;
                              }
                          }),
                          tag, nullptr, GConnectFlags(0));
    g_signal_connect_data(resource, "finished", G_CALLBACK(+[](WebKitWebResource*, gpointer t) {
                              if (Request* r = Find(static_cast<ResourceTag*>(t))) {
                                  if (r->state == Request::Pending) {
                                      r->state = Request::Finished;
                                  }
                              }
                          }),
                          tag, destroy, GConnectFlags(0));
}

void PageView::Iterate(double timeoutSeconds, const std::function<bool()>& done) {
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeoutSeconds * 1e6);
    // A ticking source wakes the loop so that the deadline is seen even when all is quiet.
    const guint tick = g_timeout_add(
        10, +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!done() && g_get_monotonic_time() < deadline) {
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(tick);
}

bool PageView::Load(double timeoutSeconds) {
    loaded_ = loadFailed_ = false;
    gchar* uri = g_filename_to_uri((folder_ + "/tavrel.html").c_str(), nullptr, nullptr);
    webkit_web_view_load_uri(view_, uri);
    g_free(uri);
    Iterate(timeoutSeconds, [this] { return loaded_; });
    return loaded_ && !loadFailed_;
}

std::string PageView::Run(const std::string& body) {
    const std::string script =
        "(function () { try { var r = (function () { " + body +
        " })(); return r === undefined ? 'undefined' : JSON.stringify(r); } catch (e) { "
        "return '!error: ' + e; } })()";
    struct Call {
        bool done = false;
        std::string result = "!error: no answer";
    } call;
    webkit_web_view_evaluate_javascript(
        view_, script.c_str(), -1, nullptr, nullptr, nullptr,
        +[](GObject* source, GAsyncResult* res, gpointer data) {
            auto* c = static_cast<Call*>(data);
            GError* error = nullptr;
            JSCValue* value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, &error);
            if (value) {
                gchar* text = jsc_value_to_string(value);
                c->result = text ? text : "";
                g_free(text);
                g_object_unref(value);
            } else {
                c->result = std::string("!error: ") + (error ? error->message : "?");
                g_clear_error(&error);
            }
            c->done = true;
        },
        &call);
    Iterate(60, [&call] { return call.done; });
    return call.result;
}

void PageView::SendKey(unsigned keyval) {
    GtkWidget* widget = GTK_WIDGET(view_);
    gtk_widget_grab_focus(widget);
    GdkWindow* window = gtk_widget_get_window(widget);
    GdkDisplay* display = gdk_window_get_display(window);
    GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
    guint16 keycode = 0;
    guint8 group = 0;
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys,
                                          &count) &&
        count > 0) {
        keycode = static_cast<guint16>(keys[0].keycode);
        group = static_cast<guint8>(keys[0].group);
    }
    g_free(keys);
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(window));
        event->key.send_event = FALSE;
        event->key.time = GDK_CURRENT_TIME;
        event->key.keyval = keyval;
        event->key.hardware_keycode = keycode;
        event->key.group = group;
        gdk_event_set_device(event, keyboard);
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
    // Key events reach the page asynchronously; a round trip sees them handled.
    Eval("0");
}

void PageView::Type(const std::string& utf8) {
    for (const char* p = utf8.c_str(); *p; p = g_utf8_next_char(p)) {
        SendKey(gdk_unicode_to_keyval(g_utf8_get_char(p)));
    }
}

void PageView::PressEnter() {
    SendKey(GDK_KEY_Return);
}

bool PageView::WaitFor(const std::string& condition, double timeoutSeconds) {
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeoutSeconds * 1e6);
    while (true) {
        if (Eval("!!(" + condition + ")") == "true") {
            return true;
        }
        if (g_get_monotonic_time() >= deadline) {
            return false;
        }
        Iterate(0.02, [] { return false; });
    }
}

bool PageView::WaitForRequest(size_t index, double timeoutSeconds) {
    Iterate(timeoutSeconds, [this, index] {
        return index < requests_.size() && requests_[index].state != Request::Pending;
    });
    return index < requests_.size() && requests_[index].state != Request::Pending;
}

namespace {

bool IsCatalogue(const std::string& uri) {
    return uri.find("/getfw.php?") != std::string::npos ||
           uri.find("/getfwhot.php?") != std::string::npos;
}

}  // namespace

std::vector<std::string> PageView::CatalogueRequests() const {
    std::vector<std::string> out;
    for (const Request& r : requests_) {
        if (IsCatalogue(r.uri)) {
            out.push_back(r.uri);
        }
    }
    return out;
}

bool PageView::WaitForCatalogue(size_t count, double timeoutSeconds) {
    auto done = [this, count] {
        size_t seen = 0;
        for (const Request& r : requests_) {
            if (IsCatalogue(r.uri) && ++seen == count) {
                return r.state != Request::Pending;
            }
        }
        return false;
    };
    Iterate(timeoutSeconds, done);
    return done();
}

bool PageView::Snapshot(const std::string& pngPath) {
    struct Shot {
        bool done = false;
        bool ok = false;
        std::string path;
    } shot;
    shot.path = pngPath;
    webkit_web_view_get_snapshot(
        view_, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        +[](GObject* source, GAsyncResult* res, gpointer data) {
            auto* s = static_cast<Shot*>(data);
            cairo_surface_t* surface =
                webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), res, nullptr);
            if (surface) {
                s->ok =
                    cairo_surface_write_to_png(surface, s->path.c_str()) == CAIRO_STATUS_SUCCESS;
                cairo_surface_destroy(surface);
            }
            s->done = true;
        },
        &shot);
    Iterate(60, [&shot] { return shot.done; });
    return shot.ok;
}

}  // namespace pagetest
