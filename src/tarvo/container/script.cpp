#include "tarvo/container/script.hpp"

#include <algorithm>

namespace tarvo::container {

namespace {

bool literal(std::string_view value) {
  return std::all_of(value.begin(), value.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("_./:=@%+,-").find(c) != std::string_view::npos;
  });
}

// Taken as written inside double quotes: no expansion, escape or end of the quotes.
bool plain_in_double_quotes(std::string_view value) {
  return std::none_of(value.begin(), value.end(), [](char c) {
    return std::string_view("\"$`\\!").find(c) != std::string_view::npos ||
           static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
}

} // namespace

Script &Script::line(std::string_view text) {
  text_ += text;
  text_ += '\n';
  return *this;
}

Script &Script::line_if(bool applies, std::string_view text) {
  return line(applies ? text : std::string_view());
}

Script &Script::prepend(std::string_view text) {
  text_.insert(0, text);
  return *this;
}

std::string shell_word(std::string_view value) {
  if (!value.empty() && literal(value)) {
    return std::string(value);
  }
  std::string out = "'";
  for (char c : value) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

std::string double_quoted(std::string_view value) {
  return plain_in_double_quotes(value) ? "\"" + std::string(value) + "\"" : shell_word(value);
}

} // namespace tarvo::container
