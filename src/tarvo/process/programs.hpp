// Where programs are: the one search of PATH, which both the look-up of a program and the start of
// a child use, and the file this process runs from.
#pragma once

#include "tarvo/process/process.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace tarvo::process {

// The file a child named `program` runs: the name itself when it holds a "/", otherwise the first
// regular file that may be run, named `program`, in a folder of the search path in `env` (PATH;
// "/bin:/usr/bin" when unset, an empty entry meaning the current folder). A folder or a file that
// may not be run of that name is passed over, as the system's start of a program would. None
// when there is none.
std::optional<std::filesystem::path> find_program(const std::string &program,
                                                  const Environment &env);

// Whether find_program() finds `program`.
bool on_search_path(const std::string &program, const Environment &env);

// The file this process was started from, links resolved.
const std::filesystem::path &running_executable();

} // namespace tarvo::process
