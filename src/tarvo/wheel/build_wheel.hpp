// The wheel build in the PyPA manylinux or musllinux container of the target.
#pragma once

#include "tarvo/container/target.hpp"

#include <optional>
#include <string>

namespace tarvo::wheel {

// Builds a wheel of the project in the current directory into dist/: a pure one (`native`
// false: the backend gets build_with_nuitka=false), or a platform one repaired by auditwheel.
// dist/ and what the build leaves are given to the owner of the project folder. `setup` runs
// first in the container. Without docker the command ends with its error line; a failing
// container raises CalledProcessError.
void build_manylinux_wheel(bool native, const container::Target &target,
                           const std::optional<std::string> &setup);

} // namespace tarvo::wheel
