#include "tarvo/cli/parser.hpp"

#include "tarvo/cli/help.hpp"
#include "tarvo/repr.hpp"

#include <algorithm>
#include <fmt/format.h>
#include <iterator>
#include <optional>
#include <string_view>

namespace tarvo::cli {

namespace {

struct UsageError {
  explicit UsageError(std::string message, std::optional<std::string> suggestion = std::nullopt)
      : message(std::move(message)), suggestion(std::move(suggestion)) {}
  std::string message;
  std::optional<std::string> suggestion; // a valid word close to the one given
};

// The fewest edits of one character, or swaps of two neighbours, that turn `a` into `b`.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) {
    for (std::size_t j = 0; j <= b.size(); ++j) {
      if (i == 0 || j == 0) {
        d[i][j] = i + j;
        continue;
      }
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// The word of `valid` that `word` was probably meant to be: the only one it begins, else the
// first nearest within two edits, where the edits are at most half of what was typed (dashes
// aside), so that a short word does not match everything.
std::optional<std::string> nearest(const std::string &word, const std::vector<std::string> &valid) {
  // Two edits cannot bridge a longer gap: a word that much longer than every name is no typo,
  // and is not compared at all (the comparison costs its length times each name's).
  std::size_t longest = 0;
  for (const auto &v : valid) {
    longest = std::max(longest, v.size());
  }
  if (word.size() > longest + 2) {
    return std::nullopt;
  }
  std::optional<std::string> prefixed;
  for (const auto &v : valid) {
    if (v.starts_with(word)) {
      if (prefixed) {
        prefixed.reset();
        break;
      }
      prefixed = v;
    }
  }
  if (prefixed) {
    return prefixed;
  }
  std::size_t typed = word.size() - std::min(word.find_first_not_of('-'), word.size());
  std::optional<std::string> best;
  std::size_t best_distance = 3;
  for (const auto &v : valid) {
    auto distance = edit_distance(word, v);
    if (distance < best_distance && 2 * distance <= typed) {
      best = v;
      best_distance = distance;
    }
  }
  return best;
}

// Reading one parser level: the top level or one command.
class Level {
public:
  Level(const Grammar &g, const Command *command, Args &args)
      : grammar_(g), command_(command), args_(args), arguments_(level_arguments(g, command)),
        globals_(command ? global_options(g) : std::vector<const Argument *>{}) {}

  std::string label() const {
    return command_ ? grammar_.prog + " " + command_->name : grammar_.prog;
  }

  // The option that `word` names, by its full name or a prefix that only one name begins
  // with; `value` receives a value attached with "=" (or to a short option).
  const Argument &match(const std::string &word, std::optional<std::string> &value) const {
    // The level's own arguments first, then the global options that may follow a command.
    for (const auto *arguments : {&arguments_, &globals_}) {
      if (const Argument *found = find(*arguments, word, value)) {
        return *found;
      }
    }
    std::vector<std::string> long_names;
    for (const auto *arguments : {&arguments_, &globals_}) {
      for (const Argument *a : *arguments) {
        std::copy_if(a->names.begin(), a->names.end(), std::back_inserter(long_names),
                     [](const std::string &n) { return n.starts_with("--"); });
      }
    }
    std::string name = word.substr(0, word.find('='));
    throw UsageError{"unrecognized arguments: " + word,
                     word.starts_with("--") ? nearest(name, long_names) : std::nullopt};
  }

  // The option of `arguments` that `word` names, by its full name or a prefix that only one
  // name begins with, or null; `value` receives a value attached with "=" (or to a short
  // option).
  static const Argument *find(const std::vector<const Argument *> &arguments,
                              const std::string &word, std::optional<std::string> &value) {
    std::string name = word;
    value.reset();
    if (auto eq = word.find('='); eq != std::string::npos) {
      name = word.substr(0, eq);
      value = word.substr(eq + 1);
    }
    for (const Argument *a : arguments) {
      if (std::find(a->names.begin(), a->names.end(), name) != a->names.end()) {
        return a;
      }
    }
    if (word.rfind("--", 0) == 0) {
      std::vector<std::pair<const Argument *, std::string>> found;
      for (const Argument *a : arguments) {
        for (const auto &n : a->names) {
          if (n.rfind("--", 0) == 0 && n.rfind(name, 0) == 0) {
            found.emplace_back(a, n);
          }
        }
      }
      if (found.size() == 1) {
        return found.front().first;
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
      std::string short_name = word.substr(0, 2);
      for (const Argument *a : arguments) {
        if (std::find(a->names.begin(), a->names.end(), short_name) != a->names.end()) {
          value = word.substr(2);
          return a;
        }
      }
    }
    value.reset();
    return nullptr;
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
    std::vector<std::string> items = {*value};
    if (a.list) {
      items = split_list(*value);
      if (std::find(items.begin(), items.end(), "") != items.end()) {
        throw UsageError{fmt::format("argument {}: empty item in '{}'", names, *value)};
      }
    }
    for (const auto &item : items) {
      if (!a.choices.empty() &&
          std::find(a.choices.begin(), a.choices.end(), item) == a.choices.end()) {
        std::string choices;
        for (const auto &c : a.choices) {
          choices += (choices.empty() ? "'" : ", '") + c + "'";
        }
        throw UsageError{fmt::format("argument {}: invalid choice: '{}' (choose from {})", names,
                                     item, choices)};
      }
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

  // The argument that takes every word after "--", if the level has one.
  const Argument *remainder() const {
    auto found = std::find_if(arguments_.begin(), arguments_.end(),
                              [](const Argument *a) { return a->arity == Arity::Remainder; });
    return found == arguments_.end() ? nullptr : *found;
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
        std::visit(
            [&](auto field) {
              using F = decltype(field);
              if constexpr (std::is_same_v<F, std::string Args::*> ||
                            std::is_same_v<F, std::optional<std::string> Args::*>) {
                args_.*field = words[next];
              }
            },
            a->field);
        ++next;
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
  std::vector<const Argument *> globals_;
};

} // namespace

std::vector<std::string> split_list(std::string_view value) {
  std::vector<std::string> items;
  while (true) {
    auto comma = value.find(',');
    auto item = value.substr(0, comma);
    while (!item.empty() && item.front() == ' ') {
      item.remove_prefix(1);
    }
    while (!item.empty() && item.back() == ' ') {
      item.remove_suffix(1);
    }
    items.emplace_back(item);
    if (comma == std::string_view::npos) {
      return items;
    }
    value.remove_prefix(comma + 1);
  }
}

std::variant<Parsed, Finished> parse(const Grammar &g, const std::vector<std::string> &argv,
                                     const std::string &version) {
  Args args;
  const Command *command = nullptr;
  auto error = [&](const Level &level, const UsageError &e) {
    // The message quotes the words typed, which may hold anything: escaped, like every value
    // tarvo prints, they cannot drive the terminal.
    std::string text =
        usage(g, command) + fmt::format("{}: error: {}\n", level.label(), printable(e.message));
    if (e.suggestion) {
      text += fmt::format("{}: did you mean '{}'?\n", level.label(), *e.suggestion);
    }
    return Finished{2, "", text};
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
      if (&a == &HELP) {
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
      std::vector<std::string> names;
      for (const auto &c : g.commands) {
        choices += (choices.empty() ? "'" : ", '") + c.name + "'";
        names.push_back(c.name);
      }
      throw UsageError{
          fmt::format("argument command: invalid choice: '{}' (choose from {})", argv[i], choices),
          nearest(argv[i], names)};
    }
    command = &*found;
    args.command = command->name;
  } catch (const UsageError &e) {
    return error(top, e);
  }

  Level level(g, command, args);
  try {
    std::vector<std::string> positionals;
    bool only_positionals = false;
    for (std::size_t j = i + 1; j < argv.size(); ++j) {
      const std::string &word = argv[j];
      if (!only_positionals && word == "--") {
        if (const Argument *rest = level.remainder()) {
          args.*std::get<std::vector<std::string> Args::*>(rest->field) =
              std::vector<std::string>(argv.begin() + static_cast<long>(j) + 1, argv.end());
          break;
        }
        only_positionals = true;
      } else if (only_positionals || word.size() < 2 || word.front() != '-') {
        positionals.push_back(word);
      } else {
        std::optional<std::string> value;
        const Argument &a = level.match(word, value);
        if (&a == &HELP) {
          return Finished{0, help(g, command), ""};
        }
        if (level.take(a, value, j + 1 < argv.size() ? &argv[j + 1] : nullptr)) {
          ++j;
        }
      }
    }
    level.assign_positionals(positionals);
  } catch (const UsageError &e) {
    return error(level, e);
  }
  return Parsed{std::move(args)};
}

} // namespace tarvo::cli
