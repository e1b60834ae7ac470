#include "tarvo/packaging/specifier.hpp"

#include "tarvo/error.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/packaging/scan.hpp"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <unordered_set>
#include <utility>

namespace tarvo::packaging {

namespace {

struct OperatorSpelling {
  std::string_view text;
  Operator op;
};

// Longer spellings first: "===" must not be read as "==" followed by "=".
constexpr std::array<OperatorSpelling, 8> operators = {{
    {"===", Operator::arbitrary},
    {"~=", Operator::compatible},
    {"==", Operator::equal},
    {"!=", Operator::not_equal},
    {"<=", Operator::less_equal},
    {">=", Operator::greater_equal},
    {"<", Operator::less},
    {">", Operator::greater},
}};

// Where the version of a clause starting at `pos` ends, or nothing when no clause starts
// there. Fills the clause's operator, version text and parsed forms.
const OperatorSpelling *spelling_at(std::string_view text) {
  for (const auto &candidate : operators) {
    if (text.starts_with(candidate.text)) {
      return &candidate;
    }
  }
  return nullptr;
}

std::optional<std::size_t> scan_clause(std::string_view s, std::size_t pos, Specifier *out) {
  const OperatorSpelling *spelling = spelling_at(s.substr(pos));
  if (spelling == nullptr) {
    return std::nullopt;
  }
  std::size_t begin = scan::skip_space(s, pos + spelling->text.size());
  std::size_t end = begin;
  Version parsed;
  bool wildcard = false;
  if (spelling->op == Operator::arbitrary) {
    // Anything up to whitespace, a semicolon (a marker follows) or a closing parenthesis.
    while (end < s.size() && scan::space_length(s, end) == 0 && s[end] != ';' && s[end] != ')') {
      ++end;
    }
  } else {
    scan::VersionForm form;
    form.local = spelling->op == Operator::equal || spelling->op == Operator::not_equal;
    form.wildcard = form.local;
    form.min_release = spelling->op == Operator::compatible ? 2 : 1;
    auto scanned = scan::scan_version(s, begin, form, &parsed, &wildcard);
    if (!scanned) {
      return std::nullopt;
    }
    end = *scanned;
  }
  if (out != nullptr) {
    out->op = spelling->op;
    out->version = std::string(s.substr(begin, end - begin));
    out->wildcard = wildcard;
    if (spelling->op == Operator::arbitrary) {
      out->parsed = try_parse_version(out->version);
    } else {
      out->parsed = std::move(parsed);
    }
    bool strip = spelling->op != Operator::compatible;
    out->canonical =
        out->parsed && !wildcard ? canonicalize_version(*out->parsed, strip) : out->version;
  }
  return end;
}

// Prefix matching ("==1.2.*"): same epoch, and the candidate's release, padded with zeros,
// starts with the given components.
bool prefix_matches(const Version &candidate, const Number &epoch,
                    const std::vector<Number> &prefix) {
  if (candidate.epoch != epoch) {
    return false;
  }
  static const Number zero;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const Number &c = i < candidate.release.size() ? candidate.release[i] : zero;
    if (c != prefix[i]) {
      return false;
    }
  }
  return true;
}

bool same_release(const Version &a, const Version &b) { return base_version(a) == base_version(b); }

bool matches(const Specifier &specifier, const Version &candidate) {
  if (specifier.op == Operator::arbitrary) {
    return scan::lower(to_string(candidate)) == scan::lower(specifier.version);
  }
  const Version &v = *specifier.parsed;
  switch (specifier.op) {
  case Operator::compatible: {
    // ~=V.N means >=V.N together with ==V.*; suffixes of V.N play no part in the prefix.
    std::vector<Number> prefix(v.release.begin(), v.release.end() - 1);
    return compare_public(candidate, v) >= 0 && prefix_matches(candidate, v.epoch, prefix);
  }
  case Operator::equal:
  case Operator::not_equal: {
    bool equal = specifier.wildcard ? prefix_matches(candidate, v.epoch, v.release)
                 : v.local.empty()  ? compare_public(candidate, v) == 0
                                    : candidate == v;
    return equal == (specifier.op == Operator::equal);
  }
  case Operator::less_equal:
    return compare_public(candidate, v) <= 0;
  case Operator::greater_equal:
    return compare_public(candidate, v) >= 0;
  case Operator::less:
    // <3.1 must not admit 3.1.dev0 unless the clause itself names a pre-release.
    return candidate < v &&
           !(!v.is_prerelease() && candidate.is_prerelease() && same_release(candidate, v));
  case Operator::greater:
    // >3.1 must admit neither 3.1.post1 (unless the clause names a post-release) nor a local
    // version of 3.1.
    if (!(candidate > v)) {
      return false;
    }
    if (!v.is_postrelease() && candidate.is_postrelease() && same_release(candidate, v)) {
      return false;
    }
    return candidate.local.empty() || !same_release(candidate, v);
  case Operator::arbitrary:
    break;
  }
  return false;
}

// What makes two clauses equal, as one text.
std::string equality_key(const Specifier &specifier) {
  std::string key(operator_text(specifier.op));
  key += ' ';
  key += specifier.canonical;
  return key;
}

SpecifierSet merge(std::vector<Specifier> specifiers, std::optional<bool> prereleases) {
  SpecifierSet set;
  set.prereleases = prereleases;
  // Sets are short; a long one (a hostile text) is checked by hash instead of pairwise.
  bool long_set = specifiers.size() > 16;
  std::unordered_set<std::string> seen;
  for (auto &specifier : specifiers) {
    bool fresh = long_set ? seen.insert(equality_key(specifier)).second
                          : std::find(set.specifiers.begin(), set.specifiers.end(), specifier) ==
                                set.specifiers.end();
    if (fresh) {
      set.specifiers.push_back(std::move(specifier));
    }
  }
  return set;
}

} // namespace

namespace detail {

std::optional<std::size_t> scan_specifier(std::string_view text, std::size_t pos) {
  return scan_clause(text, pos, nullptr);
}

} // namespace detail

std::optional<Operator> operator_at(std::string_view text) {
  const OperatorSpelling *spelling = spelling_at(text);
  return spelling ? std::optional<Operator>(spelling->op) : std::nullopt;
}

std::string_view operator_text(Operator op) {
  switch (op) {
  case Operator::compatible:
    return "~=";
  case Operator::equal:
    break;
  case Operator::not_equal:
    return "!=";
  case Operator::less_equal:
    return "<=";
  case Operator::greater_equal:
    return ">=";
  case Operator::less:
    return "<";
  case Operator::greater:
    return ">";
  case Operator::arbitrary:
    return "===";
  }
  return "==";
}

std::optional<Specifier> try_parse_specifier(std::string_view text) {
  Specifier specifier;
  auto end = scan_clause(text, scan::skip_space(text, 0), &specifier);
  if (!end || scan::skip_space(text, *end) != text.size()) {
    return std::nullopt;
  }
  return specifier;
}

Specifier parse_specifier(std::string_view text, std::optional<bool> prereleases) {
  auto specifier = try_parse_specifier(text);
  if (!specifier) {
    throw Error(ErrorKind::InvalidSpecifier,
                fmt::format("Invalid specifier: {}", scan::quoted(text)));
  }
  specifier->prereleases = prereleases;
  return std::move(*specifier);
}

std::string to_string(const Specifier &specifier) {
  std::string out(operator_text(specifier.op));
  out += specifier.version;
  return out;
}

bool allows_prereleases(const Specifier &specifier) {
  if (specifier.prereleases) {
    return *specifier.prereleases;
  }
  switch (specifier.op) {
  case Operator::equal:
  case Operator::greater_equal:
  case Operator::less_equal:
  case Operator::compatible:
    return specifier.parsed->is_prerelease();
  case Operator::arbitrary:
    if (!specifier.parsed) {
      throw Error(ErrorKind::InvalidVersion,
                  fmt::format("Invalid version: {}", scan::quoted(specifier.version)));
    }
    return specifier.parsed->is_prerelease();
  default:
    return false;
  }
}

bool contains(const Specifier &specifier, const Version &version, std::optional<bool> prereleases) {
  bool admit = prereleases ? *prereleases : allows_prereleases(specifier);
  if (version.is_prerelease() && !admit) {
    return false;
  }
  return matches(specifier, version);
}

bool contains(const Specifier &specifier, std::string_view version,
              std::optional<bool> prereleases) {
  bool admit = prereleases ? *prereleases : allows_prereleases(specifier);
  return contains(specifier, parse_version(version), admit);
}

std::vector<std::string> filter(const Specifier &specifier, const std::vector<std::string> &items,
                                std::optional<bool> prereleases) {
  std::vector<std::string> out;
  std::vector<std::string> held_prereleases;
  for (const auto &item : items) {
    Version v = parse_version(item);
    if (!contains(specifier, v, prereleases.value_or(true))) {
      continue;
    }
    if (v.is_prerelease() && !(prereleases.value_or(false) || allows_prereleases(specifier))) {
      held_prereleases.push_back(item);
    } else {
      out.push_back(item);
    }
  }
  return out.empty() ? held_prereleases : out;
}

bool operator==(const Specifier &a, const Specifier &b) {
  return a.op == b.op && a.canonical == b.canonical;
}

SpecifierSet parse_specifier_set(std::string_view text, std::optional<bool> prereleases) {
  std::vector<Specifier> specifiers;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = std::min(text.find(',', start), text.size());
    std::string_view item = scan::strip(text.substr(start, comma - start));
    if (!item.empty()) {
      specifiers.push_back(parse_specifier(item));
    }
    start = comma + 1;
  }
  return merge(std::move(specifiers), prereleases);
}

std::string to_string(const SpecifierSet &set) {
  std::vector<std::string> texts;
  texts.reserve(set.specifiers.size());
  for (const auto &specifier : set.specifiers) {
    texts.push_back(to_string(specifier));
  }
  std::sort(texts.begin(), texts.end());
  std::string out;
  for (const auto &text : texts) {
    if (!out.empty()) {
      out += ',';
    }
    out += text;
  }
  return out;
}

std::optional<bool> allows_prereleases(const SpecifierSet &set) {
  if (set.prereleases || set.specifiers.empty()) {
    return set.prereleases;
  }
  return std::any_of(set.specifiers.begin(), set.specifiers.end(),
                     [](const Specifier &specifier) { return allows_prereleases(specifier); });
}

bool contains(const SpecifierSet &set, std::string_view version, std::optional<bool> prereleases,
              std::optional<bool> installed) {
  Version v = parse_version(version);
  if (!prereleases) {
    prereleases = allows_prereleases(set);
  }
  if (!prereleases.value_or(false) && v.is_prerelease()) {
    return false;
  }
  if (installed.value_or(false) && v.is_prerelease()) {
    v = base_version(v);
  }
  return std::all_of(set.specifiers.begin(), set.specifiers.end(), [&](const Specifier &specifier) {
    return contains(specifier, v, prereleases);
  });
}

std::vector<std::string> filter(const SpecifierSet &set, const std::vector<std::string> &items,
                                std::optional<bool> prereleases) {
  if (!prereleases) {
    prereleases = allows_prereleases(set);
  }
  if (!set.specifiers.empty()) {
    std::vector<std::string> out = items;
    for (const auto &specifier : set.specifiers) {
      out = filter(specifier, out, prereleases.value_or(false));
    }
    return out;
  }
  // Without clauses only pre-releases are held back, and offered when nothing else is.
  std::vector<std::string> out;
  std::vector<std::string> held_prereleases;
  for (const auto &item : items) {
    if (parse_version(item).is_prerelease() && !prereleases.value_or(false)) {
      if (out.empty()) {
        held_prereleases.push_back(item);
      }
    } else {
      out.push_back(item);
    }
  }
  return out.empty() && !prereleases ? held_prereleases : out;
}

SpecifierSet operator&(const SpecifierSet &a, const SpecifierSet &b) {
  if (a.prereleases && b.prereleases && *a.prereleases != *b.prereleases) {
    throw Error(ErrorKind::ValueError,
                "Cannot combine SpecifierSets with True and False prerelease overrides.");
  }
  std::vector<Specifier> specifiers = a.specifiers;
  specifiers.insert(specifiers.end(), b.specifiers.begin(), b.specifiers.end());
  return merge(std::move(specifiers), a.prereleases ? a.prereleases : b.prereleases);
}

bool operator==(const SpecifierSet &a, const SpecifierSet &b) {
  if (a.specifiers.size() != b.specifiers.size()) {
    return false;
  }
  std::unordered_set<std::string> keys;
  for (const auto &specifier : a.specifiers) {
    keys.insert(equality_key(specifier));
  }
  return std::all_of(b.specifiers.begin(), b.specifiers.end(), [&](const Specifier &specifier) {
    return keys.contains(equality_key(specifier));
  });
}

} // namespace tarvo::packaging
