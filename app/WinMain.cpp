// The program's entry point: decides whom it serves, in a fixed order.
#include "app/AppPaths.h"
#include "app/Globals.h"
#include "app/InstallActions.h"
#include "app/Startup.h"
#include "app/WebPage.h"
#include "platform/atl/atlapp.h"

int wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    InitGlobals();
    InitAppPaths();
    if (!HandleCommandLine(commandLine)) {
        return 0;
    }
    if (!RunForcedUpdateIfPending()) {
        return 0;
    }
    if (!EnsureSingleInstance()) {
        return 0;
    }
    PrepareWebPage();
    RegisterBrowserFeatures();
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    _Module.Init(nullptr, instance);
    RunMainWindow();
    _Module.Term();
    CoUninitialize();
    return 0;
}
