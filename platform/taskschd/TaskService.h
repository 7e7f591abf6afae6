#pragma once
// Creation of the Task Scheduler service object, for the COM class registry.
#include "platform/api/com.h"

namespace platform::taskschd {

HRESULT CreateTaskService(REFIID riid, void** object);

}  // namespace platform::taskschd
