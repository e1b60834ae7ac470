#include "tarvo/configdiff/coverage.hpp"

#include "tarvo/error.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/packaging/requirement.hpp"

#include <algorithm>
#include <unordered_map>

namespace tarvo::configdiff {

namespace {

using packaging::Marker;
using packaging::MarkerEnvironment;
using packaging::Operator;
using packaging::Requirement;
using packaging::SpecifierSet;

std::optional<std::string> first_clause(const SpecifierSet &specifiers,
                                        std::initializer_list<Operator> ops) {
  for (const auto &clause : specifiers.specifiers) {
    if (std::find(ops.begin(), ops.end(), clause.op) != ops.end()) {
      return clause.version;
    }
  }
  return std::nullopt;
}

// The marker environments, built the first time a marker comparison needs them.
class LazyEnvironments {
public:
  explicit LazyEnvironments(std::string_view requires_python) : requires_python_(requires_python) {}

  const std::vector<MarkerEnvironment> &get() {
    if (!environments_) {
      environments_ = detail::generate_marker_environments(requires_python_);
    }
    return *environments_;
  }

private:
  std::string_view requires_python_;
  std::optional<std::vector<MarkerEnvironment>> environments_;
};

bool markers_cover(const std::optional<Marker> &expected, const std::optional<Marker> &actual,
                   LazyEnvironments &environments) {
  if (!actual || expected == actual) {
    return true;
  }
  for (const auto &environment : environments.get()) {
    // A marker that cannot be evaluated here says nothing about this environment.
    try {
      bool expected_holds = !expected || packaging::evaluate(*expected, environment);
      if (expected_holds && !packaging::evaluate(*actual, environment)) {
        return false;
      }
    } catch (const Error &) {
      continue;
    }
  }
  return true;
}

bool covers(const Requirement &expected, const Requirement &actual,
            LazyEnvironments &environments) {
  return markers_cover(expected.marker, actual.marker, environments) &&
         std::includes(actual.extras.begin(), actual.extras.end(), expected.extras.begin(),
                       expected.extras.end()) &&
         detail::specifier_covers(expected.specifier, actual.specifier);
}

// Requirements grouped by normalised name, groups in order of first appearance.
struct Groups {
  std::vector<std::vector<Requirement>> groups;
  std::vector<std::string> names;
  std::unordered_map<std::string, std::size_t> index;

  void add(Requirement requirement) {
    std::string name = packaging::canonicalize_name(requirement.name);
    auto [it, inserted] = index.try_emplace(name, groups.size());
    if (inserted) {
      groups.emplace_back();
      names.push_back(std::move(name));
    }
    groups[it->second].push_back(std::move(requirement));
  }

  const std::vector<Requirement> *find(const std::string &name) const {
    auto it = index.find(name);
    return it == index.end() ? nullptr : &groups[it->second];
  }
};

} // namespace

std::vector<std::string> requirements_not_satisfied_by(const std::vector<std::string> &expected,
                                                       const std::vector<std::string> &actual,
                                                       std::string_view requires_python) {
  Groups wanted;
  for (const auto &text : expected) {
    wanted.add(packaging::parse_requirement(text));
  }
  Groups present;
  for (const auto &text : actual) {
    present.add(packaging::parse_requirement(text));
  }
  LazyEnvironments environments(requires_python);
  std::vector<std::string> not_covered;
  for (std::size_t g = 0; g < wanted.groups.size(); ++g) {
    const auto *candidates = present.find(wanted.names[g]);
    for (const auto &requirement : wanted.groups[g]) {
      bool covered = candidates != nullptr &&
                     std::any_of(candidates->begin(), candidates->end(), [&](const auto &c) {
                       return covers(requirement, c, environments);
                     });
      if (!covered) {
        not_covered.push_back(packaging::to_string(requirement));
      }
    }
  }
  return not_covered;
}

namespace detail {

std::optional<std::string> get_min_version(const SpecifierSet &specifiers) {
  return first_clause(specifiers, {Operator::greater_equal, Operator::equal});
}

bool specifier_covers(const SpecifierSet &expected, const SpecifierSet &actual) {
  auto expected_exact = first_clause(expected, {Operator::equal});
  auto actual_exact = first_clause(actual, {Operator::equal});
  if (expected_exact && !actual_exact) {
    auto actual_min = get_min_version(actual);
    return actual_min &&
           packaging::parse_version(*actual_min) >= packaging::parse_version(*expected_exact);
  }
  if (expected_exact) {
    return *expected_exact == *actual_exact;
  }
  auto expected_min = get_min_version(expected);
  if (!expected_min) {
    return true;
  }
  auto actual_min = get_min_version(actual);
  return actual_min &&
         packaging::parse_version(*actual_min) >= packaging::parse_version(*expected_min);
}

bool marker_covers(const std::optional<Marker> &expected, const std::optional<Marker> &actual,
                   std::string_view requires_python) {
  LazyEnvironments environments(requires_python);
  return markers_cover(expected, actual, environments);
}

std::vector<MarkerEnvironment> generate_marker_environments(std::string_view requires_python) {
  auto specifiers = packaging::parse_specifier_set(requires_python);
  std::string version =
      first_clause(specifiers, {Operator::greater_equal}).value_or(std::string(requires_python));
  std::vector<MarkerEnvironment> environments;
  for (std::string platform : {"linux", "darwin", "win32"}) {
    std::string system = platform;
    system[0] = static_cast<char>(system[0] - 'a' + 'A');
    environments.push_back({{"python_version", version},
                            {"python_full_version", version + ".0"},
                            {"sys_platform", platform},
                            {"platform_system", system}});
  }
  return environments;
}

} // namespace detail

} // namespace tarvo::configdiff
