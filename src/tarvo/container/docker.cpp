#include "tarvo/container/docker.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/container/container.hpp"
#include "tarvo/container/project_files.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/output_stream.hpp"
#include "tarvo/process/process.hpp"
#include "tarvo/repr.hpp"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
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

Engine::Engine(const process::Context &context, const Engine &same)
    : context_(&context), known_(same.known_) {}

namespace {

// The docker client's status when it failed itself and ran no container: a mount refused, an
// image not found, an engine out of reach.
constexpr int CLIENT_FAILED = 125;

// TARVO_CONTAINER_COPY: "1" always copies, "0" never does; anything else lets the engine tell.
std::string copy_setting() {
  const char *value = std::getenv("TARVO_CONTAINER_COPY");
  return value != nullptr ? value : "";
}

// How a job's container ended, the docker command that ran its script, as an error's last
// line names it, and whether the script got past the marker check.
struct Ran {
  int status;
  std::vector<std::string> command;
  bool seen = true;
  std::vector<std::string> delivered = {};
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

// The prelude leaves a file in the container once the marker is found: a status that the marker
// check would give is told apart from the same status of the script.
bool passed_marker_check(const process::Context &context, const Container &container) {
  return context
             .run({"docker", "cp", container.name() + ":/tarvo/seen", "-"},
                  {.stdout_mode = process::Redirect::Discard,
                   .stderr_mode = process::Redirect::Discard})
             .returncode == 0;
}

// Takes the products out of the ended container: docker cp writes its products folder as a tar
// stream, which tarvo reads itself, writing only the products into dist/. Returns their names.
std::vector<std::string> take_products(const process::Context &context, const Container &container,
                                       const Job &job, const RunFiles &files) {
  process::OutputStream stream;
  std::vector<std::string> args = {"docker", "cp",
                                   container.name() + ":" + std::string(PRODUCTS) + "/.", "-"};
  auto child = context.start(args, {.stdout_mode = process::Redirect::File,
                                    .stderr_mode = process::Redirect::Capture,
                                    .file = stream.file()});
  stream.started();
  std::optional<files::Unpacked> unpacked;
  std::exception_ptr broken;
  try {
    unpacked = files.deliver(
        [&](char *buffer, std::size_t size) { return stream.read(buffer, size); }, *job.products);
  } catch (const Error &) {
    broken = std::current_exception();
  }
  auto done = child->finish();
  process::check_interrupted();
  if (done.returncode != 0) {
    context.say(process::Said::Detail, done.stderr_text.value_or(""));
    throw process::CalledProcessError(done.returncode, std::move(done.args));
  }
  if (broken) {
    std::rethrow_exception(broken);
  }
  if (!unpacked->left_out.empty()) {
    std::string names;
    for (const auto &name : unpacked->left_out) {
      names += (names.empty() ? "" : ", ") + repr(name);
    }
    context.say(process::Said::Progress,
                fmt::format("Not taken into dist/ (tarvo takes only {}): {}\n",
                            job.products->described, names));
  }
  if (unpacked->taken.empty()) {
    throw Error(ErrorKind::RuntimeError,
                fmt::format("{} left nothing to take: tarvo takes only {} from {}", job.what,
                            job.products->described, PRODUCTS));
  }
  for (const auto &name : unpacked->taken) {
    context.say(process::Said::Delivered, "dist/" + name + "\n");
  }
  return unpacked->taken;
}

// The run with the project mounted read-only.
Ran run_mounted(const process::Context &context, const Job &job, RunFiles &files) {
  Container container(context, job.what);
  files.record(container.name(), context);
  std::vector<std::string> argv = {"docker", "run"};
  for (auto &option : common_options(container, job.container, project_mount())) {
    argv.push_back(std::move(option));
  }
  argv.insert(argv.end(),
              {job.container.image, job.container.shell, "-ec",
               prelude(files.marker(), job.products.has_value()) + job.container.script});
  Ran ran{container.run(std::move(argv)).returncode, shown_run(job.container)};
  if (ran.status == MARKER_MISSING || ran.status == CLIENT_FAILED) {
    ran.seen = passed_marker_check(context, container);
  }
  if (ran.status == 0 && job.products) {
    ran.delivered = take_products(context, container, job, files);
  }
  container.remove();
  return ran;
}

// The run on a copy of the project: made, filled, started, its status asked of the engine (a
// client that was interrupted reports 0), its products taken out after success, removed.
Ran run_copied(const process::Context &context, const Job &job, RunFiles &files) {
  Container container(context, job.what);
  files.record(container.name(), context);
  std::vector<std::string> argv = {"docker", "create"};
  for (auto &option : common_options(container, job.container, "/src")) {
    argv.push_back(std::move(option));
  }
  argv.insert(argv.end(),
              {job.container.image, job.container.shell, "-ec",
               prelude(files.marker(), job.products.has_value()) + job.container.script});
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
  std::vector<std::string> delivered;
  if (status == 0 && job.products) {
    delivered = take_products(context, container, job, files);
  }
  container.remove();
  // The script ran when the container was started.
  return {status, {"docker", "start", "--attach", container.name()}, true, delivered};
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
  // FNV-1a of the project's path: two folders of one name keep apart.
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : project.string()) {
    hash = (hash ^ c) * 1099511628211ull;
  }
  auto folder = project.filename().string().substr(0, 32);
  std::string name = fmt::format("tarvo-cache-{}-{:08x}-{}-{}-{}", folder, hash & 0xffffffffu,
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

std::string prelude(const std::string &marker, bool copy) {
  // Only a container that sees this run's project folder finds the marker. It then leaves a
  // file of its own, which tells its status from the same status of the script.
  std::string text = fmt::format("[ -e /src/{} ] || exit {}\nmkdir -p {}\n: >/tarvo/seen\n"
                                 "tarvo_out={}\n",
                                 marker, MARKER_MISSING, PRODUCTS, PRODUCTS);
  if (copy) {
    // The build's own copy of the project, owned by the container's user, without the host's
    // environment and outputs and tarvo's markers: what the build writes stays in the container.
    std::string skipped;
    for (const auto &name : NOT_COPIED) {
      skipped += name + "|";
    }
    text += fmt::format(R"sh(mkdir -p {0}
for tarvo_entry in /src/* /src/.[!.]* /src/..?*; do
  case ${{tarvo_entry#/src/}} in
    {1}.tarvo-*) continue ;;
  esac
  if [ -e "$tarvo_entry" ] || [ -L "$tarvo_entry" ]; then
    cp -RP "$tarvo_entry" {0}/
  fi
done
)sh",
                        PROJECT_COPY, skipped);
  }
  return text;
}

std::string project_mount() { return std::filesystem::current_path().string() + ":/src:ro"; }

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
