// The test of a built wheel in a container of the official Python image.
#pragma once

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
  // A test file, folder or node id inside the project (tests/test_a.py::test_b); absent: the
  // tests folder.
  std::optional<std::string> path;
  // Passed to pytest after the path, unchanged.
  std::vector<std::string> pytest_args;
  // The "test" extra is installed with the wheel, or the "test" group of the project's
  // pyproject.toml, or, with neither, the wheel alone.
  project::TestRequirements requirements = project::TestRequirements::Extra;
};

// Installs the wheel found in wheelhouse/ or else dist/ with its test requirements in the
// target's Python image, copies the tests' top folder (or file) out of the mounted project and
// runs pytest on them there. No wheel is a FileNotFoundError, and so is a path that is not in
// the project; a path outside it is a ValueError; a failing container (a failing test) raises
// CalledProcessError.
void test_manylinux_wheel(const container::Target &target, const std::optional<std::string> &setup,
                          const WheelTests &tests = {});

} // namespace tarvo::artifacts
