#include "tarvo/container/docker.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/container/target.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/process.hpp"

#include <cerrno>
#include <filesystem>
#include <sys/utsname.h>

namespace tarvo::container {

bool check_docker() {
  using process::Stream;
  try {
    return process::run({"docker", "--version"},
                        {.stdout_mode = Stream::Discard, .stderr_mode = Stream::Discard})
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

std::vector<std::string> DockerRun::argv() const {
  std::vector<std::string> out = {"docker", "run", "--rm"};
  out.insert(out.end(), options.begin(), options.end());
  out.insert(out.end(), {image, shell, "-ec", script});
  return out;
}

void run_container(const DockerRun &run) { process::check_returncode(process::run(run.argv())); }

std::string project_mount() { return std::filesystem::current_path().string() + ":/src"; }

} // namespace tarvo::container
