// Removal of build artifacts from the project directory.
#pragma once

#include <filesystem>

namespace tarvo {

// Removes build/, dist/, .venv/, wheelhouse/, the top-level *.egg-info, *.build and *.dist,
// every __pycache__ folder and every *.pyc file below the current directory. Symbolic links
// are removed, never followed. The first failure ends it.
void clean();

// Removes a directory with everything in it without following symbolic links; `path` names
// it in errors. A link or a non-directory at `path` is an error.
void remove_tree(const std::filesystem::path &path);

} // namespace tarvo
