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

namespace {

// The length of the valid UTF-8 sequence that starts `text`, or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF included).
std::size_t utf8_length(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = lead < 0x80                    ? 1
                       : lead >= 0xc2 && lead <= 0xdf ? 2
                       : lead >= 0xe0 && lead <= 0xef ? 3
                       : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                      : 0;
  if (length == 0 || length > text.size()) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) {
      return 0;
    }
  }
  const unsigned char second = length > 1 ? byte(1) : 0;
  if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) ||
      (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second > 0x8f)) {
    return 0;
  }
  return length;
}

} // namespace

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    auto u = static_cast<unsigned char>(text[i]);
    if (u == '"' || u == '\\') {
      out += '\\';
      out += text[i++];
    } else if (u == '\n') {
      out += "\\n";
      ++i;
    } else if (u == '\t') {
      out += "\\t";
      ++i;
    } else if (u < 0x20 || u == 0x7f) {
      out += fmt::format("\\u{:04x}", u);
      ++i;
    } else if (auto length = utf8_length(text.substr(i))) {
      // C1 controls (U+0080 to U+009F) are escaped too: a terminal may act on them.
      auto next = static_cast<unsigned char>(text[i + 1 < text.size() ? i + 1 : i]);
      if (u == 0xc2 && next <= 0x9f) {
        out += fmt::format("\\u{:04x}", next);
      } else {
        out.append(text.substr(i, length));
      }
      i += length;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  return out + "\"";
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
