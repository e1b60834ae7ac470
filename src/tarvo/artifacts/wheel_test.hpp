// The test of a built wheel in a container of the official Python image.
#pragma once

#include "tarvo/container/target.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::artifacts {

// Written into git's global configuration in the test container.
inline constexpr std::string_view TEST_GIT_EMAIL = "test-runner@tarvo.invalid";

// The shell text that installs rustc and cargo with the image's package manager.
std::string install_rust(container::Libc libc);

// Installs the wheel found in wheelhouse/ or else dist/ with its "test" extra in the target's
// Python image, copies tests/ out of the mounted project and runs pytest on it there. No wheel
// is a FileNotFoundError; a failing container (a failing test) raises CalledProcessError.
void test_manylinux_wheel(const container::Target &target, const std::optional<std::string> &setup);

} // namespace tarvo::artifacts
