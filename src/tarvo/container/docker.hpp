// The docker client: whether it is there, the emulator registration for foreign architectures,
// and one job in a container. A job mounts the project when the engine sees the project folder
// and copies it in and the products out when it does not (copy mode).
#pragma once

#include "tarvo/container/target.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::container {

// The docker client runs and reports its version; false, silently, when it is not installed.
bool check_docker();

// Ends the command with "Error: Docker is not available" (status 1) unless check_docker().
void require_docker();

// A machine architecture in uname's Linux spelling ("x86_64", "aarch64", "i686", "armv7l"),
// from Go's (the engine's "amd64", "arm64", "386", "arm") or a BSD's or macOS's.
std::string machine_name(std::string_view name);

// This machine's architecture, uname's machine field in machine_name()'s spelling.
std::string host_machine();

// The docker engine's architecture (machine_name()'s spelling), asked of the engine once per
// command and engine (DOCKER_HOST, DOCKER_CONTEXT); none when it does not answer. The client's
// machine says nothing about a remote engine's, and macOS and the BSDs spell theirs otherwise.
std::optional<std::string> engine_machine();

// Takes `machine` as the current engine's answer (none: it did not answer), for a test whose
// docker is not asked; forget_engine_machine() has the engine asked again.
void know_engine_machine(std::optional<std::string> machine);
void forget_engine_machine();

// Installs the emulators on the engine unless `arch` is the engine's own (this machine's when
// the engine cannot be asked), saying why in one line; the container's output goes to our
// terminal, and a failure raises CalledProcessError.
void register_binfmt(std::string_view arch);

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
// the host's (before `starting` when `register_first`), the container runs with its output on
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

void run_job(const Job &job);

// Forgets that this command uses copy mode, for a test that ran a job in it.
void forget_copy_mode();

} // namespace tarvo::container
