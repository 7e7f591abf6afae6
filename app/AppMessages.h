#pragma once
// Window messages of the program.
#include "platform/api/types.h"

constexpr UINT WM_STAT_REPORT = 2049;    // to the statistics window, wParam = event code
constexpr UINT WM_UPDATE_RESULT = 2050;  // to the main window, wParam = need update
constexpr UINT WM_TRAY_NOTIFY = 2051;    // tray icon callback, lParam = mouse message
constexpr UINT WM_EXIT_REQUEST = 2052;   // from another process started with "ExitApp"
