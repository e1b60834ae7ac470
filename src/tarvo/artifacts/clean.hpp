// Removal of build artifacts from the project directory.
#pragma once

namespace tarvo::artifacts {

// Removes build/, dist/, .venv/, wheelhouse/, .pdm-build/, the top-level *.egg-info, *.build and
// *.dist folders (files so named stay), every __pycache__ folder and every *.pyc file below the
// current directory. Symbolic links are removed, never followed. The first failure ends it, a
// directory that cannot be read included: it never reports success with artifacts left.
void clean();

} // namespace tarvo::artifacts
