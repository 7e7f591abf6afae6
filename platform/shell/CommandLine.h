#pragma once
// Splitting a parameter string into arguments by the platform's command-line rules.
#include <string>
#include <string_view>
#include <vector>

namespace platform::shell {

// Spaces and tabs separate arguments; double quotes group; 2n backslashes before a
// quote give n backslashes and the quote acts, 2n+1 give n and a literal quote;
// other backslashes are literal; "" inside quotes is a literal quote.
std::vector<std::u16string> SplitCommandLine(std::u16string_view line);

}  // namespace platform::shell
