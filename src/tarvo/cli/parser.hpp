// The parser: reads an argument vector against the grammar into Args, or into the text to
// print and the status to end with.
#pragma once

#include "tarvo/cli/args.hpp"
#include "tarvo/cli/grammar.hpp"

#include <string>
#include <string_view>
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

// The items of an option's comma-separated value, without the blanks around them ("3.11, 3.12"
// gives "3.11" and "3.12"); an empty item stays, for the parser to refuse.
std::vector<std::string> split_list(std::string_view value);

std::variant<Parsed, Finished> parse(const Grammar &grammar, const std::vector<std::string> &argv,
                                     const std::string &version);

} // namespace tarvo::cli
