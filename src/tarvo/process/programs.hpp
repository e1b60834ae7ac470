// Where programs are: whether a name is found on a search path as the exec functions look it up,
// and the file this process runs from.
#pragma once

#include "tarvo/process/process.hpp"

#include <filesystem>
#include <string>

namespace tarvo::process {

// Whether a folder of the search path in `env` (PATH; "/bin:/usr/bin" when unset, an empty
// entry meaning the current folder) holds an entry named `program`.
bool on_search_path(const std::string &program, const Environment &env);

// The file this process was started from, links resolved.
const std::filesystem::path &running_executable();

} // namespace tarvo::process
