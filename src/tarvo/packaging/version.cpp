#include "tarvo/packaging/version.hpp"

#include "tarvo/error.hpp"
#include "tarvo/packaging/scan.hpp"

#include <algorithm>
#include <fmt/format.h>

namespace tarvo::packaging {

namespace {

std::strong_ordering compare_release(const std::vector<Number> &a, const std::vector<Number> &b) {
  static const Number zero;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const Number &x = i < a.size() ? a[i] : zero;
    const Number &y = i < b.size() ? b[i] : zero;
    if (auto c = x <=> y; c != 0) {
      return c;
    }
  }
  return std::strong_ordering::equal;
}

// Where the pre-release segment puts a version: a bare dev release before every
// pre-release, a version without pre-release after them.
int pre_rank(const Version &v) {
  if (!v.pre && !v.post && v.dev) {
    return 0;
  }
  return v.pre ? 1 : 2;
}

// Missing parts sort as `missing_first` says, present ones by value.
std::strong_ordering compare_optional(const std::optional<Number> &a,
                                      const std::optional<Number> &b, bool missing_first) {
  if (a.has_value() != b.has_value()) {
    return a.has_value() == missing_first ? std::strong_ordering::greater
                                          : std::strong_ordering::less;
  }
  return a ? *a <=> *b : std::strong_ordering::equal;
}

// Numeric parts sort after alphanumeric ones; a label that is a prefix of another sorts first.
std::strong_ordering compare_local(const std::vector<LocalPart> &a,
                                   const std::vector<LocalPart> &b) {
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (a[i].numeric != b[i].numeric) {
      return a[i].numeric ? std::strong_ordering::greater : std::strong_ordering::less;
    }
    auto c = a[i].numeric ? Number{a[i].text} <=> Number{b[i].text} : a[i].text <=> b[i].text;
    if (c != 0) {
      return c;
    }
  }
  return a.size() <=> b.size();
}

std::strong_ordering compare(const Version &a, const Version &b, bool with_local) {
  if (auto c = a.epoch <=> b.epoch; c != 0) {
    return c;
  }
  if (auto c = compare_release(a.release, b.release); c != 0) {
    return c;
  }
  int ra = pre_rank(a);
  int rb = pre_rank(b);
  if (ra != rb) {
    return ra <=> rb;
  }
  if (ra == 1) {
    if (auto c = a.pre->kind <=> b.pre->kind; c != 0) {
      return c;
    }
    if (auto c = a.pre->number <=> b.pre->number; c != 0) {
      return c;
    }
  }
  if (auto c = compare_optional(a.post, b.post, true); c != 0) {
    return c;
  }
  if (auto c = compare_optional(a.dev, b.dev, false); c != 0) {
    return c;
  }
  return with_local ? compare_local(a.local, b.local) : std::strong_ordering::equal;
}

const char *pre_letters(PreKind kind) {
  switch (kind) {
  case PreKind::alpha:
    return "a";
  case PreKind::beta:
    return "b";
  case PreKind::candidate:
    break;
  }
  return "rc";
}

} // namespace

std::strong_ordering operator<=>(const Number &a, const Number &b) {
  if (a.digits.size() != b.digits.size()) {
    return a.digits.size() <=> b.digits.size();
  }
  return a.digits <=> b.digits;
}

std::optional<Version> try_parse_version(std::string_view text) {
  Version v;
  auto end = scan::scan_version(text, scan::skip_space(text, 0), scan::VersionForm{}, &v);
  if (!end || scan::skip_space(text, *end) != text.size()) {
    return std::nullopt;
  }
  return v;
}

Version parse_version(std::string_view text) {
  auto v = try_parse_version(text);
  if (!v) {
    throw Error(ErrorKind::InvalidVersion, fmt::format("Invalid version: {}", scan::quoted(text)));
  }
  return std::move(*v);
}

std::string base_text(const Version &version) {
  std::string out;
  if (!version.epoch.is_zero()) {
    out += version.epoch.digits;
    out += '!';
  }
  for (std::size_t i = 0; i < version.release.size(); ++i) {
    if (i > 0) {
      out += '.';
    }
    out += version.release[i].digits;
  }
  return out;
}

std::string public_text(const Version &version) {
  std::string out = base_text(version);
  if (version.pre) {
    out += pre_letters(version.pre->kind);
    out += version.pre->number.digits;
  }
  if (version.post) {
    out += ".post";
    out += version.post->digits;
  }
  if (version.dev) {
    out += ".dev";
    out += version.dev->digits;
  }
  return out;
}

std::string local_text(const Version &version) {
  std::string out;
  for (std::size_t i = 0; i < version.local.size(); ++i) {
    if (i > 0) {
      out += '.';
    }
    out += version.local[i].text;
  }
  return out;
}

std::string to_string(const Version &version) {
  std::string out = public_text(version);
  if (!version.local.empty()) {
    out += '+';
    out += local_text(version);
  }
  return out;
}

Version base_version(const Version &version) {
  Version out;
  out.epoch = version.epoch;
  out.release = version.release;
  return out;
}

std::strong_ordering operator<=>(const Version &a, const Version &b) { return compare(a, b, true); }

bool operator==(const Version &a, const Version &b) { return compare(a, b, true) == 0; }

std::strong_ordering compare_public(const Version &a, const Version &b) {
  return compare(a, b, false);
}

} // namespace tarvo::packaging
