#pragma once
// Windows of the user's other processes of this program, reached over a
// Unix socket per process in a private per-user folder.
#include <optional>
#include <string>

#include "platform/api/user.h"

namespace platform::user::remote {

// True when the handle names a window of another process.
bool IsForeign(HWND hwnd);

// Starts serving this process's windows to the user's other processes (once).
void EnsureServer();

// Asks every other process; the first window that matches, or null.
HWND Find(const std::u16string* className, const std::u16string* title);

// Each returns nullopt when the window's process cannot be reached or
// answers nothing sensible; the caller fails cleanly then.
std::optional<LRESULT> Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
std::optional<bool> IsWindow(HWND hwnd);
std::optional<bool> Show(HWND hwnd, int cmd);
std::optional<bool> SetForeground(HWND hwnd);
std::optional<DWORD> ThreadOf(HWND hwnd, DWORD* processId);
std::optional<bool> Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace platform::user::remote
