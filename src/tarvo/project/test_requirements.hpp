// Where a project keeps what its tests need, looked for in one order: the extras `test`,
// `tests` and `testing`; then the groups of those names and `dev`, in [dependency-groups]
// (pip 25.1 and later install one with --group), in pdm's [tool.pdm.dev-dependencies], and in
// poetry's [tool.poetry.group.NAME.dependencies] (translated to PEP 508).
#pragma once

#include "tarvo/project/project_config.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::project {

enum class TestSource {
  // [project.optional-dependencies] has the extra `name`.
  Extra,
  // [dependency-groups] has the group `name`.
  Group,
  // [tool.pdm.dev-dependencies] has `name`: its requirement strings are installed.
  PdmGroup,
  // poetry's group `name`, translated: its requirement strings are installed.
  PoetryGroup,
  // pyproject.toml does not show the extras (there is no [project] table, or it lists
  // optional-dependencies in `dynamic`, or there is no pyproject.toml, or it cannot be read),
  // and no group was found: `test` is asked for as an extra, which the build backend may know.
  Unseen,
  // [project] gives its extras, and neither they nor any group holds test requirements.
  None,
};

struct TestRequirements {
  TestSource source = TestSource::Unseen;
  // The extra's or group's name as the project writes it.
  std::string name = "test";
  // PdmGroup and PoetryGroup: the PEP 508 requirements to install.
  std::vector<std::string> requirements = {};
  // Entries that are not installed, each with why (a poetry git dependency, an editable path).
  std::vector<std::string> untranslated = {};
};

// Names are compared as pip compares them (case, and runs of "-", "_" and ".", do not matter).
TestRequirements test_requirements(const ProjectConfig &config);

// What `name` stands for in any of those places: an extra, else a group of [dependency-groups],
// of pdm's dev-dependencies or of poetry's (translated); none when the project has no such name.
std::optional<TestRequirements> requirements_named(const ProjectConfig &config,
                                                   std::string_view name);

// Every name that requirements_named() knows, by kind, for the error that refuses an unknown one:
// "extras: a, b; dependency groups: dev", each kind of group only where the project has it.
std::string known_names(const ProjectConfig &config);

// The same for the pyproject.toml in `folder`; Unseen when there is none or it cannot be read.
TestRequirements test_requirements_in(const std::filesystem::path &folder);

// Where the requirements come from, for people: "dependency group 'tests'".
std::string describe(const TestRequirements &requirements);

// The lines, without line ends, that say what was chosen and what of it is left out.
std::vector<std::string> test_requirements_lines(const TestRequirements &requirements);

// What to do when pytest is missing after the test requirements were installed: one line,
// without a line end, naming where pytest belongs.
std::string missing_pytest_hint(const TestRequirements &requirements);

} // namespace tarvo::project
