// The docker client and the engine it talks to: whether it is there, the engine's architecture,
// the emulator registration for foreign ones, and one job in a container. A job sees the project
// read-only: mounted when the engine sees the project folder, copied in when it does not (copy
// mode). A build works in a copy of its own in the container, and only its products come out,
// taken by tarvo from the ended container and written into dist/ by tarvo itself.
#pragma once

#include "tarvo/container/target.hpp"
#include "tarvo/process/context.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::container {

class RunFiles;

// The docker client runs and reports its version; false, silently, when it is not installed.
bool check_docker(const process::Context &context);

// Ends the command with "Error: Docker is not available" (status 1) unless check_docker().
void require_docker(const process::Context &context);

// Runs a docker command that asks the engine something, its output captured; none when it has
// not answered within the context's answer period (it is then ended): an engine that takes the
// connection and never answers must not hold the command.
std::optional<process::CompletedProcess> ask_engine(const process::Context &context,
                                                    std::vector<std::string> args);

// A machine architecture in uname's Linux spelling ("x86_64", "aarch64", "i686", "armv7l"),
// from Go's (the engine's "amd64", "arm64", "386", "arm") or a BSD's or macOS's.
std::string machine_name(std::string_view name);

// This machine's architecture, uname's machine field in machine_name()'s spelling.
std::string host_machine();

// The named volume that keeps pip's and the compiler's caches (the container's /root/.cache)
// for one project and target from run to run: "tarvo-cache-" + the project folder's name and a
// hash of its path + "-x86_64-glibc-3.11". What one project's build writes there, no other
// project's build reads.
std::string cache_volume(const Target &target);

// What a container runs: the options after those every run gets (name, init, the project, the
// cache), the image, its shell, and the script, which runs after the prelude with "$tarvo_out"
// the folder its products go to.
struct DockerRun {
  std::vector<std::string> options;
  std::string image;
  std::string shell;
  std::string script;
  std::string cache; // the cache volume, if any
};

// The exit status of a script that did not find this run's marker: the engine does not see the
// project folder.
inline constexpr int MARKER_MISSING = 213;

// The docker client's status when it failed itself and ran no container: a mount refused, an
// image not found, an engine out of reach.
inline constexpr int CLIENT_FAILED = 125;

// Where a job with products builds: a copy of the project that the prelude makes in the
// container (the project itself, at /src, is read-only), without the host's NOT_COPIED.
inline constexpr std::string_view PROJECT_COPY = "/tarvo/src";
// Where its products go ("$tarvo_out"): only what is there is taken out, and only the products.
inline constexpr std::string_view PRODUCTS = "/tarvo/out";

// What comes before a script: the marker check (`marker` is RunFiles' name), the products
// folder, and, for a job that builds (`copy`), the copy of the project it builds in.
std::string prelude(const std::string &marker, bool copy);

// The project folder, mounted read-only at /src: the absolute current directory + ":/src:ro".
std::string project_mount();

// What a job makes: the names it may take out of "$tarvo_out", and how they are described in the
// line that names what was left out ("wheels of hello").
struct Products {
  std::function<bool(std::string_view)> accepts;
  std::string described;
};

// One job in a container: `starting` is printed, emulators are registered when `arch` is not
// the engine's (before `starting` when `register_first`), the container runs with its output on
// our terminal, its products reach dist/, and `finished`, when not empty, is printed once it
// succeeded. A failure raises CalledProcessError.
struct Job {
  std::string arch;
  DockerRun container;
  std::string starting;
  std::string finished;
  std::string what; // "the wheel build", for the line an interrupt prints
  bool register_first = false;
  std::optional<Products> products = std::nullopt; // none: the job makes nothing to deliver
  std::vector<std::filesystem::path> extra = {};   // brought into a copy besides the project
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
  // engine's environment); what either comes to know, the other knows.
  Engine(const process::Context &context, const Engine &same);

  const process::Context &context() const { return *context_; }

  // The engine's architecture (machine_name()'s spelling), asked of it the first time; none
  // when it does not answer. The client's machine says nothing about a remote engine's, and
  // macOS and the BSDs spell theirs otherwise.
  std::optional<std::string> machine();
  // Takes `machine` as the engine's answer (none: it did not answer), so that it is not asked.
  void know_machine(std::optional<std::string> machine);

  // Ends the command as require_docker() does, asking the client once for all the views of the
  // engine: the jobs of one command, the targets of a farm.
  void require_docker();
  // The client is known to be there (the farm asked it), so that it is not asked again.
  void know_docker();

  // Installs the emulators on the engine unless `arch` is the engine's own (this machine's when
  // the engine cannot be asked), saying why in one line; the container's output goes to our
  // terminal, and a failure raises CalledProcessError.
  // `files`, when given, records the registration's container in the run's marker.
  void register_binfmt(std::string_view arch, RunFiles *files = nullptr);

  // Runs one job (see Job); the names of the products it delivered into dist/.
  std::vector<std::string> run_job(const Job &job);

private:
  struct Known;
  // Switches the engine to copy mode, saying why once.
  void use_copy_mode(const std::string &reason);
  // Why the project is copied in, once it is.
  std::optional<std::string> copy_reason() const;

  const process::Context *context_;
  std::shared_ptr<Known> known_;
};

} // namespace tarvo::container
