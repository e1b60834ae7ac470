#include "tarvo/cli/cli.hpp"

#include "tarvo/cli/commands.hpp"
#include "tarvo/cli/parser.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/files/lock.hpp"
#include "tarvo/process/context.hpp"
#include "tarvo/project/project_config.hpp"
#include "tarvo/venv/virtual_environment.hpp"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <unistd.h>

namespace tarvo::cli {

namespace {

using Handler = int (*)(const Args &, const Grammar &, const process::Context &);

// Whether the command may change the project or its .venv, and so waits for any other tarvo
// changing it; the others only read, and never wait.
using Changes = bool (*)(const Args &);

bool always(const Args &) { return true; }
bool never(const Args &) { return false; }
// status sets up .venv, unless --no-sync finds it complete and only reads.
bool sets_up_venv(const Args &args) { return !args.no_sync || !venv::is_complete(".venv"); }

struct Dispatch {
  const char *command;
  Handler handler;
  Changes changes_project;
};

constexpr Dispatch kHandlers[] = {
    {"requirements", cmd_requirements, always},
    {"test", cmd_test, always},
    {"build", cmd_build, always},
    {"publish", cmd_publish, always},
    {"clean", cmd_clean, always},
    {"lint", cmd_lint, always},
    {"status", cmd_status, sets_up_venv},
    {"config-diff", cmd_config_diff, never},
    {"init", cmd_init, always},
};

// The folder whose lock the command takes: the project's root, that of the nearest
// pyproject.toml, whatever folder of the project the command runs in; the current folder
// where there is none.
std::filesystem::path project_root() {
  try {
    return project::find_pyproject().parent_path();
  } catch (const Error &e) {
    if (e.kind() != ErrorKind::FileNotFoundError) {
      throw;
    }
    return std::filesystem::current_path();
  }
}

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
  // The absolute form of an empty name is the current directory.
  const char *directory = args.directory.empty() ? "." : args.directory.c_str();
  if (::chdir(directory) != 0) {
    throw os_error(errno, args.directory);
  }
  for (const auto &entry : kHandlers) {
    if (args.command == entry.command) {
      std::optional<files::ProjectLock> lock;
      if (entry.changes_project(args)) {
        lock.emplace(project_root());
      }
      // What the command's children start through, made once and passed down.
      process::Context context(process::Timing{}, args.verbose);
      return entry.handler(args, grammar, context);
    }
  }
  throw Error(ErrorKind::RuntimeError, "no handler for command " + args.command);
}

} // namespace tarvo::cli
