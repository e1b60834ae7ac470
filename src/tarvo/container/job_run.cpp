#include "tarvo/container/job_run.hpp"

#include "tarvo/container/container.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/output_stream.hpp"
#include "tarvo/repr.hpp"

#include <exception>
#include <filesystem>
#include <fmt/format.h>
#include <optional>

namespace tarvo::container {

namespace {

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
    stream.close();
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

} // namespace

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

} // namespace tarvo::container
