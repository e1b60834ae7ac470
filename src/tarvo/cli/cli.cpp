#include "tarvo/cli/cli.hpp"

#include "tarvo/cli/commands.hpp"
#include "tarvo/cli/grammar.hpp"
#include "tarvo/error.hpp"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace tarvo::cli {

namespace {

using Handler = int (*)(const Args &, const Grammar &);

struct Dispatch {
  const char *command;
  Handler handler;
};

constexpr Dispatch kHandlers[] = {
    {"requirements", cmd_requirements},
    {"test", cmd_test},
    {"build", cmd_build},
    {"clean", cmd_clean},
    {"lint", cmd_lint},
    {"status", cmd_status},
    {"config-diff", cmd_config_diff},
    {"init", cmd_init},
};

} // namespace

const char *version() {
#ifdef TARVO_VERSION
  return TARVO_VERSION;
#else
  return "dev";
#endif
}

int main(const std::vector<std::string> &argv) {
  const Grammar &grammar = tarvo_grammar();
  auto parsed = parse(grammar, argv, version());
  if (auto *finished = std::get_if<Finished>(&parsed)) {
    std::fputs(finished->out.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(finished->err.c_str(), stderr);
    throw ExitStatus{finished->status};
  }
  const Args &args = std::get<Parsed>(parsed).args;
  // The absolute form of an empty name is the current directory.
  const char *directory = args.directory.empty() ? "." : args.directory.c_str();
  if (::chdir(directory) != 0) {
    throw os_error(errno, args.directory);
  }
  for (const auto &entry : kHandlers) {
    if (args.command == entry.command) {
      return entry.handler(args, grammar);
    }
  }
  throw Error("RuntimeError", "no handler for command " + args.command);
}

} // namespace tarvo::cli
