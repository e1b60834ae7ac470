#include "tarvo/project/ini.hpp"
#include "tarvo/text.hpp"

#include <algorithm>
#include <cctype>
#include <vector>

namespace tarvo::project {

namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::vector<std::string_view> lines_of(const std::string &text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    lines.emplace_back(text.data() + start, end - start);
    start = end + 1;
  }
  return lines;
}

// The section a header line opens, or absent for any other line.
std::optional<std::string> header(std::string_view line) {
  const std::string content(trimmed(line));
  if (content.empty() || content.front() != '[') {
    return std::nullopt;
  }
  auto close = content.find(']');
  return close == std::string::npos ? std::nullopt
                                    : std::optional(lower(content.substr(1, close - 1)));
}

bool comment(const std::string &content) {
  return content.empty() || content.front() == '#' || content.front() == ';';
}

} // namespace

bool ini_has_section(const std::string &text, std::string_view section) {
  const auto wanted = lower(section);
  const auto lines = lines_of(text);
  return std::any_of(lines.begin(), lines.end(), [&](std::string_view line) {
    return !line.empty() && line.front() != ' ' && line.front() != '\t' && header(line) == wanted;
  });
}

std::optional<std::string> ini_value(const std::string &text, std::string_view section,
                                     std::string_view key) {
  const auto wanted = lower(section);
  bool in_section = false;
  std::optional<std::string> value;
  for (auto line : lines_of(text)) {
    const bool continuation = !line.empty() && (line.front() == ' ' || line.front() == '\t');
    const std::string content(trimmed(line));
    if (continuation) {
      if (value && !comment(content)) {
        *value += "\n" + content;
      }
      continue;
    }
    if (value) {
      return value; // the value ends at the next line that is not indented
    }
    if (comment(content)) {
      continue;
    }
    if (auto name = header(line)) {
      in_section = *name == wanted;
      continue;
    }
    auto separator = content.find_first_of("=:");
    if (in_section && separator != std::string::npos &&
        lower(trimmed(content.substr(0, separator))) == lower(key)) {
      value = trimmed(content.substr(separator + 1));
    }
  }
  return value;
}

} // namespace tarvo::project
