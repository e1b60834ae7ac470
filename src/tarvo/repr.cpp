#include "tarvo/repr.hpp"

#include <fmt/format.h>

namespace tarvo {

std::string repr(std::string_view text) {
  bool has_single = text.find('\'') != std::string_view::npos;
  bool has_double = text.find('"') != std::string_view::npos;
  char quote = has_single && !has_double ? '"' : '\'';
  std::string out(1, quote);
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (c == quote || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      out += fmt::format("\\x{:02x}", u);
    } else {
      out += c;
    }
  }
  out += quote;
  return out;
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto u = static_cast<unsigned char>(text[i]);
    // C1 controls are U+0080 to U+009F: 0xC2 followed by 0x80 to 0x9F in UTF-8.
    auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (u == 0xc2 && next >= 0x80 && next <= 0x9f) {
      out += fmt::format("\\x{:02x}", next);
      ++i;
    } else if (u == '\n') {
      out += "\\n";
    } else if (u == '\r') {
      out += "\\r";
    } else if ((u < 0x20 && u != '\t') || u == 0x7f) {
      out += fmt::format("\\x{:02x}", u);
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string repr(const std::vector<std::string> &items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      out += ", ";
    }
    out += repr(items[i]);
  }
  return out + "]";
}

std::string repr(const std::optional<std::vector<std::string>> &items) {
  return items ? repr(*items) : "None";
}

} // namespace tarvo
