// PEP 508 requirement strings such as `requests[socks] >= 2.8 ; python_version < "3.9"` or
// `name @ https://host/name.zip`, and their normalised text.
#pragma once

#include "tarvo/packaging/marker.hpp"
#include "tarvo/packaging/specifier.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::packaging {

struct Requirement {
  std::string name;                // as written
  std::vector<std::string> extras; // as written, sorted, each once
  SpecifierSet specifier;          // empty for a URL requirement
  std::optional<std::string> url;
  std::optional<Marker> marker;
};

// Parses a requirement string. A syntax error or an invalid URL is an "InvalidRequirement"
// error; a clause that the specifier set rejects is an "InvalidSpecifier" error.
Requirement parse_requirement(std::string_view text);

// The normalised text: name, "[extras]" joined by ",", the specifier set's text, "@ url"
// (with a space before a marker), and "; marker": `pytest>=7.0`,
// `name[a,b]@ https://host/x.zip ; python_version >= "3.8"`.
std::string to_string(const Requirement &requirement);

// Same name as written, extras, specifier set, URL and marker.
bool operator==(const Requirement &a, const Requirement &b);

} // namespace tarvo::packaging
