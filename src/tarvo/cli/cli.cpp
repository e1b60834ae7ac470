#include "tarvo/cli/cli.hpp"

#include "tarvo/cli/commands.hpp"
#include "tarvo/cli/parser.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"

#include <cerrno>
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
    console::write(console::Stream::Out, finished->out);
    console::write(console::Stream::Err, finished->err);
    throw ExitStatus{finished->status};
  }
  const Args &args = std::get<Parsed>(parsed).args;
  process::handle_interrupts();
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
  throw Error(ErrorKind::RuntimeError, "no handler for command " + args.command);
}

} // namespace tarvo::cli
