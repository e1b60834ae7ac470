#include "tarvo/cli/grammar.hpp"

#include <algorithm>
#include <fmt/format.h>
#include <optional>

namespace tarvo::cli {

namespace {

constexpr std::size_t kWidth = 78;      // help and usage wrap at this column
constexpr std::size_t kHelpColumn = 24; // where help texts start

Argument flag(std::vector<std::string> names, bool Args::*field, std::string help) {
  return {std::move(names), "", Arity::Flag, field, std::move(help), {}};
}

template <typename T>
Argument option(std::vector<std::string> names, std::string metavar, T Args::*field,
                std::string help, std::vector<std::string> choices = {}) {
  return {std::move(names), std::move(metavar), Arity::Value, field,
          std::move(help),  std::move(choices)};
}

std::vector<Argument> target_options(const std::string &purpose) {
  return {
      option({"--arch"}, "ARCH", &Args::arch,
             fmt::format("Target architecture for {} (default: x86_64)", purpose)),
      option({"--libc"}, "LIBC", &Args::libc,
             fmt::format("Target libc for {} (default: glibc)", purpose), {"glibc", "musl"}),
      option({"--python"}, "PYTHON", &Args::python,
             fmt::format("Python version for {} (default: 3.11)", purpose)),
  };
}

Grammar build_grammar() {
  Grammar g;
  g.prog = "tarvo";
  g.description = "A Python module to replace Makefile workflows.";
  g.options = {
      flag({"--version"}, nullptr, "show program's version number and exit"),
      option({"--directory", "-C"}, "DIRECTORY", &Args::directory,
             "Change to DIRECTORY before doing anything"),
  };

  Command requirements{"requirements", "Create .venv and install dependencies", {}};
  requirements.arguments = {{{},
                             "extras",
                             Arity::ZeroOrMore,
                             &Args::extras,
                             "Optional dependency groups to install (e.g., web test dev)",
                             {}}};

  Command test{"test", "Run tests (default: all tests in tests/)", {}};
  test.arguments.push_back(flag({"--wheel"}, &Args::wheel,
                                "Test using Docker with a built wheel instead of local code"));
  for (auto &a : target_options("wheel testing")) {
    test.arguments.push_back(std::move(a));
  }
  test.arguments.push_back(option({"--setup"}, "SETUP", &Args::setup,
                                  "Script to run before installing the wheel and running the "
                                  "tests. Only relevant when --wheel is specified"));
  test.arguments.push_back({{},
                            "path",
                            Arity::Optional,
                            &Args::path,
                            "Path to test file or directory (default: tests/)",
                            {}});

  Command build{"build", "Build wheel and source distribution", {}};
  build.arguments = {
      flag({"--sdist"}, &Args::sdist, "Build source distribution"),
      flag({"--wheel"}, &Args::wheel, "Build a pure python wheel"),
      flag({"--native-wheel"}, &Args::native_wheel, "Build platform-specific wheel."),
      flag({"--executable"}, &Args::executable,
           "Build standalone executable, this assumes module.__main__ exists"),
      flag({"--no-compress"}, &Args::no_compress,
           "Do not compress the standalone executable. This reduces memory requirements and "
           "build time."),
  };
  for (auto &a : target_options("manylinux build")) {
    build.arguments.push_back(std::move(a));
  }
  build.arguments.push_back(
      option({"--setup"}, "SETUP", &Args::setup, "Script to run before starting the build."));

  const std::string workflow_help = "Do a comparison of the workflow and outut the diff";
  const std::string colour_help = "Force colour output even when not on a tty";
  Command lint{"lint", "Run linting", {}};
  lint.arguments = {
      flag({"--fix"}, &Args::fix, "Automatically fix issues where supported"),
      flag({"--workflow"}, &Args::workflow, workflow_help),
      flag({"--colour", "--color"}, &Args::colour, colour_help),
  };
  Command config_diff{"config-diff", "Compare project's pyproject.toml against template", {}};
  config_diff.arguments = {
      flag({"--workflow"}, &Args::workflow, workflow_help),
      flag({"--colour", "--color"}, &Args::colour, colour_help),
  };

  Command init{"init", "Initialize a new project", {}};
  init.arguments = {
      option({"--name"}, "NAME", &Args::name, "Project name"),
      option({"--description"}, "DESCRIPTION", &Args::description, "Project description"),
      option({"--author-name"}, "AUTHOR_NAME", &Args::author_name, "Author name"),
      option({"--author-email"}, "AUTHOR_EMAIL", &Args::author_email, "Author email"),
  };

  g.commands = {std::move(requirements), std::move(test),
                std::move(build),        {"clean", "Remove build artifacts", {}},
                std::move(lint),         {"status", "Output status information", {}},
                std::move(config_diff),  std::move(init)};
  return g;
}

const Argument kHelp{{"-h", "--help"},
                     "",
                     Arity::Flag,
                     static_cast<bool Args::*>(nullptr),
                     "show this help message and exit",
                     {}};

bool is_option(const Argument &a) { return !a.names.empty(); }

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
  if (!is_option(a)) {
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

std::vector<const Argument *> level_arguments(const Grammar &g, const Command *command) {
  std::vector<const Argument *> all = {&kHelp};
  for (const auto &a : command ? command->arguments : g.options) {
    all.push_back(&a);
  }
  return all;
}

struct UsageError {
  std::string message;
};

// Reading one parser level: the top level or one command.
class Level {
public:
  Level(const Grammar &g, const Command *command, Args &args)
      : grammar_(g), command_(command), args_(args), arguments_(level_arguments(g, command)) {}

  std::string label() const {
    return command_ ? grammar_.prog + " " + command_->name : grammar_.prog;
  }

  // The option that `word` names, by its full name or a prefix that only one name begins
  // with; `value` receives a value attached with "=" (or to a short option).
  const Argument &match(const std::string &word, std::optional<std::string> &value) const {
    std::string name = word;
    if (auto eq = word.find('='); eq != std::string::npos) {
      name = word.substr(0, eq);
      value = word.substr(eq + 1);
    }
    for (const Argument *a : arguments_) {
      if (std::find(a->names.begin(), a->names.end(), name) != a->names.end()) {
        return *a;
      }
    }
    if (word.rfind("--", 0) == 0) {
      std::vector<std::pair<const Argument *, std::string>> found;
      for (const Argument *a : arguments_) {
        for (const auto &n : a->names) {
          if (n.rfind("--", 0) == 0 && n.rfind(name, 0) == 0) {
            found.emplace_back(a, n);
          }
        }
      }
      if (found.size() == 1) {
        return *found.front().first;
      }
      if (found.size() > 1) {
        std::string names;
        for (const auto &f : found) {
          names += (names.empty() ? "" : ", ") + f.second;
        }
        throw UsageError{fmt::format("ambiguous option: {} could match {}", name, names)};
      }
    } else if (word.size() > 2) {
      // A short option with its value attached: -Cproject.
      value.reset();
      std::string short_name = word.substr(0, 2);
      for (const Argument *a : arguments_) {
        if (std::find(a->names.begin(), a->names.end(), short_name) != a->names.end()) {
          value = word.substr(2);
          return *a;
        }
      }
    }
    throw UsageError{"unrecognized arguments: " + word};
  }

  // Stores an option's value, reading the next word when none was attached; returns whether
  // the next word was used.
  bool take(const Argument &a, std::optional<std::string> value, const std::string *next) {
    std::string names;
    for (const auto &n : a.names) {
      names += (names.empty() ? "" : "/") + n;
    }
    if (a.arity == Arity::Flag) {
      if (value) {
        throw UsageError{fmt::format("argument {}: ignored explicit argument '{}'", names, *value)};
      }
      args_.*std::get<bool Args::*>(a.field) = true;
      return false;
    }
    bool used_next = false;
    if (!value) {
      if (next == nullptr || (next->size() > 1 && next->front() == '-')) {
        throw UsageError{fmt::format("argument {}: expected one argument", names)};
      }
      value = *next;
      used_next = true;
    }
    if (!a.choices.empty() &&
        std::find(a.choices.begin(), a.choices.end(), *value) == a.choices.end()) {
      std::string choices;
      for (const auto &c : a.choices) {
        choices += (choices.empty() ? "'" : ", '") + c + "'";
      }
      throw UsageError{fmt::format("argument {}: invalid choice: '{}' (choose from {})", names,
                                   *value, choices)};
    }
    std::visit(
        [&](auto field) {
          using F = decltype(field);
          if constexpr (std::is_same_v<F, std::string Args::*> ||
                        std::is_same_v<F, std::optional<std::string> Args::*>) {
            args_.*field = *value;
          }
        },
        a.field);
    return used_next;
  }

  // Assigns the words that are not options to the level's positionals, in order.
  void assign_positionals(const std::vector<std::string> &words) {
    std::size_t next = 0;
    for (const Argument *a : arguments_) {
      if (a->arity == Arity::ZeroOrMore) {
        auto &list = args_.*std::get<std::vector<std::string> Args::*>(a->field);
        list.assign(words.begin() + static_cast<long>(next), words.end());
        next = words.size();
      } else if (a->arity == Arity::Optional && next < words.size()) {
        args_.*std::get<std::string Args::*>(a->field) = words[next++];
      }
    }
    if (next < words.size()) {
      std::string surplus;
      for (auto i = next; i < words.size(); ++i) {
        surplus += (surplus.empty() ? "" : " ") + words[i];
      }
      throw UsageError{"unrecognized arguments: " + surplus};
    }
  }

  const Grammar &grammar_;
  const Command *command_;
  Args &args_;
  std::vector<const Argument *> arguments_;
};

} // namespace

const Grammar &tarvo_grammar() {
  static const Grammar grammar = build_grammar();
  return grammar;
}

std::string usage(const Grammar &g, const Command *command) {
  std::string prefix = "usage: " + g.prog + (command ? " " + command->name : "") + " ";
  std::vector<std::string> tokens;
  for (const Argument *a : level_arguments(g, command)) {
    if (is_option(*a)) {
      tokens.push_back(usage_token(*a));
    }
  }
  for (const Argument *a : level_arguments(g, command)) {
    if (!is_option(*a)) {
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
    if (!is_option(*a)) {
      positionals += help_entry(invocation(*a), a->help);
    }
  }
  if (!positionals.empty()) {
    out += "\npositional arguments:\n" + positionals;
  }
  out += "\noptions:\n";
  for (const Argument *a : arguments) {
    if (is_option(*a)) {
      out += help_entry(invocation(*a), a->help);
    }
  }
  return out;
}

std::variant<Parsed, Finished> parse(const Grammar &g, const std::vector<std::string> &argv,
                                     const std::string &version) {
  Args args;
  const Command *command = nullptr;
  auto error = [&](const Level &level, const std::string &message) {
    return Finished{2, "",
                    usage(g, command) + fmt::format("{}: error: {}\n", level.label(), message)};
  };

  Level top(g, nullptr, args);
  std::size_t i = 0;
  try {
    for (; i < argv.size(); ++i) {
      const std::string &word = argv[i];
      if (word == "--") {
        ++i;
        break;
      }
      if (word.size() < 2 || word.front() != '-') {
        break;
      }
      std::optional<std::string> value;
      const Argument &a = top.match(word, value);
      if (&a == &kHelp) {
        return Finished{0, help(g), ""};
      }
      if (a.names.front() == "--version") {
        if (value) {
          throw UsageError{
              fmt::format("argument --version: ignored explicit argument '{}'", *value)};
        }
        return Finished{0, g.prog + " " + version + "\n", ""};
      }
      if (top.take(a, value, i + 1 < argv.size() ? &argv[i + 1] : nullptr)) {
        ++i;
      }
    }
    if (i == argv.size()) {
      throw UsageError{"the following arguments are required: command"};
    }
    auto found = std::find_if(g.commands.begin(), g.commands.end(),
                              [&](const Command &c) { return c.name == argv[i]; });
    if (found == g.commands.end()) {
      std::string choices;
      for (const auto &c : g.commands) {
        choices += (choices.empty() ? "'" : ", '") + c.name + "'";
      }
      throw UsageError{
          fmt::format("argument command: invalid choice: '{}' (choose from {})", argv[i], choices)};
    }
    command = &*found;
    args.command = command->name;
  } catch (const UsageError &e) {
    return error(top, e.message);
  }

  Level level(g, command, args);
  try {
    std::vector<std::string> positionals;
    bool only_positionals = false;
    for (std::size_t j = i + 1; j < argv.size(); ++j) {
      const std::string &word = argv[j];
      if (!only_positionals && word == "--") {
        only_positionals = true;
      } else if (only_positionals || word.size() < 2 || word.front() != '-') {
        positionals.push_back(word);
      } else {
        std::optional<std::string> value;
        const Argument &a = level.match(word, value);
        if (&a == &kHelp) {
          return Finished{0, help(g, command), ""};
        }
        if (level.take(a, value, j + 1 < argv.size() ? &argv[j + 1] : nullptr)) {
          ++j;
        }
      }
    }
    level.assign_positionals(positionals);
  } catch (const UsageError &e) {
    return error(level, e.message);
  }
  return Parsed{std::move(args)};
}

} // namespace tarvo::cli
