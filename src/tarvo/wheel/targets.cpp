#include "tarvo/wheel/targets.hpp"

#include "tarvo/error.hpp"
#include "tarvo/venv/process.hpp"

#include <cerrno>
#include <filesystem>
#include <fnmatch.h>
#include <sys/utsname.h>
#include <vector>

namespace tarvo::wheel {

namespace fs = std::filesystem;
using venv::Stream;

bool check_docker() {
  try {
    return venv::run_process({"docker", "--version"},
                             {.stdout_mode = Stream::Discard, .stderr_mode = Stream::Discard})
               .returncode == 0;
  } catch (const Error &e) {
    if (e.kind() == "FileNotFoundError") {
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
  std::error_code ec;
  if (!fs::exists(directory, ec)) {
    return std::nullopt;
  }
  // Like a shell wildcard: an unreadable folder simply has no matches.
  std::vector<std::string> names;
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  for (const auto &pattern : {"*_" + std::string(arch) + ".whl", std::string("*.whl")}) {
    for (const auto &name : names) {
      // FNM_PERIOD: a wildcard never matches a leading dot, as in the shell.
      if (fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD) == 0) {
        return directory + "/" + name;
      }
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
  venv::check_returncode(venv::run_process(
      {"docker", "run", "--privileged", "--rm", std::string(BINFMT_IMAGE), "--install", "all"}));
}

} // namespace tarvo::wheel
