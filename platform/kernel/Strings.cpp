// UTF-16 string helpers.
#include <glib.h>

#include "platform/api/kernel.h"
#include "platform/api/text.h"

namespace {

// Code point at s[i] (a pair of surrogates counts as one), advancing i.
gunichar NextChar(LPCWSTR s, size_t& i) {
    char16_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
        char16_t low = s[i++];
        return 0x10000 + ((static_cast<gunichar>(c) - 0xD800) << 10) + (low - 0xDC00);
    }
    return c;
}

int Sign(long long v) {
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

}  // namespace

int lstrlenW(LPCWSTR string) {
    return static_cast<int>(platform::StrLen(string));
}

LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength) {
    if (destination == nullptr || maxLength <= 0) {
        return destination;
    }
    platform::CopyToBuffer(destination, static_cast<size_t>(maxLength), platform::View(source));
    return destination;
}

int lstrcmpW(LPCWSTR string1, LPCWSTR string2) {
    std::u16string_view a = platform::View(string1);
    std::u16string_view b = platform::View(string2);
    return Sign(a.compare(b));
}

int lstrcmpiW(LPCWSTR string1, LPCWSTR string2) {
    static const WCHAR empty[] = {0};
    LPCWSTR a = string1 ? string1 : empty;
    LPCWSTR b = string2 ? string2 : empty;
    size_t i = 0;
    size_t j = 0;
    for (;;) {
        gunichar ca = g_unichar_tolower(NextChar(a, i));
        gunichar cb = g_unichar_tolower(NextChar(b, j));
        if (ca != cb || ca == 0) {
            return Sign(static_cast<long long>(ca) - static_cast<long long>(cb));
        }
    }
}

LPWSTR StrStrW(LPCWSTR first, LPCWSTR search) {
    if (first == nullptr || search == nullptr || search[0] == 0) {
        return nullptr;
    }
    std::u16string_view hay = platform::View(first);
    size_t at = hay.find(platform::View(search));
    return at == std::u16string_view::npos ? nullptr : const_cast<LPWSTR>(first + at);
}
