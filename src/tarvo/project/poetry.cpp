#include "tarvo/project/poetry.hpp"

#include "tarvo/packaging/requirement.hpp"

#include <cctype>
#include <fmt/format.h>
#include <utility>
#include <vector>

namespace tarvo::project {

namespace {

// The release numbers a version text begins with ("1.2.3b1": 1, 2, 3); none when it does
// not begin with one.
std::vector<unsigned long long> release_of(const std::string &version) {
  std::vector<unsigned long long> numbers;
  std::size_t at = 0;
  while (at < version.size() && std::isdigit(static_cast<unsigned char>(version[at]))) {
    std::size_t end = at;
    while (end < version.size() && std::isdigit(static_cast<unsigned char>(version[end]))) {
      ++end;
    }
    if (end - at > 18) {
      return {};
    }
    numbers.push_back(std::stoull(version.substr(at, end - at)));
    if (end + 1 < version.size() && version[end] == '.' &&
        std::isdigit(static_cast<unsigned char>(version[end + 1]))) {
      at = end + 1;
    } else {
      break;
    }
  }
  return numbers;
}

// The release with component `index` raised by one and those after it zero, as long as the
// release given.
std::string bumped(std::vector<unsigned long long> release, std::size_t index) {
  release[index] += 1;
  std::string text;
  for (std::size_t i = 0; i < release.size(); ++i) {
    text += (i ? "." : "") + std::to_string(i > index ? 0 : release[i]);
  }
  return text;
}

using Clause = std::pair<std::string, std::string>; // operator, version

// A poetry constraint ("^1.2", ">=1,<3", ">= 1.2 <2", "~2.1", "1.4.*", "*") as PEP 440
// clauses; absent, with `why` set, for what PEP 440 cannot say.
std::optional<std::vector<Clause>> poetry_clauses(const std::string &constraint, std::string &why) {
  if (constraint.find("||") != std::string::npos || constraint.find('|') != std::string::npos) {
    why = "alternatives joined by '||'";
    return std::nullopt;
  }
  // Words split at commas and blanks, an operator standing alone joined to its version.
  std::vector<std::string> words;
  std::string word;
  auto flush = [&] {
    if (!word.empty()) {
      if (!words.empty() && words.back().find_first_not_of("<>=!~^") == std::string::npos) {
        words.back() += word;
      } else {
        words.push_back(word);
      }
      word.clear();
    }
  };
  for (char c : constraint) {
    if (c == ',' || c == ' ' || c == '\t') {
      flush();
    } else {
      word += c;
    }
  }
  flush();
  std::vector<Clause> clauses;
  for (const auto &w : words) {
    if (w == "*") {
      continue;
    }
    if (w.starts_with("^") || (w.starts_with("~") && !w.starts_with("~="))) {
      const auto version = w.substr(1);
      const auto release = release_of(version);
      if (release.empty()) {
        why = "the constraint " + w;
        return std::nullopt;
      }
      std::size_t index = 0;
      if (w.front() == '^') {
        // The first component that is not zero is the one that may not change.
        while (index + 1 < release.size() && release[index] == 0) {
          ++index;
        }
      } else {
        index = release.size() >= 2 ? 1 : 0;
      }
      clauses.emplace_back(">=", version);
      clauses.emplace_back("<", bumped(release, index));
      continue;
    }
    const auto op_end = w.find_first_not_of("<>=!~");
    if (op_end == std::string::npos) {
      why = "the constraint " + w;
      return std::nullopt;
    }
    auto op = w.substr(0, op_end);
    clauses.emplace_back(op.empty() ? "==" : op, w.substr(op_end));
  }
  return clauses;
}

// Python constraints as a marker: "python_version >= \"3.8\" and python_version < \"4.0\"".
std::string python_marker(const std::vector<Clause> &clauses) {
  std::string marker;
  for (const auto &[op, version] : clauses) {
    const bool full = std::count(version.begin(), version.end(), '.') >= 2;
    marker += fmt::format("{}{} {} \"{}\"", marker.empty() ? "" : " and ",
                          full ? "python_full_version" : "python_version", op, version);
  }
  return marker;
}

std::string specifier_text(const std::vector<Clause> &clauses) {
  std::string text;
  for (const auto &[op, version] : clauses) {
    text += (text.empty() ? "" : ",") + op + version;
  }
  return text;
}

} // namespace

std::optional<std::string> poetry_requirement(const std::string &name, const Value &value,
                                              std::string &why) {
  std::string constraint = "*";
  std::string extras;
  std::string marker;
  if (const auto *text = value.as_string()) {
    constraint = *text;
  } else if (const auto *table = value.as_table()) {
    for (const char *source : {"git", "path", "url", "file", "develop"}) {
      if (find(*table, source)) {
        why = std::string("a ") + source + " dependency";
        return std::nullopt;
      }
    }
    if (const Value *version = find(*table, "version")) {
      if (!version->as_string()) {
        why = "a version that is not text";
        return std::nullopt;
      }
      constraint = *version->as_string();
    }
    if (const Value *names = find(*table, "extras"); names && names->as_array()) {
      for (const auto &extra : *names->as_array()) {
        extras += (extras.empty() ? "" : ",") + str(extra);
      }
    }
    if (const Value *markers = find(*table, "markers"); markers && markers->as_string()) {
      marker = *markers->as_string();
    }
    if (const Value *python = find(*table, "python"); python && python->as_string()) {
      auto clauses = poetry_clauses(*python->as_string(), why);
      if (!clauses) {
        why = "python " + *python->as_string() + ": " + why;
        return std::nullopt;
      }
      if (!clauses->empty()) {
        auto python_part = python_marker(*clauses);
        marker = marker.empty() ? python_part : "(" + marker + ") and " + python_part;
      }
    }
  } else {
    why = "several constraints, one per Python or platform";
    return std::nullopt;
  }
  auto clauses = poetry_clauses(constraint, why);
  if (!clauses) {
    return std::nullopt;
  }
  std::string text = name + (extras.empty() ? "" : "[" + extras + "]") + specifier_text(*clauses);
  if (!marker.empty()) {
    text += " ; " + marker;
  }
  try {
    return packaging::to_string(packaging::parse_requirement(text));
  } catch (const Error &) {
    why = "not a valid requirement once translated: " + text;
    return std::nullopt;
  }
}

} // namespace tarvo::project
