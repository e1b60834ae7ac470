#include "tarvo/packaging/name.hpp"

#include "tarvo/packaging/scan.hpp"

#include <algorithm>

namespace tarvo::packaging {

bool is_valid_name(std::string_view name) {
  if (name.empty() || !scan::is_alnum(name.front()) || !scan::is_alnum(name.back())) {
    return false;
  }
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return scan::is_alnum(c) || c == '.' || c == '-' || c == '_'; });
}

std::string canonicalize_name(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  bool in_run = false;
  for (char c : name) {
    if (c == '-' || c == '_' || c == '.') {
      if (!in_run) {
        out += '-';
      }
      in_run = true;
    } else {
      out += scan::to_lower(c);
      in_run = false;
    }
  }
  return out;
}

std::string canonicalize_version(const Version &version, bool strip_trailing_zero) {
  if (!strip_trailing_zero) {
    return to_string(version);
  }
  Version stripped = version;
  while (stripped.release.size() > 1 && stripped.release.back().is_zero()) {
    stripped.release.pop_back();
  }
  return to_string(stripped);
}

std::string canonicalize_version(std::string_view version, bool strip_trailing_zero) {
  auto parsed = try_parse_version(version);
  return parsed ? canonicalize_version(*parsed, strip_trailing_zero) : std::string(version);
}

} // namespace tarvo::packaging
