// Printed forms of values as users of the Python tools know them: 'text' in quotes,
// lists as ['a', 'b'], absence as None.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// 'text' with Python's quoting rules: single quotes unless the text holds a single quote
// and no double quote; backslashes and control characters escaped.
std::string repr(std::string_view text);

// The text with the characters that would drive a terminal shown escaped: C0 controls other than
// tab, DEL and C1 controls become "\n", "\r" or "\xHH". Text without them is returned as it
// is. Used wherever a value read from the project is printed.
std::string printable(std::string_view text);

// "text" as a JSON string: quotes, backslashes and control characters (C1 too) escaped, and each
// byte that is not part of valid UTF-8 replaced by U+FFFD, so that any text gives valid JSON.
std::string json_string(std::string_view text);

// ['a', 'b'] with each entry quoted as above.
std::string repr(const std::vector<std::string> &items);

// The list's printed form, or None when absent.
std::string repr(const std::optional<std::vector<std::string>> &items);

} // namespace tarvo
