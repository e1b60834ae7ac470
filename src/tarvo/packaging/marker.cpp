#include "tarvo/packaging/marker.hpp"

#include "tarvo/error.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/packaging/scan.hpp"
#include "tarvo/packaging/specifier.hpp"
#include "tarvo/repr.hpp"

#include <array>
#include <fmt/format.h>
#include <utility>

namespace tarvo::packaging {

namespace {

constexpr std::size_t variable_count = detail::MARKER_VARIABLE_COUNT;

constexpr std::array<std::string_view, variable_count> variable_names = {
    "python_version",      "python_full_version",    "os_name",
    "sys_platform",        "platform_release",       "platform_system",
    "platform_version",    "platform_machine",       "platform_python_implementation",
    "implementation_name", "implementation_version", "extra",
};

struct VariableSpelling {
  std::string_view text;
  MarkerVariable variable;
};

constexpr std::array<VariableSpelling, 18> variable_spellings = {{
    {"python_version", MarkerVariable::python_version},
    {"python_full_version", MarkerVariable::python_full_version},
    {"os_name", MarkerVariable::os_name},
    {"os.name", MarkerVariable::os_name},
    {"sys_platform", MarkerVariable::sys_platform},
    {"sys.platform", MarkerVariable::sys_platform},
    {"platform_release", MarkerVariable::platform_release},
    {"platform_system", MarkerVariable::platform_system},
    {"platform_version", MarkerVariable::platform_version},
    {"platform.version", MarkerVariable::platform_version},
    {"platform_machine", MarkerVariable::platform_machine},
    {"platform.machine", MarkerVariable::platform_machine},
    {"platform_python_implementation", MarkerVariable::platform_python_implementation},
    {"platform.python_implementation", MarkerVariable::platform_python_implementation},
    {"python_implementation", MarkerVariable::platform_python_implementation},
    {"implementation_name", MarkerVariable::implementation_name},
    {"implementation_version", MarkerVariable::implementation_version},
    {"extra", MarkerVariable::extra},
}};

// The whole word `word` at `pos`: word boundaries on both sides.
bool keyword_at(std::string_view s, std::size_t pos, std::string_view word) {
  return pos < s.size() && s[pos] == word[0] && s.substr(pos, word.size()) == word &&
         (pos == 0 || !scan::is_word(s[pos - 1])) && scan::word_ends_at(s, pos + word.size());
}

std::size_t skip_blanks(std::string_view s, std::size_t pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) {
    ++pos;
  }
  return pos;
}

void append_utf8(std::string &out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xc0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3f));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xe0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (code & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (code & 0x3f));
  }
}

int hex_value(char c) {
  if (scan::is_digit(c)) {
    return c - '0';
  }
  char l = scan::to_lower(c);
  return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

class Parser {
public:
  Parser(std::string_view source, std::size_t pos, ErrorKind kind)
      : s_(source), pos_(pos), kind_(kind) {}

  // marker = atom (("and" | "or") atom)*, atom = "(" marker ")" | comparison; blanks
  // anywhere between. Parentheses are counted on a stack instead of recursing.
  Marker parse() {
    std::size_t open_parens = 0;
    while (true) {
      pos_ = skip_blanks(s_, pos_);
      while (pos_ < s_.size() && s_[pos_] == '(') {
        ++open_parens;
        emit(MarkerToken::Kind::open);
        pos_ = skip_blanks(s_, pos_ + 1);
      }
      parse_comparison();
      pos_ = skip_blanks(s_, pos_);
      while (true) {
        if (keyword_at(s_, pos_, "and")) {
          emit(MarkerToken::Kind::and_);
          pos_ += 3;
          break;
        }
        if (keyword_at(s_, pos_, "or")) {
          emit(MarkerToken::Kind::or_);
          pos_ += 2;
          break;
        }
        if (open_parens == 0) {
          normalize_first_extra();
          return std::move(marker_);
        }
        pos_ = skip_blanks(s_, pos_);
        if (pos_ >= s_.size() || s_[pos_] != ')') {
          fail("Expected closing RIGHT_PARENTHESIS");
        }
        --open_parens;
        emit(MarkerToken::Kind::close);
        pos_ = skip_blanks(s_, pos_ + 1);
      }
    }
  }

  std::size_t position() const { return pos_; }

private:
  [[noreturn]] void fail(std::string_view message) { scan::syntax_error(kind_, message, s_, pos_); }

  void emit(MarkerToken::Kind kind, std::uint32_t index = 0) {
    marker_.tokens.push_back(MarkerToken{kind, index});
  }

  void parse_comparison() {
    MarkerComparison c;
    c.lhs = parse_value();
    pos_ = skip_blanks(s_, pos_);
    c.op = parse_op();
    pos_ = skip_blanks(s_, pos_);
    c.rhs = parse_value();
    pos_ = skip_blanks(s_, pos_);
    emit(MarkerToken::Kind::comparison, static_cast<std::uint32_t>(marker_.comparisons.size()));
    marker_.comparisons.push_back(std::move(c));
  }

  MarkerValue parse_value() {
    for (const auto &spelling : variable_spellings) {
      if (keyword_at(s_, pos_, spelling.text)) {
        pos_ += spelling.text.size();
        return MarkerValue{spelling.variable, {}};
      }
    }
    if (pos_ < s_.size() && (s_[pos_] == '\'' || s_[pos_] == '"')) {
      std::size_t close = s_.find(s_[pos_], pos_ + 1);
      if (close != std::string_view::npos) {
        MarkerValue value{std::nullopt, decode_string(pos_ + 1, close)};
        pos_ = close + 1;
        return value;
      }
    }
    fail("Expected a marker variable or quoted string");
  }

  MarkerOp parse_op() {
    if (keyword_at(s_, pos_, "in")) {
      pos_ += 2;
      return {MarkerOp::Kind::in};
    }
    if (keyword_at(s_, pos_, "not")) {
      pos_ += 3;
      std::size_t after = skip_blanks(s_, pos_);
      if (after == pos_) {
        fail("Expected whitespace after 'not'");
      }
      pos_ = after;
      if (!keyword_at(s_, pos_, "in")) {
        fail("Expected 'in' after 'not'");
      }
      pos_ += 2;
      return {MarkerOp::Kind::not_in};
    }
    if (auto op = operator_at(s_.substr(pos_))) {
      pos_ += operator_text(*op).size();
      return {MarkerOp::Kind::version, *op};
    }
    fail("Expected marker operator, one of <=, <, !=, ==, >=, >, ~=, ===, in, not in");
  }

  // The value of a quoted string between `begin` and `end`, with Python's backslash escapes.
  std::string decode_string(std::size_t begin, std::size_t end) {
    std::string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
      char c = s_[i];
      if (c == '\n' || c == '\r' || c == '\0') {
        string_error(i,
                     c == '\0' ? "Null character in quoted string" : "Line break in quoted string");
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i + 1 >= end) {
        string_error(i, "Unterminated quoted string (backslash before the closing quote)");
      }
      char e = s_[++i];
      switch (e) {
      case '\n':
        break;
      case '\r':
        if (i + 1 < end && s_[i + 1] == '\n') {
          ++i;
        }
        break;
      case 'a':
        out += '\a';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'v':
        out += '\v';
        break;
      case '\\':
      case '\'':
      case '"':
        out += e;
        break;
      case 'x':
        append_utf8(out, hex_escape(i, end, 2, "\\xXX"));
        break;
      case 'u':
        append_utf8(out, hex_escape(i, end, 4, "\\uXXXX"));
        break;
      case 'U':
        append_utf8(out, hex_escape(i, end, 8, "\\UXXXXXXXX"));
        break;
      case 'N':
        string_error(i - 1, "Named escapes (\\N{...}) are not supported in quoted strings");
      default:
        if (e >= '0' && e <= '7') {
          std::uint32_t code = static_cast<std::uint32_t>(e - '0');
          for (int k = 0; k < 2 && i + 1 < end && s_[i + 1] >= '0' && s_[i + 1] <= '7'; ++k) {
            code = code * 8 + static_cast<std::uint32_t>(s_[++i] - '0');
          }
          append_utf8(out, code);
        } else {
          out += '\\';
          out += e;
        }
      }
    }
    return out;
  }

  // The code point of the `digits` hex digits after s_[i]; moves i to the last of them.
  std::uint32_t hex_escape(std::size_t &i, std::size_t end, int digits, const char *form) {
    std::uint32_t code = 0;
    for (int k = 0; k < digits; ++k) {
      int h = i + 1 < end ? hex_value(s_[i + 1]) : -1;
      if (h < 0) {
        string_error(i, fmt::format("Truncated {} escape in quoted string", form));
      }
      code = code * 16 + static_cast<std::uint32_t>(h);
      ++i;
    }
    if (code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
      string_error(i, "Escape for an invalid Unicode character in quoted string");
    }
    return code;
  }

  [[noreturn]] void string_error(std::size_t at, std::string_view message) {
    pos_ = at;
    fail(message);
  }

  // An extra name compared in the first comparison prints normalised, so that
  // `extra == "Foo_Bar"` reads `extra == "foo-bar"`.
  void normalize_first_extra() {
    if (marker_.tokens.front().kind != MarkerToken::Kind::comparison) {
      return;
    }
    MarkerComparison &c = marker_.comparisons[marker_.tokens.front().index];
    if (c.lhs.variable == MarkerVariable::extra && !c.rhs.variable) {
      c.rhs.literal = canonicalize_name(c.rhs.literal);
    } else if (c.rhs.variable == MarkerVariable::extra && !c.lhs.variable) {
      c.lhs.literal = canonicalize_name(c.lhs.literal);
    }
  }

  std::string_view s_;
  std::size_t pos_;
  ErrorKind kind_;
  Marker marker_;
};

// Values are written in double quotes; one that holds a double quote (it came in single
// quotes, which it then cannot hold) in single quotes, so that the text stays a marker.
void append_value(std::string &out, const MarkerValue &value) {
  if (value.variable) {
    out += variable_name(*value.variable);
  } else {
    char quote = value.literal.find('"') == std::string::npos ? '"' : '\'';
    out += quote;
    out += value.literal;
    out += quote;
  }
}

} // namespace

std::string_view variable_name(MarkerVariable variable) {
  return variable_names[static_cast<std::size_t>(variable)];
}

namespace detail {

std::string_view op_text(MarkerOp op) {
  switch (op.kind) {
  case MarkerOp::Kind::in:
    return "in";
  case MarkerOp::Kind::not_in:
    return "not in";
  case MarkerOp::Kind::version:
    break;
  }
  return operator_text(op.version);
}

Marker parse_marker_expression(std::string_view source, std::size_t &pos, ErrorKind kind) {
  Parser parser(source, pos, kind);
  Marker marker = parser.parse();
  pos = parser.position();
  return marker;
}

} // namespace detail

Marker parse_marker(std::string_view text) {
  std::size_t pos = 0;
  Marker marker = detail::parse_marker_expression(text, pos, ErrorKind::InvalidMarker);
  std::string_view rest = text.substr(pos);
  if (!rest.empty() && rest != "\n" && rest != "\r" && rest != "\r\n") {
    scan::syntax_error(ErrorKind::InvalidMarker, "Expected end of marker expression", text, pos);
  }
  return marker;
}

std::string to_string(const Marker &marker) {
  // How many operands each parenthesised group holds: a group of one prints without
  // parentheses, and so does any group that stands alone for the whole marker.
  std::vector<std::uint32_t> operands(marker.tokens.size(), 0);
  std::uint32_t top_operands = 0;
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < marker.tokens.size(); ++i) {
    auto kind = marker.tokens[i].kind;
    if (kind == MarkerToken::Kind::comparison || kind == MarkerToken::Kind::open) {
      ++(open.empty() ? top_operands : operands[open.back()]);
    }
    if (kind == MarkerToken::Kind::open) {
      open.push_back(i);
    } else if (kind == MarkerToken::Kind::close) {
      open.pop_back();
    }
  }
  struct Group {
    bool alone;   // stands for the whole marker
    bool single;  // holds one operand
    bool printed; // its parentheses are printed
  };
  std::vector<Group> groups{{true, top_operands == 1, false}};
  std::string out;
  for (std::size_t i = 0; i < marker.tokens.size(); ++i) {
    const MarkerToken &token = marker.tokens[i];
    switch (token.kind) {
    case MarkerToken::Kind::comparison: {
      const MarkerComparison &c = marker.comparisons[token.index];
      append_value(out, c.lhs);
      out += ' ';
      out += detail::op_text(c.op);
      out += ' ';
      append_value(out, c.rhs);
      break;
    }
    case MarkerToken::Kind::open: {
      const Group &parent = groups.back();
      bool alone = parent.alone && parent.single;
      bool single = operands[i] == 1;
      bool printed = !single && !alone;
      if (printed) {
        out += '(';
      }
      groups.push_back({alone, single, printed});
      break;
    }
    case MarkerToken::Kind::close:
      if (groups.back().printed) {
        out += ')';
      }
      groups.pop_back();
      break;
    case MarkerToken::Kind::and_:
      out += " and ";
      break;
    case MarkerToken::Kind::or_:
      out += " or ";
      break;
    }
  }
  return out;
}

bool operator==(const Marker &a, const Marker &b) { return to_string(a) == to_string(b); }

} // namespace tarvo::packaging
