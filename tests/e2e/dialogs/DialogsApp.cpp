// One skinned dialog of the program, shown modally through the desktop's
// display backend so that a script can look at it and click it.
//
//   e2e_dialogs_app about | settings | update | uptodate
//
// Prints "shown <left> <top> <right> <bottom>" once the dialog is on screen
// (its window rectangle), then "result <n>" when it closes, and exits 0.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/AppPaths.h"
#include "app/Globals.h"
#include "mainwnd/AboutDlg.h"
#include "platform/api/win.h"
#include "settings/PageSettingDlg.h"
#include "update/BriskoUpdater.h"
#include "update/UpdateDlg.h"

namespace {

HWND g_dialog = nullptr;
UINT_PTR g_timer = 0;

void CALLBACK WatchShown(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_dialog || !IsWindow(g_dialog) || !IsWindowVisible(g_dialog)) {
        return;
    }
    KillTimer(nullptr, g_timer);
    UpdateWindow(g_dialog);
    RECT r{};
    GetWindowRect(g_dialog, &r);
    std::printf("shown %d %d %d %d\n", static_cast<int>(r.left), static_cast<int>(r.top),
                static_cast<int>(r.right), static_cast<int>(r.bottom));
    std::fflush(stdout);
}

template <class Dialog>
INT_PTR Show(Dialog& dlg) {
    static Dialog* current = nullptr;
    current = &dlg;
    g_timer = SetTimer(nullptr, 0, 20, [](HWND h, UINT m, UINT_PTR id, DWORD t) {
        g_dialog = current->m_hWnd;
        WatchShown(h, m, id, t);
    });
    return dlg.DoModal(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: e2e_dialogs_app about|settings|update|uptodate\n");
        return 2;
    }
    const std::string which = argv[1];
    InitGlobals();
    InitAppPaths();
    INT_PTR result = -1;
    if (which == "about") {
        CAboutDlg dlg;
        result = Show(dlg);
    } else if (which == "settings") {
        CPageSettingDlg dlg;
        result = Show(dlg);
    } else if (which == "update" || which == "uptodate") {
        CBriskoUpdater* updater = GetUpdater();
        updater->m_newVersion = u"1.0.0.2";
        updater->m_updateInfo =
            which == "update" ? u"修复下载中断后无法继续的问题|新增合同与报告模板分类|界面细节调整"
                              : u"";
        CUpdateDlg dlg;
        result = Show(dlg);
    } else {
        std::fprintf(stderr, "unknown dialog %s\n", which.c_str());
        return 2;
    }
    std::printf("result %d\n", static_cast<int>(result));
    std::fflush(stdout);
    return 0;
}
