// The command-line grammar as a table (commands, options, help texts) and the parser that
// reads an argument vector against it.
#pragma once

#include "tarvo/cli/args.hpp"

#include <string>
#include <variant>
#include <vector>

namespace tarvo::cli {

// Where a parsed word goes in Args.
using Field = std::variant<bool Args::*, std::string Args::*, std::optional<std::string> Args::*,
                           std::vector<std::string> Args::*>;

enum class Arity {
  Flag,       // an option without a value
  Value,      // an option with one value
  Optional,   // a positional of zero or one word
  ZeroOrMore, // a positional of any number of words
};

struct Argument {
  std::vector<std::string> names; // option names ("--directory", "-C"); empty for a positional
  std::string display;            // metavar of an option's value, or the positional's name
  Arity arity;
  Field field;
  std::string help;
  std::vector<std::string> choices;
};

struct Command {
  std::string name;
  std::string help;
  std::vector<Argument> arguments;
};

struct Grammar {
  std::string prog;
  std::string description;
  std::vector<Argument> options; // top level; they stand before the command word
  std::vector<Command> commands;
};

// tarvo's own grammar.
const Grammar &tarvo_grammar();

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

// "usage: tarvo [-h] ..." with a line end; `command` selects a command's usage line.
std::string usage(const Grammar &grammar, const Command *command = nullptr);
std::string help(const Grammar &grammar, const Command *command = nullptr);

} // namespace tarvo::cli
