// generate_docs OUTDIR: writes tarvo's shell completions (bash, zsh, fish) and its manual page
// (man_page.cpp) into OUTDIR/share, all from the one command-line grammar, so that they cannot
// drift from it. Run by the build; not installed.
#include "docs/man_page.hpp"
#include "tarvo/cli/grammar.hpp"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace tarvo::cli;
using tarvo::docs::join;
namespace fs = std::filesystem;

// The arguments of one command, then the global options that may follow its word.
std::vector<const Argument *> command_arguments(const Grammar &g, const Command &command) {
  auto arguments = level_arguments(g, &command);
  auto globals = global_options(g);
  arguments.insert(arguments.end(), globals.begin(), globals.end());
  return arguments;
}

// The option names of one parser level (the top level when `command` is null), -h first.
std::vector<std::string> option_names(const Grammar &g, const Command *command) {
  std::vector<std::string> names;
  for (const Argument *a : command ? command_arguments(g, *command) : level_arguments(g, nullptr)) {
    names.insert(names.end(), a->names.begin(), a->names.end());
  }
  return names;
}

std::vector<std::string> command_names(const Grammar &g) {
  std::vector<std::string> names;
  for (const auto &c : g.commands) {
    names.push_back(c.name);
  }
  return names;
}

// Text in single quotes for a shell.
std::string single_quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

bool is_directory_option(const Argument &a) { return a.display == "DIRECTORY"; }

bool is_extras_argument(const Argument &a) {
  auto field = std::get_if<std::vector<std::string> Args::*>(&a.field);
  return field && *field == &Args::extras;
}

// A positional whose words are files: test's path, publish's files.
bool takes_files(const Argument &a) {
  return (a.arity == Arity::Optional || a.arity == Arity::ZeroOrMore) && !is_extras_argument(a);
}

// An awk program that prints the optional-dependency groups of the project whose
// pyproject.toml it reads: the keys of its [project.optional-dependencies] table, as far as a
// line-by-line reading finds them, and only those that are valid group names, since the shells
// expand what they offer. It holds no single quote, so each shell takes it in single quotes.
constexpr std::string_view EXTRAS_AWK = R"(
    /^[ \t]*\[/ {
      header = $0; sub(/#.*/, "", header); gsub(/[ \t]/, "", header)
      groups = header == "[project.optional-dependencies]"; next
    }
    groups && match($0, /^[ \t]*("[^"]*"|\047[^\047]*\047|[A-Za-z0-9_-]+)[ \t]*=/) {
      name = substr($0, RSTART, RLENGTH)
      sub(/^[ \t]*/, "", name); sub(/[ \t]*=$/, "", name); gsub(/["\047]/, "", name)
      if (name ~ /^[A-Za-z0-9._-]+$/) print name
    })";

// A shell function, the same for bash and zsh, that prints the groups of the project in the
// folder $1; nothing, quietly, without a pyproject.toml.
std::string extras_function() {
  return "_tarvo_extras() {\n  [[ -f $1/pyproject.toml ]] && awk '" + std::string(EXTRAS_AWK) +
         "' \"$1/pyproject.toml\" 2>/dev/null\n}\n";
}

// The argument that takes the words after "--", if the command has one.
const Argument *remainder(const Command &c) {
  for (const auto &a : c.arguments) {
    if (a.arity == Arity::Remainder) {
      return &a;
    }
  }
  return nullptr;
}

std::string bash(const Grammar &g) {
  std::string out = "# bash completion for tarvo, generated from its command-line grammar.\n" +
                    extras_function() +
                    "_tarvo() {\n"
                    "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                    "  local i j command= dir=.\n"
                    "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
                    "    case ${COMP_WORDS[i]} in\n";
  // The top level's options with a value, which may be split off at "=", and the folder the
  // command will run in.
  for (const auto &a : g.options) {
    if (a.arity != Arity::Value) {
      continue;
    }
    std::string keep = is_directory_option(a) ? "; dir=${COMP_WORDS[i]}" : "";
    out += fmt::format("      {}) ((i++)); [[ ${{COMP_WORDS[i]}} == = ]] && ((i++)){} ;;\n",
                       join(a.names, "|"), keep);
    for (const auto &n : a.names) {
      std::string joined = n.size() == 2 ? n + "?*" : n + "=*";
      keep = is_directory_option(a)
                 ? fmt::format("dir=${{COMP_WORDS[i]#{}}}", n.size() == 2 ? n : n + "=")
                 : ":";
      out += fmt::format("      {}) {} ;;\n", joined, keep);
    }
  }
  out += "      -*) ;;\n"
         "      *) command=${COMP_WORDS[i]}; break ;;\n"
         "    esac\n"
         "  done\n";
  // After "--", the words go to another program (pytest): files are offered.
  for (const auto &c : g.commands) {
    if (remainder(c)) {
      out += fmt::format("  if [[ $command == {} ]]; then\n"
                         "    for ((j = i + 1; j < COMP_CWORD; j++)); do\n"
                         "      [[ ${{COMP_WORDS[j]}} == -- ]] && {{ COMPREPLY=($(compgen -f -- "
                         "\"$cur\")); return; }}\n"
                         "    done\n"
                         "  fi\n",
                         c.name);
    }
  }
  out += "  case $prev in\n";
  // What the value of each option may be: a directory, one of its choices, or free text.
  std::vector<const Argument *> valued;
  for (const auto &a : g.options) {
    valued.push_back(&a);
  }
  for (const auto &c : g.commands) {
    for (const auto &a : c.arguments) {
      valued.push_back(&a);
    }
  }
  std::vector<std::string> seen;
  for (const Argument *a : valued) {
    if (a->arity != Arity::Value || a->names.empty() ||
        std::find(seen.begin(), seen.end(), a->names.front()) != seen.end()) {
      continue;
    }
    seen.push_back(a->names.front());
    std::string reply = is_directory_option(*a) ? "$(compgen -d -- \"$cur\")"
                        : a->choices.empty()    ? ""
                                                : fmt::format("$(compgen -W {} -- \"$cur\")",
                                                              single_quoted(join(a->choices, " ")));
    out += fmt::format("    {}) COMPREPLY=({}); return ;;\n", join(a->names, "|"), reply);
  }
  out += "  esac\n  case $command in\n";
  out += fmt::format(
      "    \"\") COMPREPLY=($(compgen -W {} -- \"$cur\")) ;;\n",
      single_quoted(join(option_names(g, nullptr), " ") + " " + join(command_names(g), " ")));
  for (const auto &c : g.commands) {
    bool files = std::any_of(c.arguments.begin(), c.arguments.end(), takes_files);
    bool extras = std::any_of(c.arguments.begin(), c.arguments.end(), is_extras_argument);
    out += fmt::format("    {}) COMPREPLY=($(compgen -W {} -- \"$cur\"){}{}) ;;\n", c.name,
                       single_quoted(join(option_names(g, &c), " ") + (remainder(c) ? " --" : "")),
                       files ? " $(compgen -f -- \"$cur\")" : "",
                       extras ? " $(compgen -W \"$(_tarvo_extras \"${dir/#\\~/$HOME}\")\" -- "
                                "\"$cur\")"
                              : "");
  }
  out += "  esac\n}\ncomplete -F _tarvo tarvo\n";
  return out;
}

// One _arguments entry of an option: '(-C --directory)'{-C+,--directory=}'[help]:...'
// for several names, where the braces expand outside the quotes into one entry per name.
std::string zsh_option(const Argument &a) {
  std::string help = a.help;
  for (std::size_t at = 0; (at = help.find_first_of("[]", at)) != std::string::npos; at += 2) {
    help.insert(at, "\\");
  }
  std::string value;
  if (a.arity == Arity::Value) {
    std::string action = is_directory_option(a) ? "_files -/"
                         : a.choices.empty()    ? " "
                                                : "(" + join(a.choices, " ") + ")";
    value = ":" + a.display + ":" + action;
  }
  std::vector<std::string> forms;
  for (const auto &n : a.names) {
    // The value joined (-Cdir, --arch=x86_64) or as the next word.
    forms.push_back(n + (a.arity != Arity::Value ? "" : n.size() == 2 ? "+" : "="));
  }
  std::string rest = single_quoted("[" + help + "]" + value);
  if (forms.size() == 1) {
    return single_quoted(forms.front()) + rest;
  }
  return single_quoted("(" + join(a.names, " ") + ")") + "{" + join(forms, ",") + "}" + rest;
}

std::string zsh(const Grammar &g) {
  std::string out = "#compdef tarvo\n"
                    "# zsh completion for tarvo, generated from its command-line grammar.\n" +
                    extras_function() +
                    "_tarvo_groups() {\n"
                    "  local -a groups\n"
                    "  groups=(${(f)\"$(_tarvo_extras ${${(Q)dir}/#\\~/$HOME})\"})\n"
                    "  compadd -a groups\n"
                    "}\n"
                    "_tarvo() {\n  local -a commands\n  commands=(\n";
  for (const auto &c : g.commands) {
    out += "    " + single_quoted(c.name + ":" + c.help) + "\n";
  }
  out += "  )\n  local curcontext=$curcontext state line dir\n  local -A opt_args\n"
         "  _arguments -C \\\n";
  for (const Argument *a : level_arguments(g, nullptr)) {
    out += "    " + zsh_option(*a) + " \\\n";
  }
  out += "    '1:command:->command' \\\n    '*::argument:->argument'\n"
         "  case $state in\n"
         "    command) _describe -t commands 'tarvo command' commands ;;\n"
         "    argument)\n"
         "      dir=${opt_args[-C]:-${opt_args[--directory]:-.}}\n"
         "      case $words[1] in\n";
  for (const auto &c : g.commands) {
    // -S: no options after "--", which is offered with what follows it.
    out += "        " + c.name + ") _arguments" + (remainder(c) ? " -S" : "");
    for (const Argument *a : command_arguments(g, c)) {
      if (a->is_option()) {
        out += " \\\n            " + zsh_option(*a);
      } else if (takes_files(*a)) {
        out += std::string(" \\\n            '") + (a->arity == Arity::Optional ? ":" : "*") + ":" +
               a->display + ":_files'";
      } else if (a->arity == Arity::Remainder) {
        out += " \\\n            " + single_quoted("--[" + a->help + "]") +
               " \\\n            '*::" + a->display + ":_files'";
      } else {
        out += " \\\n            '*:" + a->display + ":" +
               (is_extras_argument(*a) ? "_tarvo_groups" : " ") + "'";
      }
    }
    out += " ;;\n";
  }
  out += "      esac ;;\n  esac\n}\n_tarvo \"$@\"\n";
  return out;
}

std::string fish_option(const Argument &a, const std::string &condition) {
  std::string out = "complete -c tarvo -n " + single_quoted(condition);
  for (const auto &n : a.names) {
    out += n.starts_with("--") ? " -l " + n.substr(2) : " -s " + n.substr(1);
  }
  if (a.arity == Arity::Value) {
    out += is_directory_option(a) ? " -x -a '(__fish_complete_directories)'"
           : a.choices.empty()    ? " -x"
                                  : " -x -a " + single_quoted(join(a.choices, " "));
  }
  return out + " -d " + single_quoted(a.help) + "\n";
}

// The fish function that prints the groups of the project in the folder given with -C or
// --directory, or in the current one.
std::string fish_extras_function() {
  return "function __tarvo_extras\n"
         "    set -l dir .\n"
         "    set -l words (commandline -opc)\n"
         "    set -l i 2\n"
         "    while test $i -le (count $words)\n"
         "        switch $words[$i]\n"
         "            case -C --directory\n"
         "                set i (math $i + 1)\n"
         "                set -q words[$i]; and set dir $words[$i]\n"
         "            case '-C?*'\n"
         "                set dir (string sub -s 3 -- $words[$i])\n"
         "            case '--directory=*'\n"
         "                set dir (string replace -- --directory= '' $words[$i])\n"
         "            case '-*'\n"
         "            case '*'\n"
         "                break\n"
         "        end\n"
         "        set i (math $i + 1)\n"
         "    end\n"
         "    set dir (string replace -r -- '^~(?=/|$)' $HOME $dir)\n"
         "    test -f $dir/pyproject.toml; and awk '" +
         std::string(EXTRAS_AWK) +
         "' $dir/pyproject.toml 2>/dev/null\n"
         "end\n";
}

std::string fish(const Grammar &g) {
  std::string out = "# fish completion for tarvo, generated from its command-line grammar.\n"
                    "complete -c tarvo -f\n" +
                    fish_extras_function();
  for (const Argument *a : level_arguments(g, nullptr)) {
    out += fish_option(*a, "__fish_use_subcommand");
  }
  for (const auto &c : g.commands) {
    out += fmt::format("complete -c tarvo -n __fish_use_subcommand -a {} -d {}\n", c.name,
                       single_quoted(c.help));
  }
  for (const auto &c : g.commands) {
    std::string condition = "__fish_seen_subcommand_from " + c.name;
    for (const Argument *a : command_arguments(g, c)) {
      if (a->is_option()) {
        out += fish_option(*a, condition);
      } else if (takes_files(*a)) {
        out += "complete -c tarvo -n " + single_quoted(condition) + " -F\n";
      } else if (a->arity == Arity::Remainder) {
        out += "complete -c tarvo -n " + single_quoted(condition) + " -a -- -d " +
               single_quoted(a->help) + "\n";
      } else if (is_extras_argument(*a)) {
        out += "complete -c tarvo -n " + single_quoted(condition) + " -a '(__tarvo_extras)'\n";
      }
    }
  }
  return out;
}

void write(const fs::path &path, const std::string &text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: generate_docs OUTDIR\n");
    return 2;
  }
  const fs::path share = fs::path(argv[1]) / "share";
  const Grammar &g = tarvo_grammar();
  write(share / "bash-completion" / "completions" / "tarvo", bash(g));
  write(share / "zsh" / "site-functions" / "_tarvo", zsh(g));
  write(share / "fish" / "vendor_completions.d" / "tarvo.fish", fish(g));
  write(share / "man" / "man1" / "tarvo.1", tarvo::docs::man_page(g));
  return 0;
}
