// The project's virtual environment `.venv`: created on demand with a current pip, filled
// with tool sets and the project itself, and used to run the environment's interpreter.
#pragma once

#include "tarvo/process/context.hpp"
#include "tarvo/project/test_requirements.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::venv {

struct RunOptions {
  // Variables set over a copy of the tool's own environment.
  process::Environment env = {};
  // Capture the output, show it only on failure, and raise CalledProcessError for a failure.
  bool chronic = false;
  // Capture both streams into the result instead of passing them through.
  bool capture_output = false;
};

// How much preparing a command's environment gets.
enum class Sync {
  // Created when missing, pip bootstrapped and upgraded, then the command installs what it
  // needs.
  Always,
  // The user vouches for a complete environment (--no-sync): it is used as it stands. One that
  // is not complete is said so in one line and prepared as with Always.
  WhenIncomplete,
};

// Read-only after construction, so worker threads may share one and call run() at once.
class VirtualEnvironment {
public:
  // Resolves `path` to its canonical absolute form, then creates the environment when it is
  // missing (an incomplete one is removed and created again, never patched) and bootstraps and
  // upgrades pip, unless `sync` lets a complete one stand as it is; a failing step raises
  // CalledProcessError. `purpose` (the command and what it installs, "test extra 'test'") lets
  // a complete one stand only while what its last setup for that command installed from is
  // unchanged (setup_record.hpp).
  // Its children start through `context`, which must outlive it.
  VirtualEnvironment(const process::Context &context, const std::filesystem::path &path,
                     Sync sync = Sync::Always, std::string purpose = {});

  const process::Context &context() const { return *context_; }
  const std::filesystem::path &path() const { return path_; }
  const std::filesystem::path &python() const { return python_; }
  const std::filesystem::path &pip() const { return pip_; }

  // Complete: the directory, its pyvenv.cfg, its interpreter and its pip are all present
  // (links followed).
  bool exists() const;
  // Whether commands install their tools and the project before they run: false for an
  // environment used as it stands.
  bool syncs() const { return syncs_; }
  // The command has installed what it needs: the setup is recorded for its purpose.
  void setup_done() const;

  void ensure() const;
  void ensure_pip() const;
  void ensure_build_tools() const;
  // Installs the project in editable mode with what its tests need: an extra, a dependency
  // group (pip 25.1 and later), or the requirements of a pdm or poetry group; with none,
  // nothing more.
  void ensure_test_tools(const project::TestRequirements &requirements = {
                             project::TestSource::Extra}) const;
  void ensure_lint_tools(const std::vector<std::string> &extras) const;
  // twine, which checks distributions and uploads them.
  void ensure_publish_tools() const;
  // Installs the project in editable mode with the given optional-dependency groups (extras),
  // dependency groups and further requirements (a pdm or poetry group's).
  void install(const std::vector<std::string> &extras = {},
               const std::vector<std::string> &groups = {},
               const std::vector<std::string> &requirements = {}) const;

  // The interpreter's option that keeps the current folder off the module search path, so
  // that a module of the project (a dodgy.py) cannot stand in for a tool run with -m: -P where
  // the interpreter has it (Python 3.11 and later, as pyvenv.cfg says), else -I.
  std::string safe_path_option() const;

  // Runs the environment's interpreter with `args`; a non-zero exit is an error only with
  // `chronic`.
  process::CompletedProcess run(const std::vector<std::string> &args,
                                const RunOptions &options = {}) const;

private:
  const process::Context *context_;
  std::filesystem::path path_;
  std::filesystem::path python_;
  std::filesystem::path pip_;
  bool syncs_ = true;
  std::string purpose_;
};

// Whether the environment at `path` is complete, as VirtualEnvironment::exists says.
bool is_complete(const std::filesystem::path &path);

// The environment `.venv` of the current directory, ready for use.
VirtualEnvironment get_venv(const process::Context &context, Sync sync = Sync::Always,
                            std::string purpose = {});

} // namespace tarvo::venv
