#include "tarvo/cli/cli.hpp"

#include "tarvo/cli/commands.hpp"
#include "tarvo/cli/parser.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/container/project_files.hpp"
#include "tarvo/error.hpp"
#include "tarvo/files/folder.hpp"
#include "tarvo/files/lock.hpp"
#include "tarvo/process/context.hpp"
#include "tarvo/project/project_config.hpp"
#include "tarvo/venv/virtual_environment.hpp"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/stat.h>
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

// A command run in a subfolder of a project works at the project's root, the folder of the
// nearest pyproject.toml: its .venv, its install, its tests, its lock. Returns where the user
// stood, relative to the root ("tests"), empty when that is the root. Found and reached through
// relative paths alone, as a folder the user cannot search may lie above.
std::filesystem::path enter_project_root() {
  const auto root = project::find_project_root();
  if (!root || *root == ".") {
    return {};
  }
  const auto here = std::filesystem::current_path();
  std::vector<std::filesystem::path> names(here.begin(), here.end());
  const auto levels = static_cast<std::size_t>(std::distance(root->begin(), root->end()));
  if (::chdir(root->c_str()) != 0) {
    throw os_error(errno, *root);
  }
  std::filesystem::path stood;
  for (auto it = names.end() - static_cast<std::ptrdiff_t>(std::min(levels, names.size()));
       it != names.end(); ++it) {
    stood /= *it;
  }
  return stood;
}

// Run as root in a project of another user's (a CI job that gave the checkout to a build user,
// sudo), what the command made on the host (.venv, an sdist, an editable install's metadata) goes
// to the project folder's owner when the command ends, however it ends, so that the owner can
// use and clean it.
class HandBack {
public:
  HandBack() {
    struct stat st {};
    if (::geteuid() == 0 && ::stat(".", &st) == 0 && st.st_uid != 0) {
      owner_ = files::Owner{st.st_uid, st.st_gid};
    }
  }
  ~HandBack() {
    try {
      if (owner_) {
        files::hand_back(".", *owner_, started_);
      }
    } catch (...) {
      // Nothing may escape a destructor; what is not handed back stays as it is.
    }
  }
  HandBack(const HandBack &) = delete;
  HandBack &operator=(const HandBack &) = delete;

private:
  std::time_t started_ = std::time(nullptr);
  std::optional<files::Owner> owner_;
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
  // The absolute form of an empty name is the current directory.
  const char *directory = args.directory.empty() ? "." : args.directory.c_str();
  if (::chdir(directory) != 0) {
    throw os_error(errno, args.directory);
  }
  // init makes a project where it runs; every other command works at the project's root, and a
  // path given to test is taken from where the user stands.
  if (args.command != "init") {
    const auto stood = enter_project_root();
    if (args.path && !stood.empty() && std::filesystem::path(*args.path).is_relative()) {
      args.path = (stood / *args.path).lexically_normal().string();
    }
  }
  for (const auto &entry : kHandlers) {
    if (args.command == entry.command) {
      // What the command's children start through, made once and passed down.
      process::Context context(process::Timing{}, args.verbose);
      std::optional<files::ProjectLock> lock;
      if (entry.changes_project(args)) {
        lock.emplace(".");
        // Whatever a tarvo killed outright left running in containers goes first.
        if (lock->own()) {
          container::remove_left_containers(context);
        }
      }
      std::optional<HandBack> hand_back;
      if (lock) {
        hand_back.emplace();
      }
      const int status = entry.handler(args, grammar, context);
      // A child's status after a signal is said as a shell says it: 128 + the signal.
      return status < 0 ? 128 - status : status;
    }
  }
  throw Error(ErrorKind::RuntimeError, "no handler for command " + args.command);
}

} // namespace tarvo::cli
