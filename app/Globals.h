#pragma once
// Process-wide values set in the first step of start-up.
#include "platform/api/types.h"

// Name of the auto-start entry.
extern const WCHAR* g_appName;
// Statistics address format, filled in by the statistics reporter.
extern WCHAR g_statUrlFormat[MAX_PATH];
// How the main window is first shown; 0 (hidden) for the log-on start.
extern int g_nCmdShow;

// Sets g_statUrlFormat and g_appName.
void InitGlobals();
