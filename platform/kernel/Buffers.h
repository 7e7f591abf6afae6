#pragma once
// The platform's convention for returning a string into a caller's buffer.
#include <algorithm>
#include <string_view>

#include "platform/api/types.h"

namespace platform::kernel {

// When it fits: copies it with its terminator and returns its length. Otherwise
// writes nothing and returns the size needed, terminator included.
inline DWORD ReturnString(std::u16string_view text, LPWSTR buffer, DWORD size) {
    if (buffer == nullptr || size <= text.size()) {
        return static_cast<DWORD>(text.size() + 1);
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

}  // namespace platform::kernel
