// What the TOML parser is given. toml++ 3.4 classifies some non-ASCII code points with a lookup
// that reaches undefined behaviour (fixed upstream after that release), and takes a stack frame
// per nesting level; so it only ever sees ASCII text nested at most MAX_TOML_NESTING levels.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvo::project {

inline constexpr std::size_t MAX_TOML_NESTING = 1000;

// The document as ASCII TOML that parses to the same values: a non-ASCII code point in a basic
// string becomes its \u or \U escape, a literal string holding one becomes the equal basic
// string, and one in a comment becomes "?". Lines stay where they were. Raises TomlDecodeError
// for what TOML forbids on the way (invalid UTF-8, a non-ASCII character outside strings and
// comments, an escape of one) and where the document nests deeper than MAX_TOML_NESTING
// levels (tables, dotted keys, arrays and inline tables together); everything else is left to
// the parser.
std::string toml_input(std::string_view document);

} // namespace tarvo::project
