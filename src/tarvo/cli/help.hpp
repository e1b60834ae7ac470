// The help layout: the usage line and the generated help of the top level or of one command.
#pragma once

#include "tarvo/cli/grammar.hpp"

#include <string>

namespace tarvo::cli {

// "usage: tarvo [-h] ..." with a line end; `command` selects a command's usage line.
std::string usage(const Grammar &grammar, const Command *command = nullptr);
std::string help(const Grammar &grammar, const Command *command = nullptr);

} // namespace tarvo::cli
