// Choice of the display backend for this process.
#include "platform/backend/Backend.h"

#include <atomic>
#include <memory>

#include <cstdlib>
#include <cstring>

#include "platform/backend/gtk/GtkBackend.h"
#include "platform/backend/headless/HeadlessBackend.h"

namespace platform::backend {
namespace {
std::atomic<EventSink*> g_sink{nullptr};
}

Backend& Get() {
    // TAVREL_BACKEND=headless selects the in-memory display (tests); anything
    // else the desktop's.
    static Backend* backend = []() -> Backend* {
        const char* choice = std::getenv("TAVREL_BACKEND");
        if (choice && std::strcmp(choice, "headless") == 0) {
            return new headless::HeadlessBackend();
        }
        return gtk::Create();
    }();
    return *backend;
}

void SetEventSink(EventSink* sink) {
    g_sink.store(sink);
}
EventSink* GetEventSink() {
    return g_sink.load();
}

}  // namespace platform::backend
