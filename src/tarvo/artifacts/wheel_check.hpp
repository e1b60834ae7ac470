// The test of a built wheel in a container of the official Python image.
#pragma once

#include "tarvo/container/docker.hpp"
#include "tarvo/container/target.hpp"
#include "tarvo/project/test_requirements.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::artifacts {

// Written into git's global configuration in the test container.
inline constexpr std::string_view TEST_GIT_EMAIL = "test-runner@tarvo.invalid";

// The shell text that installs rustc and cargo with the image's package manager.
std::string install_rust(container::Libc libc);

// What the tests are and what they need.
struct WheelTests {
  // Test files, folders or node ids inside the project (tests/test_a.py::test_b); none: the
  // tests folder.
  std::vector<std::string> paths;
  // Passed to pytest after the paths, unchanged.
  std::vector<std::string> pytest_args;
  // What is installed with the wheel: an extra of it, a dependency group of the project's
  // pyproject.toml, or the requirements of a pdm or poetry group; with none, the wheel alone.
  project::TestRequirements requirements = {project::TestSource::Extra};
};

// Installs the wheel found in wheelhouse/ or else dist/ with its test requirements in the
// target's Python image, copies the tests out of the mounted project, with the pytest
// configuration and conftest.py files above them but never the package itself, and runs pytest
// on them there. No wheel is a FileNotFoundError, and so is a path that is not in
// the project; a path outside it is a ValueError; a failing container (a failing test) raises
// CalledProcessError.
void test_manylinux_wheel(container::Engine &engine, const container::Target &target,
                          const std::optional<std::string> &setup, const WheelTests &tests = {});

} // namespace tarvo::artifacts
