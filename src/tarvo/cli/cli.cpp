#include "tarvo/cli/cli.hpp"

#include "tarvo/cli/commands.hpp"
#include "tarvo/cli/parser.hpp"
#include "tarvo/cli/project_lock.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <unistd.h>

namespace tarvo::cli {

namespace {

using Handler = int (*)(const Args &, const Grammar &);

struct Dispatch {
  const char *command;
  Handler handler;
  // Changes the project, and so waits for any other tarvo changing it; the others only read.
  bool changes_project;
};

constexpr Dispatch kHandlers[] = {
    {"requirements", cmd_requirements, true},
    {"test", cmd_test, true},
    {"build", cmd_build, true},
    {"clean", cmd_clean, true},
    {"lint", cmd_lint, true},
    {"status", cmd_status, false},
    {"config-diff", cmd_config_diff, false},
    {"init", cmd_init, true},
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
  Args &args = std::get<Parsed>(parsed).args;
  const char *no_sync = std::getenv("TARVO_NO_SYNC");
  args.no_sync = args.no_sync || (no_sync && *no_sync && std::string_view(no_sync) != "0");
  process::handle_interrupts();
  // The absolute form of an empty name is the current directory.
  const char *directory = args.directory.empty() ? "." : args.directory.c_str();
  if (::chdir(directory) != 0) {
    throw os_error(errno, args.directory);
  }
  for (const auto &entry : kHandlers) {
    if (args.command == entry.command) {
      std::optional<ProjectLock> lock;
      if (entry.changes_project) {
        lock.emplace();
      }
      return entry.handler(args, grammar);
    }
  }
  throw Error(ErrorKind::RuntimeError, "no handler for command " + args.command);
}

} // namespace tarvo::cli
