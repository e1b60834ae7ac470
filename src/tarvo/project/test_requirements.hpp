// Where a project keeps what its tests need: its `test` extra, or a `test` dependency group
// (pip 25.1 and later install one with --group).
#pragma once

#include "tarvo/project/project_config.hpp"

#include <filesystem>
#include <string>

namespace tarvo::project {

enum class TestRequirements {
  // [project.optional-dependencies] has `test`.
  Extra,
  // No test extra in sight, but [dependency-groups] has `test`.
  Group,
  // pyproject.toml does not show the extras (there is no [project] table, or it lists
  // optional-dependencies in `dynamic`, or there is no pyproject.toml), and has no test
  // group: `test` is asked for as an extra, which the build backend may know.
  Unseen,
  // [project] gives its extras, `test` is not among them, and there is no `test` group.
  Neither,
};

// Names are compared as pip compares them (case, and runs of "-", "_" and ".", do not matter).
TestRequirements test_requirements(const ProjectConfig &config);

// The same for the pyproject.toml in `folder`; Unseen when there is none.
TestRequirements test_requirements_in(const std::filesystem::path &folder);

// What to do when pytest is missing after the test requirements were installed: one line,
// without a line end, naming where pytest belongs.
std::string missing_pytest_hint(TestRequirements requirements);

} // namespace tarvo::project
