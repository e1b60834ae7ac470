#include "tarvo/container/docker.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/container/container.hpp"
#include "tarvo/container/job_run.hpp"
#include "tarvo/container/project_files.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/process.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/text.hpp"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <mutex>
#include <optional>
#include <sys/utsname.h>
#include <utility>

namespace tarvo::container {

// What the views of one engine know of it. `lock` guards the answers and is never held while a
// command runs; `registering` is held while the emulators are registered, which others wait for.
struct Engine::Known {
  std::mutex lock;
  std::optional<std::optional<std::string>> machine; // once asked: the answer, if any
  std::optional<std::string> copy_reason;            // why the project is copied in, once it is
  std::mutex registering;                            // one registration at a time on the engine
  bool client_checked = false;                       // the docker client answered
};

Engine::Engine(const process::Context &context)
    : context_(&context), known_(std::make_shared<Known>()) {}

Engine::Engine(const process::Context &context, const Engine &same)
    : context_(&context), known_(same.known_) {}

namespace {

// TARVO_CONTAINER_COPY: "1" always copies, "0" never does; anything else lets the engine tell.
std::string copy_setting() {
  const char *value = std::getenv("TARVO_CONTAINER_COPY");
  return value != nullptr ? value : "";
}

// The client failed before the script started: an image the engine does not have (and could not
// pull) is said as such, with how to bring it; copy mode would not help.
void require_image(const process::Context &context, const std::string &image) {
  auto found = ask_engine(context, {"docker", "image", "inspect", "--format", "{{.Id}}", image});
  if (found && found->returncode != 0) {
    throw Error(ErrorKind::RuntimeError,
                fmt::format("The docker engine has no image {0} and could not pull it: bring it "
                            "with docker pull {0}, or where there is no registry with docker "
                            "save {0} on a machine that has it and docker load here",
                            image));
  }
}

} // namespace

bool check_docker(const process::Context &context) {
  using process::Redirect;
  try {
    return context
               .run({"docker", "--version"},
                    {.stdout_mode = Redirect::Discard, .stderr_mode = Redirect::Discard})
               .returncode == 0;
  } catch (const Error &e) {
    if (e.kind() == ErrorKind::FileNotFoundError) {
      return false;
    }
    throw;
  }
}

void require_docker(const process::Context &context) {
  if (!check_docker(context)) {
    console::report_error("Docker is not available");
    throw ExitStatus{1};
  }
}

std::optional<process::CompletedProcess> ask_engine(const process::Context &context,
                                                    std::vector<std::string> args) {
  auto child = context.start(std::move(args), {.stdout_mode = process::Redirect::Capture,
                                               .stderr_mode = process::Redirect::Capture});
  const auto deadline = std::chrono::steady_clock::now() + context.timing().answer_period;
  while (!child->wait_for(context.timing().frame_period)) {
    process::check_interrupted();
    if (std::chrono::steady_clock::now() >= deadline) {
      // Ended with the child's owner, here.
      return std::nullopt;
    }
  }
  auto done = child->finish();
  process::check_interrupted();
  return done;
}

std::string machine_name(std::string_view name) {
  // Go's names (the engine's), then the BSDs' and older Linux's.
  static const std::pair<std::string_view, std::string_view> names[] = {
      {"amd64", "x86_64"},    {"arm64", "aarch64"},      {"386", "i686"},
      {"i386", "i686"},       {"arm", "armv7l"},         {"armv7", "armv7l"},
      {"ppc64el", "ppc64le"}, {"powerpc64le", "ppc64le"}};
  for (const auto &[other, uname] : names) {
    if (name == other) {
      return std::string(uname);
    }
  }
  return std::string(name);
}

std::string host_machine() {
  utsname names{};
  if (uname(&names) != 0) {
    throw os_error(errno);
  }
  return machine_name(names.machine);
}

namespace {

// The engine's architecture in machine_name()'s spelling, or empty when it does not answer.
std::string ask_engine_machine(const process::Context &context) {
  try {
    auto done = ask_engine(context, {"docker", "version", "--format", "{{.Server.Arch}}"});
    if (!done) {
      return "";
    }
    std::string text = done->stdout_text.value_or("");
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
      text.pop_back();
    }
    // An unreachable engine leaves the field empty (or says "<no value>").
    if (done->returncode != 0 || text.empty() || text.find_first_of(" <") != std::string::npos) {
      return "";
    }
    return machine_name(text);
  } catch (const Error &) {
    return "";
  }
}

} // namespace

std::optional<std::string> Engine::machine() {
  {
    std::lock_guard lock(known_->lock);
    if (known_->machine) {
      return *known_->machine;
    }
  }
  auto answer = ask_engine_machine(*context_);
  know_machine(answer.empty() ? std::nullopt : std::optional(answer));
  return machine();
}

void Engine::know_machine(std::optional<std::string> machine) {
  std::lock_guard lock(known_->lock);
  known_->machine = std::move(machine);
}

void Engine::require_docker() {
  {
    std::lock_guard lock(known_->lock);
    if (known_->client_checked) {
      return;
    }
  }
  container::require_docker(*context_);
  know_docker();
}

void Engine::know_docker() {
  std::lock_guard lock(known_->lock);
  known_->client_checked = true;
}

void Engine::register_binfmt(std::string_view arch, RunFiles *files) {
  auto engine = machine();
  auto own = engine ? *engine : host_machine();
  if (arch == own) {
    return;
  }
  // Targets side by side on one engine register one after another.
  std::lock_guard registering(known_->registering);
  if (engine) {
    context_->say(
        process::Said::Progress,
        fmt::format("Registering emulators: the docker engine runs {}, the target is {}\n", own,
                    arch));
  } else {
    context_->say(process::Said::Progress,
                  fmt::format("Registering emulators: this machine is {} (the docker engine did "
                              "not say), the target is {}\n",
                              own, arch));
  }
  Container container(*context_, "the emulator registration");
  if (files != nullptr) {
    files->record(container.name(), *context_);
  }
  auto done = container.run({"docker", "run", "--privileged", "--rm", "--name=" + container.name(),
                             std::string(BINFMT_IMAGE), "--install", "all"});
  if (done.returncode == 0) {
    container.gone();
  }
  process::check_returncode(done);
}

std::string cache_volume(const Target &target) {
  const auto project = std::filesystem::current_path();
  // A hash of the project's path keeps two folders of one name apart.
  const auto folder = project.filename().string().substr(0, 32);
  std::string name =
      fmt::format("tarvo-cache-{}-{:08x}-{}-{}-{}", folder, fnv1a(project.string()) & 0xffffffffu,
                  target.arch, container::name(target.libc), target.python);
  // A volume's name takes letters, digits and "_.-" only.
  for (auto &c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '_' || c == '.' || c == '-';
    if (!plain) {
      c = '_';
    }
  }
  return name;
}

void Engine::use_copy_mode(const std::string &reason) {
  {
    std::lock_guard lock(known_->lock);
    if (known_->copy_reason) {
      return;
    }
    known_->copy_reason = reason;
  }
  context_->say(
      process::Said::Progress,
      fmt::format("Copy mode: {}, so the project is copied into the container\n", reason));
}

std::optional<std::string> Engine::copy_reason() const {
  std::lock_guard lock(known_->lock);
  return known_->copy_reason;
}

std::vector<std::string> Engine::run_job(const Job &job) {
  // The run's marker first: it names every container the run starts, so that the next command
  // removes what a tarvo killed outright left running.
  RunFiles files(job.products.has_value());
  if (job.register_first) {
    register_binfmt(job.arch, &files);
  }
  context_->say(process::Said::Progress, job.starting + "\n");
  if (!job.register_first) {
    register_binfmt(job.arch, &files);
  }
  const auto setting = copy_setting();
  if (setting == "1") {
    use_copy_mode("TARVO_CONTAINER_COPY=1");
  }
  Ran ran{};
  if (copy_reason()) {
    ran = run_copied(*context_, job, files);
  } else {
    ran = run_mounted(*context_, job, files);
    if (ran.status == MARKER_MISSING && !ran.seen) {
      if (setting == "0") {
        throw Error(ErrorKind::RuntimeError,
                    "The docker engine does not see this project folder (a remote engine?), and "
                    "TARVO_CONTAINER_COPY=0 forbids copying the project in");
      }
      use_copy_mode("the docker engine does not see this project folder");
      ran = run_copied(*context_, job, files);
    } else if (ran.status == CLIENT_FAILED && !ran.seen) {
      // The client ended with its own status before the script started: an image it has not is
      // an error of its own; Docker Desktop and colima refuse to mount a folder outside those
      // they share ("Mounts denied"), which a copy mends.
      require_image(*context_, job.container.image);
      if (setting != "0") {
        use_copy_mode("docker could not start the container with this project folder mounted "
                      "(status 125; Docker Desktop and colima refuse folders they do not share)");
        ran = run_copied(*context_, job, files);
      }
    }
  }
  if (ran.status != 0) {
    throw process::CalledProcessError(ran.status, std::move(ran.command));
  }
  if (!job.finished.empty()) {
    context_->say(process::Said::Progress, job.finished + "\n");
  }
  return ran.delivered;
}

} // namespace tarvo::container
