// The command-line entry: parse, change to the project directory, dispatch.
#pragma once

#include <string>
#include <vector>

namespace tarvo::cli {

// The version tarvo was built as, or "dev".
const char *version();

// Runs tarvo with the arguments after the program name and returns the exit status. Usage
// errors, help and version end the process through tarvo::ExitStatus.
int main(const std::vector<std::string> &argv);

} // namespace tarvo::cli
