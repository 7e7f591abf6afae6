#pragma once
// Common-control notifications: the header every WM_NOTIFY carries and the
// tool-tip text request.
#include "platform/api/types.h"

struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
using LPNMHDR = NMHDR*;

// Tool-tip text request (TTN_GETDISPINFOW): the receiver fills lpszText or szText.
struct NMTTDISPINFOW {
    NMHDR hdr;
    LPWSTR lpszText;
    WCHAR szText[80];
    HINSTANCE hinst;
    UINT uFlags;
    LPARAM lParam;
};
using LPNMTTDISPINFOW = NMTTDISPINFOW*;

constexpr UINT TTN_FIRST = static_cast<UINT>(-520);
constexpr UINT TTN_GETDISPINFOW = TTN_FIRST - 10;  // -530
constexpr UINT TTF_IDISHWND = 0x0001;
constexpr UINT TTM_ADDTOOLW = 0x0432;
constexpr UINT TTM_DELTOOLW = 0x0433;
#define LPSTR_TEXTCALLBACKW (reinterpret_cast<LPWSTR>(static_cast<LONG_PTR>(-1)))
