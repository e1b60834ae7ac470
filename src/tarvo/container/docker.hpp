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

// A name for one container run, unique among the runs of every tarvo: "tarvo-" and 16 random
// hexadecimal digits.
std::string container_name();

// docker run --rm --name=NAME --init --env=TINI_KILL_PROCESS_GROUP=1 OPTIONS... IMAGE SHELL -ec
// SCRIPT. The script runs in the image's shell, which stops at its first failing command, under
// docker's init, which passes a signal on to the script and to everything the script started.
// The project is mounted at /src: before the script, GIVE_BACK arranges that whatever the run
// makes or replaces there goes to the project folder's owner when the shell exits, however it
// exits.
struct DockerRun {
  std::vector<std::string> options;
  std::string image;
  std::string shell;
  std::string script;
  std::string name = container_name();

  std::vector<std::string> argv() const;
};

// The container user's entries under /src are listed first; at exit, those that were not listed
// go to the owner of /src. A signal ends the script with 128 + its number, after which nothing
// interrupts the giving back.
extern const std::string_view GIVE_BACK;

// Runs the container with its output on our terminal; a failure raises CalledProcessError. When
// the command is interrupted, the container is stopped by name (killing its client would leave
// it running), given two seconds to give the files back, and removed, also if it never started.
void run_container(const DockerRun &run);

// The project folder, mounted at /src: the absolute current directory.
std::string project_mount();

// One job in a container: `starting` is printed, emulators are registered when `arch` is not
// the host's (before `starting` when `register_first`), the container runs with its output on
// our terminal, and `finished` is printed once it succeeded. A failure raises
// CalledProcessError.
struct Job {
  std::string arch;
  DockerRun container;
  std::string starting;
  std::string finished;
  bool register_first = false;
};

void run_job(const Job &job);

} // namespace tarvo::container
