// The single-file executable build, in a container of the target's official Python image.
#pragma once

#include "tarvo/container/docker.hpp"
#include "tarvo/container/target.hpp"

#include <optional>
#include <string>

namespace tarvo::artifacts {

// Compiles `package`, run as a module (it needs a __main__), with Nuitka into one file:
// dist/PACKAGE-ARCH-INTERPRETER-LIBC, with build/ for Nuitka's own files; what the run leaves
// in the project goes to the owner of the project folder. Without docker the command ends with its
// error line; a failing container raises CalledProcessError.
void build_executable(container::Engine &engine, const std::string &package,
                      const container::Target &target, const std::optional<std::string> &setup,
                      bool no_compress);

} // namespace tarvo::artifacts
