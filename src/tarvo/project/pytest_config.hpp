// The project's pytest configuration as pytest finds it, and where the project keeps its tests.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::project {

// The files of a folder that pytest may take for its configuration, in the order it looks.
inline constexpr std::array<std::string_view, 5> PYTEST_CONFIG_FILES = {
    "pytest.ini", ".pytest.ini", "pyproject.toml", "tox.ini", "setup.cfg"};

struct PytestConfig {
  std::filesystem::path file;
  // The folders pytest runs when it is given none; empty when the file names none.
  std::vector<std::string> testpaths;
};

// The file of `folder` that pytest would choose as its configuration, with its testpaths:
// pytest.ini and .pytest.ini whatever they hold, pyproject.toml with [tool.pytest.ini_options]
// or [tool.pytest], tox.ini with [pytest], setup.cfg with [tool:pytest]. Absent when none is
// there; a pyproject.toml that cannot be read counts as none.
std::optional<PytestConfig> pytest_config(const std::filesystem::path &folder);

// Where the tests of the project in `folder` are, when no path is given: tests/; else the
// testpaths of its pytest configuration that exist; else test/ when it holds test files
// (test_*.py or *_test.py). Empty when there are none.
std::vector<std::string> default_test_paths(const std::filesystem::path &folder);

} // namespace tarvo::project
