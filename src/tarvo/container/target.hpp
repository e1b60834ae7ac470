// Where a container build or test runs: the target (architecture, C library, Python version)
// and the names the container runs need for it.
#pragma once

#include <string>
#include <string_view>

namespace tarvo::container {

// Given to pip in every build and test container: ready-built wheels for ARM boards, which
// spares compiling dependencies under emulation.
inline constexpr std::string_view EXTRA_INDEX_URL = "https://www.piwheels.org/simple";
// Put in front of a build image name.
inline constexpr std::string_view MANYLINUX_REGISTRY = "quay.io/pypa/";
// Registers user-mode emulators for foreign architectures when run privileged.
inline constexpr std::string_view BINFMT_IMAGE = "tonistiigi/binfmt";

enum class Libc { Glibc, Musl };

// "glibc" or "musl", as the command line and the executables' names spell it.
std::string_view name(Libc libc);

// The C library the command line names; any other name is a ValueError.
Libc parse_libc(std::string_view name);

// The architecture and the Python version are compared exactly as given.
struct Target {
  std::string arch = "x86_64";
  Libc libc = Libc::Glibc;
  std::string python = "3.11";

  bool musl() const { return libc == Libc::Musl; }
};

// "3.11" gives "cp311-cp311".
std::string get_python_interpreter(std::string_view python_version);

// The PyPA build image, without registry or tag: "manylinux_2_34_x86_64".
std::string get_manylinux_image(const Target &target);

// The container platform: "linux/386", "linux/arm/v7", else "linux/" + arch.
std::string get_platform(std::string_view arch);

// The official Python image: "python:3.11" or, for musl, "python:3.11-alpine".
std::string get_python_image(const Target &target);

} // namespace tarvo::container
