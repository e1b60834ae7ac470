#include "tarvo/cli/help.hpp"

namespace tarvo::cli {

namespace {

constexpr std::size_t kWidth = 78;      // help and usage wrap at this column
constexpr std::size_t kHelpColumn = 24; // where help texts start

// The metavar shown for an option's value: its choices, or its display name.
std::string value_display(const Argument &a) {
  if (a.choices.empty()) {
    return a.display;
  }
  std::string joined;
  for (const auto &c : a.choices) {
    joined += (joined.empty() ? "" : ",") + c;
  }
  return "{" + joined + "}";
}

std::string usage_token(const Argument &a) {
  switch (a.arity) {
  case Arity::Flag:
    return "[" + a.names.front() + "]";
  case Arity::Value:
    return "[" + a.names.front() + " " + value_display(a) + "]";
  case Arity::Optional:
    return "[" + a.display + "]";
  case Arity::ZeroOrMore:
    return "[" + a.display + " ...]";
  case Arity::Remainder:
    return "[-- " + a.display + " ...]";
  }
  return {};
}

// Words filled into lines of at most kWidth columns; continuation lines start at `indent`.
std::string wrap(const std::vector<std::string> &words, std::size_t first_column,
                 std::size_t indent) {
  std::string out;
  std::size_t column = first_column;
  bool line_empty = true;
  for (const auto &w : words) {
    if (!line_empty && column + 1 + w.size() > kWidth) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
      line_empty = true;
    }
    if (!line_empty) {
      out += ' ';
      ++column;
    }
    out += w;
    column += w.size();
    line_empty = false;
  }
  return out;
}

std::vector<std::string> split_words(const std::string &text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = text.find(' ', i);
    if (j == std::string::npos) {
      j = text.size();
    }
    if (j > i) {
      words.push_back(text.substr(i, j - i));
    }
    i = j + 1;
  }
  return words;
}

// One entry of an argument list: the invocation, then its help at kHelpColumn.
std::string help_entry(const std::string &invocation, const std::string &text,
                       std::size_t indent = 2) {
  std::string out = std::string(indent, ' ') + invocation;
  if (text.empty()) {
    return out + "\n";
  }
  if (indent + invocation.size() + 2 <= kHelpColumn) {
    out += std::string(kHelpColumn - indent - invocation.size(), ' ');
  } else {
    out += "\n" + std::string(kHelpColumn, ' ');
  }
  return out + wrap(split_words(text), kHelpColumn, kHelpColumn) + "\n";
}

std::string invocation(const Argument &a) {
  if (a.arity == Arity::Remainder) {
    return "-- " + a.display + " ...";
  }
  if (!a.is_option()) {
    return a.display;
  }
  std::string out;
  for (const auto &name : a.names) {
    if (!out.empty()) {
      out += ", ";
    }
    out += name;
    if (a.arity == Arity::Value) {
      out += " " + value_display(a);
    }
  }
  return out;
}

} // namespace

std::string usage(const Grammar &g, const Command *command) {
  std::string prefix = "usage: " + g.prog + (command ? " " + command->name : "") + " ";
  std::vector<std::string> tokens;
  for (const Argument *a : level_arguments(g, command)) {
    if (a->is_option()) {
      tokens.push_back(usage_token(*a));
    }
  }
  for (const Argument *a : level_arguments(g, command)) {
    if (!a->is_option()) {
      tokens.push_back(usage_token(*a));
    }
  }
  if (!command) {
    tokens.push_back("COMMAND ...");
  }
  return prefix + wrap(tokens, prefix.size(), prefix.size()) + "\n";
}

std::string help(const Grammar &g, const Command *command) {
  std::string out = usage(g, command) + "\n";
  out += wrap(split_words(command ? command->help : g.description), 0, 0) + "\n";
  auto arguments = level_arguments(g, command);
  std::string positionals;
  if (!command) {
    positionals += help_entry("COMMAND", "");
    for (const auto &c : g.commands) {
      positionals += help_entry(c.name, c.help, 4);
    }
  }
  for (const Argument *a : arguments) {
    if (!a->is_option()) {
      positionals += help_entry(invocation(*a), a->help);
    }
  }
  if (!positionals.empty()) {
    out += "\npositional arguments:\n" + positionals;
  }
  out += "\noptions:\n";
  for (const Argument *a : arguments) {
    if (a->is_option()) {
      out += help_entry(invocation(*a), a->help);
    }
  }
  if (command) {
    out += "\nglobal options (before or after the command word):\n";
    for (const Argument *a : global_options(g)) {
      out += help_entry(invocation(*a), a->help);
    }
  }
  return out;
}

} // namespace tarvo::cli
