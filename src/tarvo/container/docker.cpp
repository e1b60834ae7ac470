#include "tarvo/container/docker.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/container/target.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/process.hpp"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fmt/format.h>
#include <sys/random.h>
#include <sys/utsname.h>

namespace tarvo::container {

bool check_docker() {
  using process::Redirect;
  try {
    return process::run({"docker", "--version"},
                        {.stdout_mode = Redirect::Discard, .stderr_mode = Redirect::Discard})
               .returncode == 0;
  } catch (const Error &e) {
    if (e.kind() == ErrorKind::FileNotFoundError) {
      return false;
    }
    throw;
  }
}

void require_docker() {
  if (!check_docker()) {
    console::report_error("Docker is not available");
    throw ExitStatus{1};
  }
}

std::string host_machine() {
  utsname names{};
  if (uname(&names) != 0) {
    throw os_error(errno);
  }
  return names.machine;
}

void register_binfmt(std::string_view arch) {
  if (arch == host_machine()) {
    return;
  }
  process::check_returncode(process::run(
      {"docker", "run", "--privileged", "--rm", std::string(BINFMT_IMAGE), "--install", "all"}));
}

std::string container_name() {
  std::uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits)) {
    throw os_error(errno);
  }
  return fmt::format("tarvo-{:016x}", bits);
}

const std::string_view GIVE_BACK = R"sh(tarvo_owner=$(stat -c '%u:%g' /src)
tarvo_user=$(id -u)
find /src -xdev -user "$tarvo_user" >/tmp/tarvo-before 2>/dev/null || :
tarvo_give_back() {
  tarvo_status=$?
  set +e
  trap '' INT TERM HUP
  if [ "$tarvo_owner" != "$tarvo_user:$(id -g)" ]; then
    find /src -xdev -user "$tarvo_user" 2>/dev/null | grep -vxF -f /tmp/tarvo-before \
      | tr '\n' '\0' | xargs -0 -r chown -h "$tarvo_owner"
  fi
  exit "$tarvo_status"
}
trap tarvo_give_back EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
)sh";

std::vector<std::string> DockerRun::argv() const {
  std::vector<std::string> out = {"docker",         "run",    "--rm",
                                  "--name=" + name, "--init", "--env=TINI_KILL_PROCESS_GROUP=1"};
  out.insert(out.end(), options.begin(), options.end());
  out.insert(out.end(), {image, shell, "-ec", std::string(GIVE_BACK) + script});
  return out;
}

void run_container(const DockerRun &run) {
  process::ProcessOptions options;
  options.stop = {{"docker", "stop", "-t", "2", run.name}, {"docker", "rm", "--force", run.name}};
  process::check_returncode(process::run(run.argv(), options));
}

std::string project_mount() { return std::filesystem::current_path().string() + ":/src"; }

void run_job(const Job &job) {
  if (job.register_first) {
    register_binfmt(job.arch);
  }
  console::out("{}\n", job.starting);
  if (!job.register_first) {
    register_binfmt(job.arch);
  }
  run_container(job.container);
  console::out("{}\n", job.finished);
}

} // namespace tarvo::container
