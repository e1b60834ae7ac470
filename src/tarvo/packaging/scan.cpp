#include "tarvo/packaging/scan.hpp"

#include "tarvo/error.hpp"
#include "tarvo/repr.hpp"

#include <array>
#include <fmt/format.h>
#include <utility>

namespace tarvo::packaging::scan {

namespace {

// Error messages quote at most this many bytes of the offending text.
constexpr std::size_t quoted_limit = 200;

bool is_separator(std::string_view s, std::size_t i) {
  return i < s.size() && (s[i] == '-' || s[i] == '_' || s[i] == '.');
}

std::size_t digits_end(std::string_view s, std::size_t i) {
  while (i < s.size() && is_digit(s[i])) {
    ++i;
  }
  return i;
}

Number number(std::string_view s, std::size_t begin, std::size_t end) {
  while (begin + 1 < end && s[begin] == '0') {
    ++begin;
  }
  return Number{std::string(s.substr(begin, end - begin))};
}

// An optional separator, a keyword and an optional number, as in "-rc.1", "post" or ".dev2".
// Returns where the match ends, with the keyword's index and the number (0 when left out).
struct Suffix {
  std::size_t end;
  std::size_t word;
  Number number;
};

template <std::size_t N>
std::optional<Suffix> scan_suffix(std::string_view s, std::size_t pos,
                                  const std::array<std::string_view, N> &words) {
  std::size_t q = is_separator(s, pos) ? pos + 1 : pos;
  for (std::size_t w = 0; w < N; ++w) {
    if (!starts_with_icase(s, q, words[w])) {
      continue;
    }
    std::size_t r = q + words[w].size();
    if (is_separator(s, r)) {
      ++r;
    }
    std::size_t d = digits_end(s, r);
    return Suffix{d, w, d > r ? number(s, r, d) : Number{}};
  }
  return std::nullopt;
}

// Longer spellings first, so that "alpha" is not taken for "a" followed by junk.
constexpr std::array<std::string_view, 8> pre_words = {"preview", "alpha", "beta", "pre",
                                                       "rc",      "a",     "b",    "c"};
constexpr std::array<PreKind, 8> pre_kinds = {
    PreKind::candidate, PreKind::alpha, PreKind::beta, PreKind::candidate,
    PreKind::candidate, PreKind::alpha, PreKind::beta, PreKind::candidate};
constexpr std::array<std::string_view, 3> post_words = {"post", "rev", "r"};
constexpr std::array<std::string_view, 1> dev_words = {"dev"};

} // namespace

std::string lower(std::string_view text) {
  std::string out(text);
  for (char &c : out) {
    c = to_lower(c);
  }
  return out;
}

bool starts_with_icase(std::string_view text, std::size_t pos, std::string_view word) {
  if (pos > text.size() || text.size() - pos < word.size()) {
    return false;
  }
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (to_lower(text[pos + i]) != word[i]) {
      return false;
    }
  }
  return true;
}

std::size_t space_length(std::string_view s, std::size_t i) {
  if (i >= s.size()) {
    return 0;
  }
  auto byte = [&](std::size_t k) {
    return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0u;
  };
  unsigned b0 = byte(0);
  if ((b0 >= 0x09 && b0 <= 0x0d) || (b0 >= 0x1c && b0 <= 0x20)) {
    return 1;
  }
  unsigned b1 = byte(1);
  unsigned b2 = byte(2);
  switch (b0) {
  case 0xc2: // U+0085, U+00A0
    return b1 == 0x85 || b1 == 0xa0 ? 2 : 0;
  case 0xe1: // U+1680
    return b1 == 0x9a && b2 == 0x80 ? 3 : 0;
  case 0xe2: // U+2000..U+200A, U+2028, U+2029, U+202F, U+205F
    if (b1 == 0x80) {
      return (b2 >= 0x80 && b2 <= 0x8a) || b2 == 0xa8 || b2 == 0xa9 || b2 == 0xaf ? 3 : 0;
    }
    return b1 == 0x81 && b2 == 0x9f ? 3 : 0;
  case 0xe3: // U+3000
    return b1 == 0x80 && b2 == 0x80 ? 3 : 0;
  default:
    return 0;
  }
}

std::size_t skip_space(std::string_view s, std::size_t pos) {
  while (std::size_t n = space_length(s, pos)) {
    pos += n;
  }
  return pos;
}

std::string_view strip(std::string_view text) {
  std::size_t begin = skip_space(text, 0);
  std::size_t end = begin;
  // Spaces start only with lead bytes, so stepping byte by byte never splits one.
  for (std::size_t i = begin; i < text.size();) {
    if (std::size_t n = space_length(text, i)) {
      i += n;
    } else {
      end = ++i;
    }
  }
  return text.substr(begin, end - begin);
}

std::string quoted(std::string_view text) {
  if (text.size() <= quoted_limit) {
    return repr(text);
  }
  std::size_t cut = quoted_limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80) {
    --cut;
  }
  return fmt::format("{}... ({} bytes in all)", repr(text.substr(0, cut)), text.size());
}

std::optional<std::size_t> scan_version(std::string_view s, std::size_t pos, VersionForm form,
                                        Version *out, bool *wildcard) {
  std::size_t p = pos;
  if (p < s.size() && (s[p] == 'v' || s[p] == 'V')) {
    ++p;
  }
  std::size_t e = digits_end(s, p);
  if (e == p) {
    return std::nullopt;
  }
  Version v;
  if (e < s.size() && s[e] == '!' && digits_end(s, e + 1) > e + 1) {
    v.epoch = number(s, p, e);
    p = e + 1;
    e = digits_end(s, p);
  }
  v.release.push_back(number(s, p, e));
  p = e;
  while (p + 1 < s.size() && s[p] == '.' && is_digit(s[p + 1])) {
    e = digits_end(s, p + 1);
    v.release.push_back(number(s, p + 1, e));
    p = e;
  }
  if (form.wildcard && p + 1 < s.size() && s[p] == '.' && s[p + 1] == '*') {
    if (wildcard != nullptr) {
      *wildcard = true;
    }
    if (out != nullptr) {
      *out = std::move(v);
    }
    return p + 2;
  }
  if (v.release.size() < form.min_release) {
    return std::nullopt;
  }
  if (auto pre = scan_suffix(s, p, pre_words)) {
    v.pre = PreRelease{pre_kinds[pre->word], std::move(pre->number)};
    p = pre->end;
  }
  if (p + 1 < s.size() && s[p] == '-' && is_digit(s[p + 1])) {
    e = digits_end(s, p + 1);
    v.post = number(s, p + 1, e);
    p = e;
  } else if (auto post = scan_suffix(s, p, post_words)) {
    v.post = std::move(post->number);
    p = post->end;
  }
  if (auto dev = scan_suffix(s, p, dev_words)) {
    v.dev = std::move(dev->number);
    p = dev->end;
  }
  if (form.local && p + 1 < s.size() && s[p] == '+' && is_alnum(s[p + 1])) {
    std::size_t q = p + 1;
    while (true) {
      std::size_t start = q;
      bool numeric = true;
      while (q < s.size() && is_alnum(s[q])) {
        numeric = numeric && is_digit(s[q]);
        ++q;
      }
      v.local.push_back(numeric ? LocalPart{number(s, start, q).digits, true}
                                : LocalPart{lower(s.substr(start, q - start)), false});
      if (!(is_separator(s, q) && q + 1 < s.size() && is_alnum(s[q + 1]))) {
        break;
      }
      ++q;
    }
    p = q;
  }
  if (out != nullptr) {
    *out = std::move(v);
  }
  return p;
}

void syntax_error(ErrorKind kind, std::string_view message, std::string_view source,
                  std::size_t pos) {
  std::size_t column = 1;
  for (std::size_t i = 0; i < pos && i < source.size(); ++i) {
    if ((static_cast<unsigned char>(source[i]) & 0xc0) != 0x80) {
      ++column;
    }
  }
  throw Error(kind, fmt::format("{} at column {}: {}", message, column, quoted(source)));
}

} // namespace tarvo::packaging::scan
