// The command-line grammar as a table: the top-level options, the commands, their arguments
// and help texts. The parser and the help layout read it.
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
  Remainder,  // every word after "--", taken as it is
};

struct Argument {
  std::vector<std::string> names; // option names ("--directory", "-C"); empty for a positional
  std::string display;            // metavar of an option's value, or the positional's name
  Arity arity;
  Field field;
  std::string help;
  std::vector<std::string> choices;
  // The value is a comma-separated list, each item checked against the choices.
  bool list = false;

  bool is_option() const { return !names.empty(); }
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

// -h/--help, which every level accepts.
extern const Argument HELP;

// The arguments of the top level (no command) or of one command, HELP first.
std::vector<const Argument *> level_arguments(const Grammar &grammar, const Command *command);

// The top level's options that may also follow the command word (`tarvo lint --no-sync`): its
// flags but --version.
std::vector<const Argument *> global_options(const Grammar &grammar);

} // namespace tarvo::cli
