// The wheel build in the PyPA manylinux or musllinux container of the target.
#pragma once

#include "tarvo/container/docker.hpp"
#include "tarvo/container/target.hpp"

#include <optional>
#include <string>

namespace tarvo::artifacts {

// Builds a wheel of the project in the current directory into dist/: a pure one (`native`
// false: a setuptools backend gets build_with_nuitka=false), or a platform one repaired by
// auditwheel. Only the wheels this run built reach dist/, replacing any of the same name; what the
// run leaves in the project goes to the owner of the project folder. `setup` runs first in the
// container. Without docker the command ends with its error line; a failing
// container raises CalledProcessError.
void build_manylinux_wheel(container::Engine &engine, bool native, const container::Target &target,
                           const std::optional<std::string> &setup);

} // namespace tarvo::artifacts
