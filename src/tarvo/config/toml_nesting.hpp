// A bound on how deeply a TOML document nests, checked before it is parsed: the parser and the
// conversion into our values take a stack frame per level, so a document thousands of levels
// deep ([a.a.a...], a.a.a... = 1, [[[...]]]) would overflow the stack instead of failing.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarvo {

inline constexpr std::size_t MAX_TOML_NESTING = 1000;

// Raises TomlDecodeError at the first place where the document nests deeper than
// MAX_TOML_NESTING levels (tables, dotted keys, arrays and inline tables together). Anything
// else, wrong or right, is left to the parser.
void check_toml_nesting(std::string_view document);

} // namespace tarvo
