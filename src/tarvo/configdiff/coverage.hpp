// Whether one list of requirement strings covers another: every expected requirement needs
// an actual one of the same distribution whose markers, extras and version bounds cover it.
#pragma once

#include "tarvo/packaging/marker.hpp"
#include "tarvo/packaging/specifier.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::configdiff {

// The normalised texts of the expected requirements that no actual requirement covers,
// grouped by distribution in the order the distributions first appear in `expected`. An
// invalid requirement string is an error; `requires_python` is parsed only when markers have
// to be compared.
std::vector<std::string> requirements_not_satisfied_by(const std::vector<std::string> &expected,
                                                       const std::vector<std::string> &actual,
                                                       std::string_view requires_python);

namespace detail {

// Whether the actual set's lower bound (">=" or "==") reaches the expected one, and an
// expected "==" pin is matched by the same text or by an actual minimum at least as high.
bool specifier_covers(const packaging::SpecifierSet &expected,
                      const packaging::SpecifierSet &actual);

// The version text of the first ">=" or "==" clause, if any.
std::optional<std::string> get_min_version(const packaging::SpecifierSet &specifiers);

// Whether the actual marker holds wherever the expected one does, tried in the environments
// of generate_marker_environments; an environment in which either marker cannot be evaluated
// is skipped.
bool marker_covers(const std::optional<packaging::Marker> &expected,
                   const std::optional<packaging::Marker> &actual,
                   std::string_view requires_python);

// One environment per platform (linux, darwin, win32) with the lowest Python version that
// `requires_python` admits ("python_version", "python_full_version", "sys_platform",
// "platform_system").
std::vector<packaging::MarkerEnvironment>
generate_marker_environments(std::string_view requires_python);

} // namespace detail

} // namespace tarvo::configdiff
