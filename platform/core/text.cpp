#include "platform/api/text.h"

#include <glib.h>

#include <algorithm>

namespace platform {

std::string ToUtf8(std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    // GLib refuses lone surrogates; replace them first so the conversion cannot fail.
    std::u16string clean(text);
    for (size_t i = 0; i < clean.size(); ++i) {
        char16_t c = clean[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < clean.size() && clean[i + 1] >= 0xDC00 &&
            clean[i + 1] <= 0xDFFF) {
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            clean[i] = 0xFFFD;
        }
    }
    glong written = 0;
    gchar* out = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(clean.data()),
                                 static_cast<glong>(clean.size()), nullptr, &written, nullptr);
    if (out == nullptr) {
        return {};
    }
    std::string result(out, static_cast<size_t>(written));
    g_free(out);
    return result;
}

std::u16string FromUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    glong written = 0;
    gunichar2* out = g_utf8_to_utf16(valid, -1, nullptr, &written, nullptr);
    g_free(valid);
    if (out == nullptr) {
        return {};
    }
    std::u16string result(reinterpret_cast<const char16_t*>(out), static_cast<size_t>(written));
    g_free(out);
    return result;
}

size_t StrLen(const WCHAR* s) {
    if (s == nullptr) {
        return 0;
    }
    size_t n = 0;
    while (s[n] != 0) {
        ++n;
    }
    return n;
}

size_t CopyToBuffer(WCHAR* buffer, size_t capacity, std::u16string_view text) {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    size_t n = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return n;
}

}  // namespace platform
