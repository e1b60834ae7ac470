// PEP 440 versions: parsing in every spelling the standard allows, the normalised text and
// the total order that installers use.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::packaging {

// A non-negative integer of any size (versions may carry numbers beyond 64 bits), kept as
// its decimal digits without leading zeros.
struct Number {
  std::string digits = "0";

  bool is_zero() const { return digits == "0"; }
  friend bool operator==(const Number &, const Number &) = default;
  friend std::strong_ordering operator<=>(const Number &a, const Number &b);
};

// The three kinds of pre-release, in the order they sort.
enum class PreKind : std::uint8_t { alpha, beta, candidate };

struct PreRelease {
  PreKind kind = PreKind::alpha;
  Number number;

  friend bool operator==(const PreRelease &, const PreRelease &) = default;
};

// One dot-separated part of a local version label: a number, or lower-case letters and digits.
struct LocalPart {
  std::string text;
  bool numeric = false;

  friend bool operator==(const LocalPart &, const LocalPart &) = default;
};

struct Version {
  Number epoch;
  std::vector<Number> release;
  std::optional<PreRelease> pre;
  std::optional<Number> post;
  std::optional<Number> dev;
  std::vector<LocalPart> local; // empty when the version has no local label

  bool is_prerelease() const { return pre.has_value() || dev.has_value(); }
  bool is_postrelease() const { return post.has_value(); }
  bool is_devrelease() const { return dev.has_value(); }
  // The first three release components, 0 where the release is shorter.
  Number major() const { return component(0); }
  Number minor() const { return component(1); }
  Number micro() const { return component(2); }

private:
  Number component(std::size_t i) const { return i < release.size() ? release[i] : Number{}; }
};

// Parses `text` (surrounding whitespace allowed); an invalid text is an "InvalidVersion" error.
Version parse_version(std::string_view text);
// The same without the error, for callers that fall back to something else.
std::optional<Version> try_parse_version(std::string_view text);

// The normalised text: "1!2.0rc1.post3.dev4+local.7".
std::string to_string(const Version &version);
// The normalised text of the version without its local label.
std::string public_text(const Version &version);
// The normalised text of the epoch and the release segment only.
std::string base_text(const Version &version);
// The normalised local label ("abc.7"), empty when there is none.
std::string local_text(const Version &version);

// The version reduced to epoch and release.
Version base_version(const Version &version);

// The total order of PEP 440: trailing zeros of the release do not count, dev releases sort
// before pre-releases, pre-releases before the release, post-releases after it, and a local
// label after the same version without one.
std::strong_ordering operator<=>(const Version &a, const Version &b);
bool operator==(const Version &a, const Version &b);
// The same order with the local labels left out.
std::strong_ordering compare_public(const Version &a, const Version &b);

} // namespace tarvo::packaging
