// Class data that windowless controls read from their host window.
#include "platform/api/errors.h"
#include "platform/user/WindowManager.h"

using namespace platform::user;

ULONG_PTR GetClassLongPtrW(HWND hwnd, int index) {
    auto win = Find(hwnd);
    if (!win) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index == GCLP_HBRBACKGROUND) {
        std::lock_guard lk(S().mu);
        return reinterpret_cast<ULONG_PTR>(win->cls ? win->cls->wc.hbrBackground : nullptr);
    }
    SetLastError(1413);  // ERROR_INVALID_INDEX
    return 0;
}
