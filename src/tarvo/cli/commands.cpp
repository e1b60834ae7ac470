#include "tarvo/cli/commands.hpp"

#include "tarvo/build/clean.hpp"

#include <fmt/format.h>

namespace tarvo::cli {

namespace {

// The handler of a command whose work has not landed yet.
int not_built(const Args &args) {
  fmt::print(stderr, "Error: '{}' is not built yet\n", args.command);
  return 1;
}

} // namespace

int cmd_requirements(const Args &args, const Grammar &) { return not_built(args); }
int cmd_test(const Args &args, const Grammar &) { return not_built(args); }
int cmd_build(const Args &args, const Grammar &) { return not_built(args); }
int cmd_lint(const Args &args, const Grammar &) { return not_built(args); }
int cmd_status(const Args &args, const Grammar &) { return not_built(args); }
int cmd_config_diff(const Args &args, const Grammar &) { return not_built(args); }

int cmd_clean(const Args &, const Grammar &) {
  clean();
  return 0;
}

} // namespace tarvo::cli
