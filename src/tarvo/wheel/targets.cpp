#include "tarvo/wheel/targets.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fs/files.hpp"
#include "tarvo/fs/tree.hpp"
#include "tarvo/process/process.hpp"

#include <cerrno>
#include <sys/utsname.h>
#include <vector>

namespace tarvo::wheel {

using process::Stream;

bool check_docker() {
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

std::string get_python_interpreter(std::string_view python_version) {
  std::string digits;
  for (char c : python_version) {
    if (c != '.') {
      digits += c;
    }
  }
  return "cp" + digits + "-cp" + digits;
}

std::string get_manylinux_image(std::string_view arch, std::string_view libc) {
  std::string name(arch);
  if (libc == "musl") {
    return "musllinux_1_2_" + name;
  }
  if (arch == "armv7l") {
    return "manylinux_2_35_" + name;
  }
  if (arch == "riscv64") {
    return "manylinux_2_39_" + name;
  }
  return "manylinux_2_34_" + name;
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

std::string get_python_image(std::string_view python, std::string_view libc) {
  return "python:" + std::string(python) + (libc == "musl" ? "-alpine" : "");
}

std::optional<std::string> find_wheel(const std::string &directory, std::string_view arch) {
  if (!files::exists(directory)) {
    return std::nullopt;
  }
  for (const auto &pattern : {"*_" + std::string(arch) + ".whl", std::string("*.whl")}) {
    auto names = files::glob(directory, pattern);
    if (!names.empty()) {
      return directory + "/" + names.front();
    }
  }
  return std::nullopt;
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

} // namespace tarvo::wheel
