#pragma once
// Small text helpers of the service: JSON strings, query numbers, names.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace service {

// Appends `text` as a JSON string literal, quotes included. Also escapes
// U+2028/U+2029 so that the answer stays valid when run as a script.
void AppendJsonString(std::string& out, std::string_view text);

// True for a plain script identifier ([A-Za-z_$][A-Za-z0-9_$]*, at most 128 characters).
bool IsScriptIdentifier(std::string_view name);

// A decimal integer made only of digits (an optional leading '-'), within int64;
// nothing for anything else.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// Percent-encodes every byte outside the unreserved set (RFC 3986).
std::string PercentEncode(std::string_view text);

// Trims ASCII spaces at both ends.
std::string_view Trim(std::string_view text);

}  // namespace service
