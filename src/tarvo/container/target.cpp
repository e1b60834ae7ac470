#include "tarvo/container/target.hpp"

#include "tarvo/error.hpp"
#include "tarvo/repr.hpp"

namespace tarvo::container {

std::string_view name(Libc libc) { return libc == Libc::Musl ? "musl" : "glibc"; }

Libc parse_libc(std::string_view name) {
  if (name == "glibc") {
    return Libc::Glibc;
  }
  if (name == "musl") {
    return Libc::Musl;
  }
  throw Error(ErrorKind::ValueError, "Unknown libc " + repr(name));
}

std::string get_python_interpreter(std::string_view python_version) {
  std::string digits;
  for (char c : python_version) {
    if (c != '.') {
      digits += c;
    }
  }
  return "cp" + digits + "-cp" + digits;
}

std::string get_manylinux_image(const Target &target) {
  if (target.musl()) {
    return "musllinux_1_2_" + target.arch;
  }
  if (target.arch == "armv7l") {
    return "manylinux_2_35_" + target.arch;
  }
  if (target.arch == "riscv64") {
    return "manylinux_2_39_" + target.arch;
  }
  return "manylinux_2_34_" + target.arch;
}

std::string get_platform(std::string_view arch) {
  if (arch == "i686") {
    return "linux/386";
  }
  if (arch == "armv7l") {
    return "linux/arm/v7";
  }
  return "linux/" + std::string(arch);
}

std::string get_python_image(const Target &target) {
  return "python:" + target.python + (target.musl() ? "-alpine" : "");
}

} // namespace tarvo::container
