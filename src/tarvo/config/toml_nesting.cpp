#include "tarvo/config/toml_nesting.hpp"

#include "tarvo/config/project_config.hpp"

#include <fmt/format.h>
#include <vector>

namespace tarvo {

namespace {

// Scans the document once, keeping an upper bound of the depth where it stands: the table of
// the last header, the segments of the key being read, and the arrays and inline tables open
// in the value.
class NestingScan {
public:
  explicit NestingScan(std::string_view doc) : doc_(doc) {}

  void run() {
    for (; at_ < doc_.size(); ++at_) {
      char c = doc_[at_];
      if (c == '\n') {
        new_line();
      } else if (c == '#') {
        skip_to_line_end();
      } else if (c == '"' || c == '\'') {
        skip_string(c);
        line_start_ = false;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        if (line_start_ && open_.empty() && c == '[') {
          header();
        } else {
          line_start_ = false;
          in_key_ ? key(c) : value(c);
        }
      }
    }
  }

private:
  struct Open {
    char bracket;
    std::size_t depth; // of the value that holds it
  };

  void check(std::size_t depth) const {
    if (depth > MAX_TOML_NESTING) {
      auto line_begin = doc_.rfind('\n', at_);
      std::size_t column = line_begin == std::string_view::npos ? at_ + 1 : at_ - line_begin;
      throw TomlDecodeError(fmt::format("Nesting deeper than {} levels (at line {}, column {})",
                                        MAX_TOML_NESTING, line_, column));
    }
  }

  void new_line() {
    ++line_;
    if (open_.empty()) {
      line_start_ = in_key_ = true;
      base_ = header_;
      key_ = 1;
    }
  }

  void skip_to_line_end() {
    while (at_ + 1 < doc_.size() && doc_[at_ + 1] != '\n') {
      ++at_;
    }
  }

  // Leaves at_ on the closing quote (or at the end of an unterminated string).
  void skip_string(char quote) {
    bool multi_line = doc_.substr(at_, 3) == std::string(3, quote);
    at_ += multi_line ? 3 : 1;
    for (; at_ < doc_.size(); ++at_) {
      char c = doc_[at_];
      if (c == '\\' && quote == '"') {
        ++at_;
      } else if (c == '\n') {
        ++line_;
        if (!multi_line) {
          return;
        }
      } else if (c == quote && (!multi_line || doc_.substr(at_, 3) == std::string(3, quote))) {
        at_ += multi_line ? 2 : 0;
        return;
      }
    }
  }

  // [a.b.c] or [[a.b]]: the depth of the keys that follow.
  void header() {
    header_ = 1;
    for (++at_; at_ < doc_.size() && doc_[at_] != ']' && doc_[at_] != '\n'; ++at_) {
      char c = doc_[at_];
      if (c == '"' || c == '\'') {
        skip_string(c);
      } else if (c == '.') {
        check(++header_);
      }
    }
    in_key_ = line_start_ = false;
    skip_to_line_end();
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

void check_toml_nesting(std::string_view document) { NestingScan(document).run(); }

} // namespace tarvo
