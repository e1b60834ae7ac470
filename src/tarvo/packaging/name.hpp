// Normalised forms of distribution names (PEP 503) and of version texts, used to decide
// whether two spellings mean the same thing.
#pragma once

#include "tarvo/packaging/version.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::packaging {

// A valid project name: ASCII letters, digits, ".", "-" and "_", beginning and ending with a
// letter or digit.
bool is_valid_name(std::string_view name);

// Lower-cases the name and replaces every run of "-", "_" and "." by one "-":
// "Foo.._Bar" becomes "foo-bar". Only ASCII letters change case.
std::string canonicalize_name(std::string_view name);

// The module a project's package is imported as: its normalised name with "_" for "-"
// ("Demo.Pkg" gives "demo_pkg").
std::string module_name(std::string_view project);

// The normalised version text with the release segment's trailing zeros removed when
// `strip_trailing_zero` ("1.0.0+abc" becomes "1+abc"). A text that is not a valid version is
// returned unchanged.
std::string canonicalize_version(std::string_view version, bool strip_trailing_zero = true);
std::string canonicalize_version(const Version &version, bool strip_trailing_zero = true);

// The parts of a wheel's file name: NAME-VERSION[-BUILD]-PYTHON-ABI-PLATFORM.whl.
struct WheelName {
  std::string name;
  std::string version;
  std::string build; // empty when there is none
  std::string python;
  std::string abi;
  std::string platform;
};

// The parts of `filename` when it is a wheel's name: a valid project name and version, a build
// tag that begins with a digit, and tags of letters, digits, "_" and "."; otherwise none.
std::optional<WheelName> parse_wheel_filename(std::string_view filename);

} // namespace tarvo::packaging
