// The project's source distribution, built with the build front end inside .venv.
#pragma once

#include "tarvo/venv/virtual_environment.hpp"

namespace tarvo::artifacts {

// Builds dist/*.tar.gz. Without a ready environment it reports that and ends with status 1;
// a failing build is a RuntimeError.
void build_sdist(const venv::VirtualEnvironment &venv);

} // namespace tarvo::artifacts
