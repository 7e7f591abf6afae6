#pragma once
// The GTK3 display backend (X11). The display opens on the first call that
// needs it; all GTK work happens on the thread that opened it.
#include "platform/backend/Backend.h"

namespace platform::backend::gtk {

// A new GTK backend; nothing is opened yet.
Backend* Create();

}  // namespace platform::backend::gtk
