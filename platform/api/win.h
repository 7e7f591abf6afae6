#pragma once
// Umbrella header of the platform layer: everything the program's Parts call.
#include "platform/api/types.h"
#include "platform/api/errors.h"
#include "platform/api/text.h"

// Each area's header, once that area exists.
#if __has_include("platform/api/kernel.h")
#include "platform/api/kernel.h"
#endif
#if __has_include("platform/api/fileapi.h")
#include "platform/api/fileapi.h"
#endif
#if __has_include("platform/api/shell.h")
#include "platform/api/shell.h"
#endif
#if __has_include("platform/api/profile.h")
#include "platform/api/profile.h"
#endif
#if __has_include("platform/api/registry.h")
#include "platform/api/registry.h"
#endif
#if __has_include("platform/api/resource.h")
#include "platform/api/resource.h"
#endif
#if __has_include("platform/api/version.h")
#include "platform/api/version.h"
#endif
#if __has_include("platform/api/inet.h")
#include "platform/api/inet.h"
#endif
#if __has_include("platform/api/netbios.h")
#include "platform/api/netbios.h"
#endif
#if __has_include("platform/api/intrin.h")
#include "platform/api/intrin.h"
#endif
#if __has_include("platform/api/com.h")
#include "platform/api/com.h"
#endif
#if __has_include("platform/api/taskschd.h")
#include "platform/api/taskschd.h"
#endif
#if __has_include("platform/api/user.h")
#include "platform/api/user.h"
#endif
#if __has_include("platform/api/gdi.h")
#include "platform/api/gdi.h"
#endif
#if __has_include("platform/api/commctrl.h")
#include "platform/api/commctrl.h"
#endif
#if __has_include("platform/api/mmtimer.h")
#include "platform/api/mmtimer.h"
#endif
