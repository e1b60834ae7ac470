// The docker client: whether it is there, the emulator registration for foreign architectures,
// and a container run described as data, whose argument vector is what runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo::container {

// The docker client runs and reports its version; false, silently, when it is not installed.
bool check_docker();

// Ends the command with "Error: Docker is not available" (status 1) unless check_docker().
void require_docker();

// The host's machine name as uname reports it, e.g. "x86_64".
std::string host_machine();

// Installs the emulators unless `arch` is the host's own; the container's output goes to our
// terminal, and a failure raises CalledProcessError.
void register_binfmt(std::string_view arch);

// docker run --rm OPTIONS... IMAGE SHELL -ec SCRIPT: the script runs in the image's shell,
// which stops at its first failing command.
struct DockerRun {
  std::vector<std::string> options;
  std::string image;
  std::string shell;
  std::string script;

  std::vector<std::string> argv() const;
};

// Runs the container with its output on our terminal; a failure raises CalledProcessError.
void run_container(const DockerRun &run);

// The project folder, mounted at /src: the absolute current directory.
std::string project_mount();

} // namespace tarvo::container
