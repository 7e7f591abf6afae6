#pragma once
// Effects of the program's installation: browser feature values written at
// every start, and the removal of the installer's shortcuts at uninstallation.

bool RegisterBrowserFeatures();
void RemoveShortcuts();
