#pragma once
// The calling thread's last error.
#include "platform/api/types.h"

DWORD GetLastError();
void SetLastError(DWORD error);
