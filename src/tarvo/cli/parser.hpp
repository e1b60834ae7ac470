// The parser: reads an argument vector against the grammar into Args, or into the text to
// print and the status to end with.
#pragma once

#include "tarvo/cli/args.hpp"
#include "tarvo/cli/grammar.hpp"

#include <string>
#include <variant>
#include <vector>

namespace tarvo::cli {

// The outcome of parsing: the arguments, or the text to print and the status to end with
// (help and version end with 0 on standard output; usage errors with 2 on standard error).
struct Parsed {
  Args args;
};
struct Finished {
  int status;
  std::string out;
  std::string err;
};

std::variant<Parsed, Finished> parse(const Grammar &grammar, const std::vector<std::string> &argv,
                                     const std::string &version);

} // namespace tarvo::cli
