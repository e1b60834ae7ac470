// The docker client and the engine it talks to: whether it is there, the engine's architecture,
// the emulator registration for foreign ones, and one job in a container. A job mounts the
// project when the engine sees the project folder and copies it in and the products out when it
// does not (copy mode).
#pragma once

#include "tarvo/container/target.hpp"
#include "tarvo/process/context.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::container {

// The docker client runs and reports its version; false, silently, when it is not installed.
bool check_docker(const process::Context &context);

// Ends the command with "Error: Docker is not available" (status 1) unless check_docker().
void require_docker(const process::Context &context);

// A machine architecture in uname's Linux spelling ("x86_64", "aarch64", "i686", "armv7l"),
// from Go's (the engine's "amd64", "arm64", "386", "arm") or a BSD's or macOS's.
std::string machine_name(std::string_view name);

// This machine's architecture, uname's machine field in machine_name()'s spelling.
std::string host_machine();

// The named volume that keeps pip's and the compiler's caches (the container's /root/.cache)
// for one target from run to run: "tarvo-cache-x86_64-glibc-3.11".
std::string cache_volume(const Target &target);

// What a container runs: the options after those every run gets (name, init, the project, the
// cache), the image, its shell, and the script, which runs after the checks (see PRELUDE) with
// "$tarvo_out" the folder its products go to.
struct DockerRun {
  std::vector<std::string> options;
  std::string image;
  std::string shell;
  std::string script;
  std::string cache; // the cache volume, if any
};

// The exit status of a script that did not find this run's marker: the engine does not see the
// project folder (or cannot write to it).
inline constexpr int MARKER_MISSING = 213;

// What comes before a script: the marker check, then, for a mounted project, the part that
// gives what the run makes there to the project folder's owner when the shell exits, however it
// exits (GIVE_BACK), and the products folder. `marker` and `products` are RunFiles' names.
std::string prelude(const std::string &marker, const std::string &products, bool mounted);

// The project folder, mounted at /src: the absolute current directory + ":/src".
std::string project_mount();

// One job in a container: `starting` is printed, emulators are registered when `arch` is not
// the engine's (before `starting` when `register_first`), the container runs with its output on
// our terminal, its products reach dist/, and `finished` is printed once it succeeded. A
// failure raises CalledProcessError.
struct Job {
  std::string arch;
  DockerRun container;
  std::string starting;
  std::string finished;
  std::string what; // "the wheel build", for the line an interrupt prints
  bool register_first = false;
  bool products = false;                         // the script leaves products in "$tarvo_out"
  std::vector<std::filesystem::path> extra = {}; // brought into a copy besides the project
};

// The docker engine a command's containers run on (the one DOCKER_HOST or DOCKER_CONTEXT names),
// as the command comes to know it: its architecture, asked once, and whether it sees the project
// folder, found at the first job (copy mode is then kept for the command's other jobs). Several
// targets built at once share what is known of their engine, each through its own view.
class Engine {
public:
  // Its docker commands run through `context`, which must outlive it.
  explicit Engine(const process::Context &context);
  // The engine `same` talks to, its commands run through `context` (one target's, with the
  // engine's environment); what either comes to know, the other knows. With `own_copy`, a job
  // with products builds on a copy of the project even where the engine sees the folder: targets
  // built side by side in one folder would share its build/.
  Engine(const process::Context &context, const Engine &same, bool own_copy);

  const process::Context &context() const { return *context_; }

  // The engine's architecture (machine_name()'s spelling), asked of it the first time; none
  // when it does not answer. The client's machine says nothing about a remote engine's, and
  // macOS and the BSDs spell theirs otherwise.
  std::optional<std::string> machine();
  // Takes `machine` as the engine's answer (none: it did not answer), so that it is not asked.
  void know_machine(std::optional<std::string> machine);

  // Installs the emulators on the engine unless `arch` is the engine's own (this machine's when
  // the engine cannot be asked), saying why in one line; the container's output goes to our
  // terminal, and a failure raises CalledProcessError.
  void register_binfmt(std::string_view arch);

  // Runs one job (see Job).
  void run_job(const Job &job);

private:
  struct Known;
  // Switches the engine to copy mode, saying why once.
  void use_copy_mode(const std::string &reason);
  // Why the project is copied in, once it is.
  std::optional<std::string> copy_reason() const;

  const process::Context *context_;
  std::shared_ptr<Known> known_;
  bool own_copy_ = false;
};

} // namespace tarvo::container
