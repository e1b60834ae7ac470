#include "tarvo/project/test_requirements.hpp"

#include "tarvo/files/files.hpp"
#include "tarvo/packaging/name.hpp"

#include <algorithm>

namespace tarvo::project {

namespace {

bool has_test_entry(const std::optional<Value> &table) {
  const Table *entries = table ? table->as_table() : nullptr;
  return entries && std::any_of(entries->begin(), entries->end(), [](const auto &entry) {
           return packaging::canonicalize_name(entry.first) == "test";
         });
}

bool dynamic_extras(const ProjectConfig &config) {
  auto dynamic = config.project_key("dynamic");
  const Array *fields = dynamic ? dynamic->as_array() : nullptr;
  return fields && std::any_of(fields->begin(), fields->end(), [](const Value &field) {
           return field.as_string() && *field.as_string() == "optional-dependencies";
         });
}

} // namespace

TestRequirements test_requirements(const ProjectConfig &config) {
  if (has_test_entry(config.extras())) {
    return TestRequirements::Extra;
  }
  if (has_test_entry(config.dependency_groups())) {
    return TestRequirements::Group;
  }
  if (!config.name() || dynamic_extras(config)) {
    return TestRequirements::Unseen;
  }
  return TestRequirements::Neither;
}

TestRequirements test_requirements_in(const std::filesystem::path &folder) {
  const auto pyproject = folder / "pyproject.toml";
  if (!files::exists(pyproject)) {
    return TestRequirements::Unseen;
  }
  return test_requirements(ProjectConfig(pyproject));
}

std::string missing_pytest_hint(TestRequirements requirements) {
  switch (requirements) {
  case TestRequirements::Extra:
    return "Hint: pytest is not installed: add it to the 'test' extra in "
           "[project.optional-dependencies]";
  case TestRequirements::Group:
    return "Hint: pytest is not installed: add it to the 'test' group in [dependency-groups]";
  case TestRequirements::Neither:
    return "Hint: pytest is not installed, and the project has neither a 'test' extra "
           "([project.optional-dependencies]) nor a 'test' group ([dependency-groups]): add "
           "one that lists pytest";
  case TestRequirements::Unseen:
    break;
  }
  return "Hint: pytest is not installed: list it in the project's 'test' extra, or in a 'test' "
         "group in [dependency-groups]";
}

} // namespace tarvo::project
