// The dialog manager: the dialog class procedure.
#include <cstring>

#include "platform/api/errors.h"
#include "platform/api/gdi.h"
#include "platform/user/WindowManager.h"

using namespace platform::user;

LRESULT DefDlgProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hwnd, DWLP_DLGPROC));
    if (proc) {
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
        INT_PTR r = proc(hwnd, msg, wParam, lParam);
        if (r) {
            switch (msg) {
                case WM_INITDIALOG:
                case WM_CTLCOLORDLG:
                case WM_CTLCOLORLISTBOX:
                    return r;
                default:
                    return IsWindow(hwnd) ? GetWindowLongPtrW(hwnd, DWLP_MSGRESULT) : 0;
            }
        }
    }
    if (!IsWindow(hwnd)) {
        return 0;
    }
    switch (msg) {
        case WM_CLOSE:
            PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            return 0;
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}
