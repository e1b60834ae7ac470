// Small text helpers shared by the readers of project files, records and docker's answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// The text without the blanks (ASCII white space) at either end.
inline std::string_view trimmed(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n\f\v";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The text without the line ends at its end.
inline std::string_view without_line_end(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// The text's last line, without its line end.
inline std::string_view last_line(std::string_view text) {
  text = without_line_end(text);
  const auto end = text.rfind('\n');
  return end == std::string_view::npos ? text : text.substr(end + 1);
}

// The pieces of `text` between separators, the last one included even when empty.
inline std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const auto end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) {
      return parts;
    }
    start = end + 1;
  }
}

// A 64-bit FNV-1a hash of the text: a short, stable name for it (a cache volume's, a record's),
// not a defence against anyone choosing the text.
inline std::uint64_t fnv1a(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash = (hash ^ c) * 1099511628211ull;
  }
  return hash;
}

// The names joined by ", ", a long list cut after `shown` names: "a, b and 12 more".
inline std::string listed(const std::vector<std::string> &names, std::size_t shown = 9) {
  std::string text;
  const bool cut = names.size() > shown + 1;
  for (std::size_t i = 0; i < names.size() && (!cut || i < shown); ++i) {
    text += (i == 0 ? "" : ", ") + names[i];
  }
  if (cut) {
    text += " and " + std::to_string(names.size() - shown) + " more";
  }
  return text;
}

} // namespace tarvo
