#pragma once
// Shared text helpers of the profile and registry stores.
#include <string>
#include <string_view>

namespace platform::ini {

// Blanks around names and values: spaces and tabs.
std::u16string_view Trim(std::u16string_view s);

// Equality without regard to case (simple per-character lower-casing).
bool EqualNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace platform::ini
