// The list box control ("ListBox"), drawn by the layer itself.
#include "platform/user/WindowManager.h"

namespace platform::user {
LRESULT ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
}  // namespace platform::user
