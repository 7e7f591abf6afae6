// Choice of the display backend for this process.
#include "platform/backend/Backend.h"

#include <atomic>
#include <memory>

#include "platform/backend/headless/HeadlessBackend.h"

namespace platform::backend {
namespace {
std::atomic<EventSink*> g_sink{nullptr};
}

Backend& Get() {
    // Only the in-memory backend exists so far; the GTK one takes over for
    // TAVREL_BACKEND other than "headless" once it is built.
    static Backend* backend = new headless::HeadlessBackend();
    return *backend;
}

void SetEventSink(EventSink* sink) {
    g_sink.store(sink);
}
EventSink* GetEventSink() {
    return g_sink.load();
}

}  // namespace platform::backend
