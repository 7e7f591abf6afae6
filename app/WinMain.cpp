// Start-up of the program.
#include "app/AppPaths.h"
#include "app/Globals.h"
#include "app/InstallActions.h"
#include "app/WebPage.h"

int wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    InitGlobals();
    InitAppPaths();
    PrepareWebPage();
    RegisterBrowserFeatures();
    // The main window and its message loop are not part of this build yet.
    return 0;
}
