#pragma once
// UTF-16 text of the platform layer and its conversions at the Linux boundary.
// Every conversion between UTF-16 and UTF-8 in the program goes through here.
#include <string>
#include <string_view>

#include "platform/api/types.h"

namespace platform {

// Ill-formed input (a lone surrogate, a broken UTF-8 sequence) becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Length of a zero-terminated UTF-16 string; 0 for null.
size_t StrLen(const WCHAR* s);

// View of a zero-terminated UTF-16 string; empty for null.
inline std::u16string_view View(const WCHAR* s) { return s ? std::u16string_view(s, StrLen(s)) : std::u16string_view(); }

// Copies text into a buffer of `capacity` units, cut to capacity - 1 and always
// zero-terminated; returns the units copied (without the zero).
size_t CopyToBuffer(WCHAR* buffer, size_t capacity, std::u16string_view text);

}  // namespace platform
