#include "tarvo/packaging/name.hpp"

#include "tarvo/packaging/scan.hpp"

#include <algorithm>
#include <vector>

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

std::string module_name(std::string_view project) {
  auto name = canonicalize_name(project);
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
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

std::optional<WheelName> parse_wheel_filename(std::string_view filename) {
  if (!filename.ends_with(".whl")) {
    return std::nullopt;
  }
  filename.remove_suffix(4);
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    auto dash = filename.find('-', start);
    parts.emplace_back(filename.substr(start, dash - start));
    if (dash == std::string_view::npos) {
      break;
    }
    start = dash + 1;
  }
  if (parts.size() != 5 && parts.size() != 6) {
    return std::nullopt;
  }
  const bool build = parts.size() == 6;
  WheelName wheel{parts[0],        parts[1],        build ? parts[2] : "",
                  parts.end()[-3], parts.end()[-2], parts.end()[-1]};
  auto made_of = [](const std::string &text, std::string_view others) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
      return scan::is_alnum(c) || others.find(c) != std::string_view::npos;
    });
  };
  auto tag = [&](const std::string &text) { return made_of(text, "_."); };
  // The version parser allows blanks around a version; a file name does not.
  if (!is_valid_name(wheel.name) || !made_of(wheel.version, "_.!+") ||
      !try_parse_version(wheel.version) ||
      (build && (!scan::is_digit(wheel.build.front()) || !tag(wheel.build))) ||
      !tag(wheel.python) || !tag(wheel.abi) || !tag(wheel.platform)) {
    return std::nullopt;
  }
  return wheel;
}

} // namespace tarvo::packaging
