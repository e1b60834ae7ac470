#include "tarvo/templates/templates.hpp"

#include "tarvo/error.hpp"
#include "tarvo/repr.hpp"

#include <fmt/format.h>
#include <optional>

namespace tarvo::templates {

// Defined in the source that the build generates from the template files.
std::optional<std::string_view> embedded(std::string_view name);

std::string_view text(std::string_view name) {
  if (auto found = embedded(name)) {
    return *found;
  }
  throw Error(ErrorKind::FileNotFoundError, fmt::format("template {} not found", repr(name)));
}

namespace {

void escape_toml(std::string &out, std::string_view value) {
  for (char c : value) {
    auto u = static_cast<unsigned char>(c);
    switch (c) {
    case '\\':
      out += "\\\\";
      break;
    case '"':
      out += "\\\"";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\f':
      out += "\\f";
      break;
    case '\r':
      out += "\\r";
      break;
    default:
      if (u < 0x20 || u == 0x7f) {
        out += fmt::format("\\u{:04X}", u);
      } else {
        out += c;
      }
    }
  }
}

void escape_yaml(std::string &out, std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    auto u = static_cast<unsigned char>(value[i]);
    auto next = i + 1 < value.size() ? static_cast<unsigned char>(value[i + 1]) : 0;
    auto after = i + 2 < value.size() ? static_cast<unsigned char>(value[i + 2]) : 0;
    switch (value[i]) {
    case '\\':
      out += "\\\\";
      continue;
    case '"':
      out += "\\\"";
      continue;
    case '\0':
      out += "\\0";
      continue;
    case '\t':
      out += "\\t";
      continue;
    case '\n':
      out += "\\n";
      continue;
    case '\r':
      out += "\\r";
      continue;
    default:
      break;
    }
    if (u < 0x20 || u == 0x7f) {
      out += fmt::format("\\x{:02X}", u);
    } else if (u == 0xC2 && next >= 0x80 && next <= 0x9F) {
      // C1 controls (NEL among them) are not printable in YAML.
      out += next == 0x85 ? std::string("\\N") : fmt::format("\\x{:02X}", next);
      ++i;
    } else if (u == 0xE2 && next == 0x80 && (after == 0xA8 || after == 0xA9)) {
      out += after == 0xA8 ? "\\L" : "\\P"; // line and paragraph separators
      i += 2;
    } else if (u == 0xEF && next == 0xBB && after == 0xBF) {
      out += "\\uFEFF";
      i += 2;
    } else {
      out += value[i];
    }
  }
}

// Well-formed UTF-8: TOML and YAML files hold nothing else.
bool is_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    unsigned char lead = byte(i);
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) {
        return false;
      }
    }
    unsigned char second = length > 1 ? byte(i + 1) : 0;
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
      return false;
    }
    i += length;
  }
  return true;
}

} // namespace

std::string escape(std::string_view value, Quoting quoting) {
  std::string out;
  out.reserve(value.size());
  if (quoting == Quoting::TomlBasic) {
    escape_toml(out, value);
  } else {
    escape_yaml(out, value);
  }
  return out;
}

std::string render(std::string_view templ, const Fields &fields, Quoting quoting) {
  for (const auto &[field, value] : fields) {
    if (!is_utf8(value)) {
      throw Error(ErrorKind::ValueError,
                  fmt::format("the value of {} is not valid UTF-8 text", repr(field)));
    }
  }
  std::string out;
  out.reserve(templ.size());
  for (std::size_t i = 0; i < templ.size(); ++i) {
    char c = templ[i];
    if (c == '}') {
      if (i + 1 < templ.size() && templ[i + 1] == '}') {
        out += '}';
        ++i;
        continue;
      }
      throw Error(ErrorKind::ValueError, "Single '}' encountered in format string");
    }
    if (c != '{') {
      out += c;
      continue;
    }
    if (i + 1 < templ.size() && templ[i + 1] == '{') {
      out += '{';
      ++i;
      continue;
    }
    std::size_t close = templ.find('}', i + 1);
    if (close == std::string_view::npos) {
      throw Error(ErrorKind::ValueError, i + 1 == templ.size()
                                             ? "Single '{' encountered in format string"
                                             : "expected '}' before end of string");
    }
    std::string_view name = templ.substr(i + 1, close - i - 1);
    const std::string *value = nullptr;
    for (const auto &[field, v] : fields) {
      if (field == name) {
        value = &v;
        break;
      }
    }
    if (value == nullptr) {
      throw Error(ErrorKind::KeyError, repr(name));
    }
    out += escape(*value, quoting);
    i = close;
  }
  return out;
}

} // namespace tarvo::templates
