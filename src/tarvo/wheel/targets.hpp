// Container targets (architecture, C library, Python version) mapped to the names the container
// runs need, the container engine probe, the search for a built wheel, and emulator set-up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::wheel {

// Given to pip in every build and test container: ready-built wheels for ARM boards, which
// spares compiling dependencies under emulation.
inline constexpr std::string_view EXTRA_INDEX_URL = "https://www.piwheels.org/simple";
// Put in front of a build image name.
inline constexpr std::string_view MANYLINUX_REGISTRY = "quay.io/pypa/";
// Registers user-mode emulators for foreign architectures when run privileged.
inline constexpr std::string_view BINFMT_IMAGE = "tonistiigi/binfmt";

// The docker client runs and reports its version; false, silently, when it is not installed.
bool check_docker();

// "3.11" gives "cp311-cp311".
std::string get_python_interpreter(std::string_view python_version);

// The PyPA build image for the target, without registry or tag: "manylinux_2_34_x86_64".
std::string get_manylinux_image(std::string_view arch, std::string_view libc);

// The container platform: "linux/386", "linux/arm/v7", else "linux/" + arch.
std::string get_platform(std::string_view arch);

// The official Python image: "python:3.11" or, for musl, "python:3.11-alpine".
std::string get_python_image(std::string_view python, std::string_view libc);

// The first wheel for `arch` in `directory`, else its first wheel of any kind, in the order
// the directory lists them: "directory/name.whl". None when there is none.
std::optional<std::string> find_wheel(const std::string &directory, std::string_view arch);

// The host's machine name as uname reports it, e.g. "x86_64".
std::string host_machine();

// Installs the emulators unless `arch` is the host's own; the container's output goes to our
// terminal, and a failure raises CalledProcessError.
void register_binfmt(std::string_view arch);

} // namespace tarvo::wheel
