#include "tarvo/container/docker.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/container/container.hpp"
#include "tarvo/container/project_files.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/process.hpp"

#include <cctype>
#include <cerrno>
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
};

Engine::Engine(const process::Context &context)
    : context_(&context), known_(std::make_shared<Known>()) {}

Engine::Engine(const process::Context &context, const Engine &same, bool own_copy)
    : context_(&context), known_(same.known_), own_copy_(own_copy) {}

namespace {

// The docker client's status when it failed itself and ran no container: a mount refused, an
// image not found, an engine out of reach.
constexpr int CLIENT_FAILED = 125;

// TARVO_CONTAINER_COPY: "1" always copies, "0" never does; anything else lets the engine tell.
std::string copy_setting() {
  const char *value = std::getenv("TARVO_CONTAINER_COPY");
  return value != nullptr ? value : "";
}

// How a job's container ended, and the docker command that ran its script, as an error's last
// line names it.
struct Ran {
  int status;
  std::vector<std::string> command;
};

// The mounted run in the error's last line, without the script (--verbose prints it).
std::vector<std::string> shown_run(const DockerRun &run) {
  return shown_in_errors({"docker", "run", run.image, run.shell, "-ec", "\n" + run.script});
}

// The options every run gets, and the cache volume.
std::vector<std::string> common_options(const Container &container, const DockerRun &run,
                                        const std::string &src) {
  std::vector<std::string> out = {"--name=" + container.name(), "--init",
                                  "--env=TINI_KILL_PROCESS_GROUP=1", "--volume=" + src};
  if (!run.cache.empty()) {
    out.push_back("--volume=" + run.cache + ":/root/.cache");
  }
  out.insert(out.end(), run.options.begin(), run.options.end());
  return out;
}

std::string where_untouched(const Job &job, bool copied) {
  return job.products && !copied ? "dist/" : "the project";
}

// The run with the project mounted.
Ran run_mounted(const process::Context &context, const Job &job, const RunFiles &files) {
  Container container(context, job.what, where_untouched(job, false));
  container.give_back_on_stop();
  std::vector<std::string> argv = {"docker", "run", "--rm"};
  for (auto &option : common_options(container, job.container, project_mount())) {
    argv.push_back(std::move(option));
  }
  argv.insert(argv.end(), {job.container.image, job.container.shell, "-ec",
                           prelude(files.marker(), files.products(), true) + job.container.script});
  auto done = container.run(std::move(argv));
  // The client waited for the container, which removed itself; a run that failed otherwise may
  // have left it made but not started.
  container.ended();
  if (done.returncode == 0 || (done.returncode == MARKER_MISSING && !files.seen())) {
    container.gone();
  }
  return {done.returncode, shown_run(job.container)};
}

// The run on a copy of the project: made, filled, started, its status asked of the engine (a
// client that was interrupted reports 0), its products copied out after success, removed.
Ran run_copied(const process::Context &context, const Job &job, const RunFiles &files) {
  Container container(context, job.what, where_untouched(job, true));
  std::vector<std::string> argv = {"docker", "create"};
  for (auto &option : common_options(container, job.container, "/src")) {
    argv.push_back(std::move(option));
  }
  argv.insert(argv.end(),
              {job.container.image, job.container.shell, "-ec",
               prelude(files.marker(), files.products(), false) + job.container.script});
  container.run_quietly(std::move(argv));
  {
    ProjectCopy copy(job.extra);
    container.run_quietly(
        {"docker", "cp", (copy.path() / ".").string(), container.name() + ":/src"});
  }
  auto started = container.run({"docker", "start", "--attach", container.name()});
  auto waited = container.run_quietly({"docker", "wait", container.name()});
  int status = started.returncode;
  try {
    status = std::stoi(waited.stdout_text.value_or(""));
  } catch (const std::exception &) {
    throw Error(ErrorKind::RuntimeError,
                "docker wait gave no exit status for container " + container.name());
  }
  if (status == 0 && job.products) {
    container.run_quietly(
        {"docker", "cp", container.name() + ":/src/" + files.products() + "/.", files.products()});
  }
  container.remove();
  // The script ran when the container was started.
  return {status, {"docker", "start", "--attach", container.name()}};
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
  using process::Redirect;
  try {
    auto done = context.run({"docker", "version", "--format", "{{.Server.Arch}}"},
                            {.stdout_mode = Redirect::Capture, .stderr_mode = Redirect::Discard});
    std::string text = done.stdout_text.value_or("");
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
      text.pop_back();
    }
    // An unreachable engine leaves the field empty (or says "<no value>").
    if (done.returncode != 0 || text.empty() || text.find_first_of(" <") != std::string::npos) {
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

void Engine::register_binfmt(std::string_view arch) {
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
  Container container(*context_, "the emulator registration", "the project");
  auto done = container.run({"docker", "run", "--privileged", "--rm", "--name=" + container.name(),
                             std::string(BINFMT_IMAGE), "--install", "all"});
  if (done.returncode == 0) {
    container.gone();
  }
  process::check_returncode(done);
}

std::string cache_volume(const Target &target) {
  std::string name = "tarvo-cache-" + target.arch + "-" +
                     std::string(container::name(target.libc)) + "-" + target.python;
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

std::string prelude(const std::string &marker, const std::string &products, bool mounted) {
  const std::string seen = "/src/" + marker + ".seen";
  // Only a container that sees this run's project folder, and may write there, renames the
  // marker; the renaming keeps its time, from before the container started.
  std::string text =
      fmt::format("mv /src/{} {} 2>/dev/null || exit {}\n", marker, seen, MARKER_MISSING);
  if (mounted) {
    // What the container's user made or changed in the project since the marker was made goes
    // to the folder's owner: the names pass NUL-separated, and the host's .venv, which no
    // container writes to, is not visited. find without -cnewer (busybox) compares the
    // contents' times instead. Where what the container makes is the owner's already (a file
    // system that maps owners, as Docker Desktop's virtiofs does), nothing is given back: a
    // probe file tells.
    text += fmt::format(R"sh(tarvo_owner=$(stat -c '%u:%g' /src)
tarvo_user=$(id -u)
tarvo_made=
if : >{1} 2>/dev/null; then
  tarvo_made=$(stat -c '%u:%g' {1} 2>/dev/null || true)
  rm -f {1}
fi
tarvo_newer=-cnewer
find {0} -maxdepth 0 -cnewer {0} >/dev/null 2>&1 || tarvo_newer=-newer
tarvo_give_back() {{
  tarvo_status=$?
  set +e
  trap '' INT TERM HUP
  if [ "$tarvo_owner" != "$tarvo_user:$(id -g)" ] && [ "$tarvo_made" != "$tarvo_owner" ]; then
    find /src -xdev -path /src/.venv -prune -o -user "$tarvo_user" "$tarvo_newer" {0} -print0 \
      | xargs -0 -r chown -h "$tarvo_owner"
  fi
  exit "$tarvo_status"
}}
trap tarvo_give_back EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
)sh",
                        seen, "/src/" + marker + ".owner");
  }
  if (!products.empty()) {
    text += fmt::format("tarvo_out=/src/{}\nmkdir -p \"$tarvo_out\"\n", products);
  }
  return text;
}

std::string project_mount() { return std::filesystem::current_path().string() + ":/src"; }

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

void Engine::run_job(const Job &job) {
  if (job.register_first) {
    register_binfmt(job.arch);
  }
  context_->say(process::Said::Progress, job.starting + "\n");
  if (!job.register_first) {
    register_binfmt(job.arch);
  }
  const auto setting = copy_setting();
  if (setting == "1") {
    use_copy_mode("TARVO_CONTAINER_COPY=1");
  }
  RunFiles files(job.products);
  Ran ran{};
  if (copy_reason() || (own_copy_ && job.products)) {
    ran = run_copied(*context_, job, files);
  } else {
    ran = run_mounted(*context_, job, files);
    if (ran.status == MARKER_MISSING && !files.seen()) {
      if (setting == "0") {
        throw Error(ErrorKind::RuntimeError,
                    "The docker engine does not see this project folder (a remote engine?), and "
                    "TARVO_CONTAINER_COPY=0 forbids copying the project in");
      }
      use_copy_mode("the docker engine does not see this project folder");
      ran = run_copied(*context_, job, files);
    } else if (ran.status == CLIENT_FAILED && !files.seen() && setting != "0") {
      // Docker Desktop and colima refuse to mount a folder outside those they share ("Mounts
      // denied"), and the client ends with its own status before the script starts. Another
      // such failure (an image that cannot be pulled) fails the copy's first step again.
      use_copy_mode("docker could not start the container with this project folder mounted "
                    "(status 125; Docker Desktop and colima refuse folders they do not share)");
      ran = run_copied(*context_, job, files);
    }
  }
  if (ran.status != 0) {
    throw process::CalledProcessError(ran.status, std::move(ran.command));
  }
  for (const auto &name : files.deliver()) {
    context_->say(process::Said::Delivered, "dist/" + name + "\n");
  }
  context_->say(process::Said::Progress, job.finished + "\n");
}

} // namespace tarvo::container
