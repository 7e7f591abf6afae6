#pragma once
// Start-up of the program: command-line actions, the forced update, the single
// instance and the main window's message loop.
#include "platform/api/win.h"

bool HandleCommandLine(LPWSTR commandLine);
bool RunForcedUpdateIfPending();
bool EnsureSingleInstance();
int RunMainWindow();
