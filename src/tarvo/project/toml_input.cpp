#include "tarvo/project/toml_input.hpp"

#include "tarvo/project/project_config.hpp"

#include <cstdint>
#include <fmt/format.h>
#include <vector>

namespace tarvo::project {

namespace {

bool ascii(char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; }

// One pass over the document, copying it to ASCII and keeping an upper bound of the depth where
// it stands: the table of the last header, the segments of the key being read, and the arrays
// and inline tables open in the value.
class InputScan {
public:
  explicit InputScan(std::string_view doc) : doc_(doc) { out_.reserve(doc.size()); }

  std::string run() {
    while (at_ < doc_.size()) {
      char c = doc_[at_];
      if (c == '\n') {
        copy(1);
        new_line();
      } else if (c == '#') {
        comment();
      } else if (c == '"' || c == '\'') {
        string(c);
        line_start_ = false;
      } else if (!ascii(c)) {
        fail(fmt::format("Unexpected character U+{:04X}",
                         static_cast<std::uint32_t>(code_point().value)));
      } else if (c == ' ' || c == '\t' || c == '\r') {
        copy(1);
      } else if (line_start_ && open_.empty() && c == '[') {
        header();
      } else {
        line_start_ = false;
        in_key_ ? key(c) : value(c);
        copy(1);
      }
    }
    return std::move(out_);
  }

private:
  struct CodePoint {
    char32_t value;
    std::size_t length;
  };
  struct Open {
    char bracket;
    std::size_t depth; // of the value that holds it
  };

  [[noreturn]] void fail(const std::string &what) const {
    auto line_begin = at_ == 0 ? std::string_view::npos : doc_.rfind('\n', at_ - 1);
    std::size_t column = line_begin == std::string_view::npos ? at_ + 1 : at_ - line_begin;
    throw TomlDecodeError(fmt::format("{} (at line {}, column {})", what, line_, column));
  }

  void check(std::size_t depth) const {
    if (depth > MAX_TOML_NESTING) {
      fail(fmt::format("Nesting deeper than {} levels", MAX_TOML_NESTING));
    }
  }

  void copy(std::size_t count) {
    out_.append(doc_.substr(at_, count));
    at_ += count;
  }

  // The UTF-8 sequence at at_, which must be well formed.
  CodePoint code_point() const {
    auto byte = [&](std::size_t i) {
      return at_ + i < doc_.size() ? static_cast<unsigned char>(doc_[at_ + i]) : 0u;
    };
    unsigned lead = byte(0);
    std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
    char32_t value = length == 1 ? lead : lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
      if ((byte(i) & 0xc0) != 0x80) {
        fail("Invalid UTF-8");
      }
      value = (value << 6) | (byte(i) & 0x3f);
    }
    static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (lead < 0xc2 || lead > 0xf4 || value < least[length] || value > 0x10ffff ||
        (value >= 0xd800 && value <= 0xdfff)) {
      fail("Invalid UTF-8");
    }
    return {value, length};
  }

  // A non-ASCII code point as the escape that stands for it in a basic string.
  void escape_code_point() {
    auto cp = code_point();
    out_ += cp.value <= 0xffff ? fmt::format("\\u{:04X}", static_cast<std::uint32_t>(cp.value))
                               : fmt::format("\\U{:08X}", static_cast<std::uint32_t>(cp.value));
    at_ += cp.length;
  }

  void new_line() {
    ++line_;
    if (open_.empty()) {
      line_start_ = in_key_ = true;
      base_ = header_;
      key_ = 1;
    }
  }

  void comment() {
    while (at_ < doc_.size() && doc_[at_] != '\n') {
      if (ascii(doc_[at_])) {
        copy(1);
      } else {
        at_ += code_point().length;
        out_ += '?';
      }
    }
  }

  // The run of `quote` characters at at_, up to `limit`.
  std::size_t quotes(char quote, std::size_t limit) const {
    std::size_t n = 0;
    while (n < limit && at_ + n < doc_.size() && doc_[at_ + n] == quote) {
      ++n;
    }
    return n;
  }

  // A string of any kind; leaves at_ after its closing quotes (or where it breaks off, for the
  // parser to report).
  void string(char quote) {
    bool multi_line = quotes(quote, 3) == 3;
    if (quote == '\'' && has_non_ascii(multi_line)) {
      literal_as_basic(multi_line);
      return;
    }
    copy(multi_line ? 3 : 1);
    while (at_ < doc_.size()) {
      char c = doc_[at_];
      if (c == quote) {
        // Closing: one quote, or three with up to two more before them that are content.
        std::size_t run = multi_line ? quotes(quote, 5) : 1;
        copy(run);
        if (run >= 3 || !multi_line) {
          return;
        }
      } else if (c == '\n') {
        if (!multi_line) {
          return;
        }
        copy(1);
        ++line_;
      } else if (c == '\\' && quote == '"') {
        if (at_ + 1 < doc_.size() && !ascii(doc_[at_ + 1])) {
          ++at_;
          fail("Invalid escape sequence");
        }
        copy(at_ + 1 < doc_.size() && doc_[at_ + 1] != '\n' ? 2 : 1);
      } else if (!ascii(c)) {
        if (quote == '"') {
          escape_code_point();
        } else {
          copy(code_point().length);
        }
      } else {
        copy(1);
      }
    }
  }

  // Whether the literal string at at_ holds a non-ASCII character.
  bool has_non_ascii(bool multi_line) const {
    for (std::size_t i = at_ + (multi_line ? 3 : 1); i < doc_.size(); ++i) {
      char c = doc_[i];
      if (!ascii(c)) {
        return true;
      }
      if ((c == '\n' && !multi_line) ||
          (c == '\'' && (!multi_line || doc_.substr(i, 3) == "'''"))) {
        return false;
      }
    }
    return false;
  }

  // 'text' or '''text''' written as the basic string with the same value.
  void literal_as_basic(bool multi_line) {
    out_ += multi_line ? "\"\"\"" : "\"";
    at_ += multi_line ? 3 : 1;
    while (at_ < doc_.size()) {
      char c = doc_[at_];
      if (c == '\'') {
        std::size_t run = multi_line ? quotes('\'', 5) : 1;
        if (run >= 3 || !multi_line) {
          // Quotes before the closing three are content.
          out_.append(run - (multi_line ? 3 : 1), '\'');
          out_ += multi_line ? "\"\"\"" : "\"";
          at_ += run;
          return;
        }
        copy(run);
      } else if (c == '\n') {
        if (!multi_line) {
          return;
        }
        copy(1);
        ++line_;
      } else if (c == '\\' || c == '"') {
        out_ += '\\';
        copy(1);
      } else if (!ascii(c)) {
        escape_code_point();
      } else {
        copy(1);
      }
    }
  }

  // [a.b.c] or [[a.b]]: the depth of the keys that follow.
  void header() {
    header_ = 1;
    copy(1);
    while (at_ < doc_.size() && doc_[at_] != ']' && doc_[at_] != '\n') {
      char c = doc_[at_];
      if (c == '"' || c == '\'') {
        string(c);
      } else if (!ascii(c)) {
        fail(fmt::format("Unexpected character U+{:04X}",
                         static_cast<std::uint32_t>(code_point().value)));
      } else {
        if (c == '.') {
          check(++header_);
        }
        copy(1);
      }
    }
    in_key_ = line_start_ = false;
  }

  void key(char c) {
    if (c == '.') {
      check(base_ + ++key_);
    } else if (c == '=') {
      in_key_ = false;
      value_ = base_ + key_;
    }
  }

  void value(char c) {
    switch (c) {
    case '[':
      open_.push_back({'[', value_});
      check(++value_);
      break;
    case '{':
      open_.push_back({'{', value_});
      start_key(value_ + 1);
      break;
    case ']':
    case '}':
      if (!open_.empty()) {
        value_ = open_.back().depth;
        open_.pop_back();
      }
      break;
    case ',':
      if (!open_.empty() && open_.back().bracket == '{') {
        start_key(open_.back().depth + 1);
      }
      break;
    default:
      break;
    }
  }

  void start_key(std::size_t base) {
    check(base);
    base_ = base;
    key_ = 1;
    in_key_ = true;
  }

  std::string_view doc_;
  std::string out_;
  std::size_t at_ = 0;
  std::size_t line_ = 1;
  bool line_start_ = true;
  bool in_key_ = true;
  std::size_t header_ = 0; // depth of the current table
  std::size_t base_ = 0;   // depth of the table the key being read belongs to
  std::size_t key_ = 1;    // segments of that key so far
  std::size_t value_ = 0;  // depth of the value being read
  std::vector<Open> open_;
};

} // namespace

std::string toml_input(std::string_view document) { return InputScan(document).run(); }

} // namespace tarvo::project
