// The nine command handlers: each takes the parsed arguments, the grammar and the run's
// context (what starts its children) and returns the exit status.
#pragma once

#include "tarvo/cli/args.hpp"
#include "tarvo/cli/grammar.hpp"
#include "tarvo/cli/help.hpp"
#include "tarvo/process/context.hpp"

#include <optional>
#include <string>
#include <vector>

namespace tarvo::project {
class ProjectConfig;
}

namespace tarvo::cli {

int cmd_requirements(const Args &args, const Grammar &grammar, const process::Context &context);
int cmd_test(const Args &args, const Grammar &grammar, const process::Context &context);
int cmd_build(const Args &args, const Grammar &grammar, const process::Context &context);
int cmd_publish(const Args &args, const Grammar &grammar, const process::Context &context);
int cmd_clean(const Args &args, const Grammar &grammar, const process::Context &context);
int cmd_lint(const Args &args, const Grammar &grammar, const process::Context &context);
int cmd_status(const Args &args, const Grammar &grammar, const process::Context &context);
int cmd_config_diff(const Args &args, const Grammar &grammar, const process::Context &context);
int cmd_init(const Args &args, const Grammar &grammar, const process::Context &context);

// What `requirements NAME...` installs, each name found where test finds the names it uses: an
// extra of the project goes to `extras`, in the order given; a group of [dependency-groups] to
// `groups`; pdm's and poetry's groups give their requirements. A ValueError names the first that
// is none of them, with every name of every kind there is.
struct Requested {
  std::vector<std::string> extras;
  std::vector<std::string> groups;
  std::vector<std::string> requirements;
};
Requested validate_extras(const project::ProjectConfig &config,
                          const std::vector<std::string> &names);

// Why a value is refused, or nothing when it is accepted.
using Check = std::optional<std::string> (*)(const std::string &value);

// The option's value when it is non-empty (a ValueError when `check` refuses it); otherwise,
// on a terminal, the line typed at the prompt, asked for again after the reason for as long
// as `check` refuses it (end of input is an EOFError); otherwise absent.
std::optional<std::string> get_arg(const std::optional<std::string> &value,
                                   const std::string &prompt, Check check = nullptr);

} // namespace tarvo::cli
