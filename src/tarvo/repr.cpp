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
