// Character tests and scanners shared by the packaging parsers: Python's notion of
// whitespace, the PEP 440 version grammar, and the one-line parse error.
#pragma once

#include "tarvo/error.hpp"
#include "tarvo/packaging/version.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::packaging::scan {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool is_alnum(char c) { return is_digit(c) || is_alpha(c); }
inline char to_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// A character that Python's regular expressions count as part of a word. Bytes of non-ASCII
// characters count as word characters: most of them are letters.
inline bool is_word(char c) {
  return is_alnum(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// Whether s[i] may end a word match (\b after a word): the end of the text or a non-word.
inline bool word_ends_at(std::string_view s, std::size_t i) {
  return i >= s.size() || !is_word(s[i]);
}

std::string lower(std::string_view text);

// Whether `text` at `pos` starts with the lower-case ASCII `word`, ignoring case.
bool starts_with_icase(std::string_view text, std::size_t pos, std::string_view word);

// The length in bytes of the whitespace character (as Python's str.isspace counts it,
// Unicode spaces included) that starts at s[i], or 0 when s[i] starts none.
std::size_t space_length(std::string_view s, std::size_t i);

// The position after the run of whitespace that starts at `pos`.
std::size_t skip_space(std::string_view s, std::size_t pos);

// `text` without leading and trailing whitespace, as Python's str.strip().
std::string_view strip(std::string_view text);

// The text in Python's quoted form, cut short when it is very long, for error messages.
std::string quoted(std::string_view text);

// Which forms of the version grammar a context accepts.
struct VersionForm {
  bool local = true;           // a "+label" local segment
  bool wildcard = false;       // a ".*" right after the release segment, ending the version
  std::size_t min_release = 1; // the least number of release components
};

// Scans a version (without surrounding whitespace) starting at `pos` and returns the end of
// the longest match, or nothing when no version starts there. Fills `out` when given; a
// wildcard match sets `wildcard` and leaves only epoch and release in `out`.
std::optional<std::size_t> scan_version(std::string_view s, std::size_t pos, VersionForm form,
                                        Version *out = nullptr, bool *wildcard = nullptr);

// The error for a syntax error at byte `pos` of `source`: "message at column N: 'source'".
[[noreturn]] void syntax_error(ErrorKind kind, std::string_view message, std::string_view source,
                               std::size_t pos);

} // namespace tarvo::packaging::scan
