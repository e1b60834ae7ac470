// The comparison of the project's pyproject.toml (and, on request, its CI workflow) with the
// templates tarvo scaffolds projects from.
#pragma once

namespace tarvo::configdiff {

// Reports each problem as an "ERROR: " line on standard error (and a differing workflow as a
// unified diff) and returns how many it found. Colour codes are written when `colour` is set
// or standard error is a terminal.
int diff(bool workflow, bool colour);

} // namespace tarvo::configdiff
