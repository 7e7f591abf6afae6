#include "platform/profile/ini_text.h"

#include <glib.h>

namespace platform::ini {
namespace {

char16_t Fold(char16_t c) {
    if (c < 0x80) {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
        return c;
    }
    gunichar lower = g_unichar_tolower(c);
    return lower <= 0xFFFF ? static_cast<char16_t>(lower) : c;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && Fold(a[i]) != Fold(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace platform::ini
