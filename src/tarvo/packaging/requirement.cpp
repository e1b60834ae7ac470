#include "tarvo/packaging/requirement.hpp"

#include "tarvo/error.hpp"
#include "tarvo/packaging/scan.hpp"

#include <algorithm>
#include <fmt/format.h>

namespace tarvo::packaging {

namespace {

constexpr ErrorKind kind = ErrorKind::InvalidRequirement;

// A URL must name a scheme and a host, except a file URL, which must be written in the form
// a URL parser gives back ("file:///path", not "file:/path" or "file:."). Returns the form of
// the error message for an invalid URL.
std::optional<std::string_view> url_error(std::string_view url) {
  static constexpr std::string_view invalid = "Invalid URL: {}";
  std::string u;
  for (char c : url) {
    if (c != '\t' && c != '\r' && c != '\n') {
      u += c;
    }
  }
  std::string scheme;
  std::string_view rest = u;
  std::size_t colon = u.find(':');
  if (colon != std::string::npos && colon > 0 && scan::is_alpha(u[0]) &&
      std::all_of(u.begin(), u.begin() + static_cast<std::ptrdiff_t>(colon),
                  [](char c) { return scan::is_alnum(c) || c == '+' || c == '-' || c == '.'; })) {
    scheme = scan::lower(rest.substr(0, colon));
    rest.remove_prefix(colon + 1);
  }
  std::string_view netloc;
  if (rest.substr(0, 2) == "//") {
    std::size_t end = std::min(rest.find_first_of("/?#", 2), rest.size());
    netloc = rest.substr(2, end - 2);
    rest.remove_prefix(end);
  }
  bool opens = netloc.find('[') != std::string_view::npos;
  bool closes = netloc.find(']') != std::string_view::npos;
  if (opens != closes) {
    return invalid;
  }
  if (scheme != "file") {
    return !scheme.empty() && !netloc.empty() ? std::nullopt : std::optional(invalid);
  }
  std::string_view fragment;
  std::string_view query;
  if (std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    fragment = rest.substr(hash + 1);
    rest = rest.substr(0, hash);
  }
  if (std::size_t question = rest.find('?'); question != std::string_view::npos) {
    query = rest.substr(question + 1);
    rest = rest.substr(0, question);
  }
  std::string path(rest);
  if (!netloc.empty() || path.substr(0, 2) != "//") {
    if (!path.empty() && path[0] != '/') {
      path.insert(0, "/");
    }
    path = "//" + std::string(netloc) + path;
  }
  std::string rebuilt = "file:" + path;
  if (!query.empty()) {
    rebuilt += '?';
    rebuilt += query;
  }
  if (!fragment.empty()) {
    rebuilt += '#';
    rebuilt += fragment;
  }
  return rebuilt == url ? std::nullopt : std::optional<std::string_view>("Invalid URL given: {}");
}

class Parser {
public:
  explicit Parser(std::string_view source) : s_(source) {}

  // requirement = name extras? (("@" url) | specifier) (";" marker)?, with blanks between.
  Requirement parse() {
    Requirement r;
    skip_blanks();
    auto name_end = identifier_end(pos_);
    if (!name_end) {
      fail("Expected package name at the start of dependency specifier");
    }
    r.name = std::string(s_.substr(pos_, *name_end - pos_));
    pos_ = *name_end;
    skip_blanks();
    parse_extras(r.extras);
    skip_blanks();
    std::string specifier;
    if (pos_ < s_.size() && s_[pos_] == '@') {
      ++pos_;
      skip_blanks();
      std::size_t url_end = s_.find_first_of(" \t", pos_);
      url_end = url_end == std::string_view::npos ? s_.size() : url_end;
      if (url_end == pos_) {
        fail("Expected URL after @");
      }
      r.url = std::string(s_.substr(pos_, url_end - pos_));
      pos_ = url_end;
      skip_blanks();
      if (!at_end()) {
        parse_marker(r, "URL and whitespace");
      }
    } else {
      specifier = parse_specifier_text();
      skip_blanks();
      if (!at_end()) {
        parse_marker(r, specifier.empty() ? "name and no valid version specifier"
                                          : "version specifier");
      }
    }
    if (!at_end()) {
      fail("Expected end of dependency specifier");
    }
    if (auto error = r.url ? url_error(*r.url) : std::nullopt) {
      throw Error(kind, fmt::format(fmt::runtime(*error), scan::quoted(*r.url)));
    }
    r.specifier = parse_specifier_set(specifier);
    return r;
  }

private:
  [[noreturn]] void fail(std::string_view message) { scan::syntax_error(kind, message, s_, pos_); }

  void skip_blanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) {
      ++pos_;
    }
  }

  // The end of the text, or only a final line feed left.
  bool at_end() const { return pos_ == s_.size() || (pos_ + 1 == s_.size() && s_[pos_] == '\n'); }

  // A name or extra: starts with a letter or digit, goes on with those and "._-", and ends
  // where a word ends (so "name-" is "name").
  std::optional<std::size_t> identifier_end(std::size_t p) const {
    if (p >= s_.size() || !scan::is_alnum(s_[p]) || (p > 0 && scan::is_word(s_[p - 1]))) {
      return std::nullopt;
    }
    std::size_t e = p + 1;
    while (e < s_.size() &&
           (scan::is_alnum(s_[e]) || s_[e] == '.' || s_[e] == '_' || s_[e] == '-')) {
      ++e;
    }
    for (std::size_t k = e; k > p; --k) {
      if (scan::is_word(s_[k - 1]) && scan::word_ends_at(s_, k)) {
        return k;
      }
    }
    return std::nullopt;
  }

  void parse_extras(std::vector<std::string> &extras) {
    if (pos_ >= s_.size() || s_[pos_] != '[') {
      return;
    }
    ++pos_;
    skip_blanks();
    if (auto end = identifier_end(pos_)) {
      extras.emplace_back(s_.substr(pos_, *end - pos_));
      pos_ = *end;
      while (true) {
        skip_blanks();
        if (identifier_end(pos_)) {
          fail("Expected comma between extra names");
        }
        if (pos_ >= s_.size() || s_[pos_] != ',') {
          break;
        }
        ++pos_;
        skip_blanks();
        end = identifier_end(pos_);
        if (!end) {
          fail("Expected extra name after comma");
        }
        extras.emplace_back(s_.substr(pos_, *end - pos_));
        pos_ = *end;
      }
    }
    skip_blanks();
    if (pos_ >= s_.size() || s_[pos_] != ']') {
      fail("Expected closing RIGHT_BRACKET");
    }
    ++pos_;
    std::sort(extras.begin(), extras.end());
    extras.erase(std::unique(extras.begin(), extras.end()), extras.end());
  }

  // The clauses, optionally in parentheses, joined by commas as the specifier set reads them.
  std::string parse_specifier_text() {
    bool parenthesised = pos_ < s_.size() && s_[pos_] == '(';
    if (parenthesised) {
      ++pos_;
    }
    skip_blanks();
    std::string text;
    while (auto end = detail::scan_specifier(s_, pos_)) {
      text += s_.substr(pos_, *end - pos_);
      pos_ = *end;
      skip_blanks();
      if (pos_ >= s_.size() || s_[pos_] != ',') {
        break;
      }
      text += ',';
      ++pos_;
      skip_blanks();
    }
    skip_blanks();
    if (parenthesised) {
      if (pos_ >= s_.size() || s_[pos_] != ')') {
        fail("Expected closing RIGHT_PARENTHESIS");
      }
      ++pos_;
    }
    return text;
  }

  void parse_marker(Requirement &r, std::string_view after) {
    if (s_[pos_] != ';') {
      fail(fmt::format("Expected end or semicolon (after {})", after));
    }
    ++pos_;
    r.marker = detail::parse_marker_expression(s_, pos_, kind);
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

} // namespace

Requirement parse_requirement(std::string_view text) { return Parser(text).parse(); }

std::string to_string(const Requirement &requirement) {
  std::string out = requirement.name;
  if (!requirement.extras.empty()) {
    out += '[';
    for (std::size_t i = 0; i < requirement.extras.size(); ++i) {
      if (i > 0) {
        out += ',';
      }
      out += requirement.extras[i];
    }
    out += ']';
  }
  out += to_string(requirement.specifier);
  if (requirement.url) {
    out += "@ ";
    out += *requirement.url;
    if (requirement.marker) {
      out += ' ';
    }
  }
  if (requirement.marker) {
    out += "; ";
    out += to_string(*requirement.marker);
  }
  return out;
}

bool operator==(const Requirement &a, const Requirement &b) {
  return a.name == b.name && a.extras == b.extras && a.specifier == b.specifier && a.url == b.url &&
         a.marker == b.marker;
}

} // namespace tarvo::packaging
