// PEP 440 version specifiers: single clauses such as ">=1.0" or "==2.1.*" and
// comma-separated sets of them, with the containment tests installers apply.
#pragma once

#include "tarvo/packaging/version.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::packaging {

enum class Operator : std::uint8_t {
  compatible,    // ~=
  equal,         // ==
  not_equal,     // !=
  less_equal,    // <=
  greater_equal, // >=
  less,          // <
  greater,       // >
  arbitrary,     // ===
};

std::string_view operator_text(Operator op);

// The operator spelled at the start of `text` ("===" before "=="), or none.
std::optional<Operator> operator_at(std::string_view text);

// One clause. Made by parse_specifier, which also fills the derived fields.
struct Specifier {
  Operator op = Operator::equal;
  std::string version;             // as written after the operator, e.g. "3.8" or "3.8.*"
  std::optional<bool> prereleases; // overrides the pre-release rule when set
  std::optional<Version> parsed;   // the version (without ".*"); absent for "===" with a
                                   // text that is not a version
  bool wildcard = false;           // "==" or "!=" with a trailing ".*"
  std::string canonical;           // the version text as compared for equality
};

// Parses "op version" (whitespace allowed around and between); an invalid text is an
// "InvalidSpecifier" error.
Specifier parse_specifier(std::string_view text, std::optional<bool> prereleases = {});
std::optional<Specifier> try_parse_specifier(std::string_view text);

// "op" followed by the version as written: "<2" for "< 2".
std::string to_string(const Specifier &specifier);

// Whether the clause admits pre-releases when nothing else decides: its override, or true
// when an inclusive operator names a pre-release (">=1.0b1"). A "===" clause whose text is not
// a version makes this an "InvalidVersion" error.
bool allows_prereleases(const Specifier &specifier);

// Whether `version` satisfies the clause. Pre-releases are refused unless `prereleases`
// (or, when it is absent, allows_prereleases) admits them. An item that is not a valid
// version is an "InvalidVersion" error.
bool contains(const Specifier &specifier, const Version &version,
              std::optional<bool> prereleases = {});
bool contains(const Specifier &specifier, std::string_view version,
              std::optional<bool> prereleases = {});

// The items that satisfy the clause, in order; pre-releases only when nothing else matches
// or when they are admitted.
std::vector<std::string> filter(const Specifier &specifier, const std::vector<std::string> &items,
                                std::optional<bool> prereleases = {});

// Same operator and same version once normalised ("==1.0" equals "==1.0.0"; for "~=" the
// trailing zeros count).
bool operator==(const Specifier &a, const Specifier &b);

// A set of clauses in the order written, each equal clause once (the first is kept).
struct SpecifierSet {
  std::vector<Specifier> specifiers;
  std::optional<bool> prereleases;

  bool empty() const { return specifiers.empty(); }
};

// Parses a comma-separated list of clauses; empty items are skipped, so "" is the empty set.
SpecifierSet parse_specifier_set(std::string_view text, std::optional<bool> prereleases = {});

// The clauses' texts sorted and joined by ",": "<3,>=2.0".
std::string to_string(const SpecifierSet &set);

// The override, else absent for an empty set, else whether any clause admits pre-releases.
std::optional<bool> allows_prereleases(const SpecifierSet &set);

// Whether `version` satisfies every clause. With `installed`, a pre-release counts as its
// final release.
bool contains(const SpecifierSet &set, std::string_view version,
              std::optional<bool> prereleases = {}, std::optional<bool> installed = {});

std::vector<std::string> filter(const SpecifierSet &set, const std::vector<std::string> &items,
                                std::optional<bool> prereleases = {});

// The union of the clauses; the pre-release overrides must not contradict each other.
SpecifierSet operator&(const SpecifierSet &a, const SpecifierSet &b);

// The same clauses in any order.
bool operator==(const SpecifierSet &a, const SpecifierSet &b);

namespace detail {

// The end of the clause (operator and version, no whitespace after it) that starts at `pos`,
// or nothing when none starts there: how a requirement string finds its clauses.
std::optional<std::size_t> scan_specifier(std::string_view text, std::size_t pos);

} // namespace detail

} // namespace tarvo::packaging
