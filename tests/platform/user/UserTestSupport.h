#pragma once
// Small helpers shared by the window-system tests.
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/api/gdi.h"
#include "platform/api/user.h"

namespace usertest {

// Dispatches everything queued, repeatedly, until `done` holds or the
// deadline passes; true when `done` held.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    MSG msg;
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

inline void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A class name unique to each test, so registrations never collide.
inline std::u16string UniqueClass(const char16_t* base) {
    static int n = 0;
    std::u16string s = base;
    for (char c : std::to_string(++n)) {
        s.push_back(static_cast<char16_t>(c));
    }
    return s;
}

inline ATOM Register(const std::u16string& name, WNDPROC proc, UINT style = 0,
                     HCURSOR cursor = nullptr, HBRUSH background = nullptr) {
    WNDCLASSW wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name.c_str();
    return RegisterClassW(&wc);
}

}  // namespace usertest
