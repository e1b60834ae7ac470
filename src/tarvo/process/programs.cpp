#include "tarvo/process/programs.hpp"

#include "tarvo/error.hpp"
#include "tarvo/platform.hpp"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#if TARVO_MACOS
#include <cstdint>
#include <mach-o/dyld.h>
#elif TARVO_BSD
#include <climits>
#include <sys/sysctl.h>
#include <sys/types.h>
#endif

namespace tarvo::process {

std::optional<std::filesystem::path> find_program(const std::string &program,
                                                  const Environment &env) {
  if (program.find('/') != std::string::npos) {
    return program;
  }
  if (program.empty()) {
    return std::nullopt;
  }
  auto found = env.find("PATH");
  std::string path = found != env.end() ? found->second : "/bin:/usr/bin";
  for (std::size_t start = 0;;) {
    auto end = path.find(':', start);
    auto dir = path.substr(start, end == std::string::npos ? end : end - start);
    auto file = (dir.empty() ? std::string(".") : dir) + "/" + program;
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(file.c_str(), X_OK) == 0) {
      return file;
    }
    if (end == std::string::npos) {
      return std::nullopt;
    }
    start = end + 1;
  }
}

bool on_search_path(const std::string &program, const Environment &env) {
  return find_program(program, env).has_value();
}

namespace {

// Where the system says this process's program is. macOS and FreeBSD answer when asked; Linux
// (and the systems that follow it) shows it as a link under /proc.
std::filesystem::path executable_path() {
#if TARVO_MACOS
  std::uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::string path(size, '\0');
  if (_NSGetExecutablePath(path.data(), &size) != 0) {
    throw Error(ErrorKind::RuntimeError, "the running program's path is unknown");
  }
  path.resize(std::strlen(path.c_str()));
  std::error_code ec;
  auto resolved = std::filesystem::canonical(path, ec);
  if (ec) {
    throw os_error(ec.value(), path);
  }
  return resolved;
#elif TARVO_BSD
  int request[] = {CTL_KERN, KERN_PROC, KERN_PROC_PATHNAME, -1};
  std::string path(PATH_MAX, '\0');
  std::size_t size = path.size();
  if (::sysctl(request, 4, path.data(), &size, nullptr, 0) != 0) {
    throw os_error(errno);
  }
  path.resize(std::strlen(path.c_str()));
  return path;
#else
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    throw os_error(ec.value(), "/proc/self/exe");
  }
  return path;
#endif
}

} // namespace

const std::filesystem::path &running_executable() {
  // Read once: lint asks at start-up (for its module path) and again for its self-check.
  static const std::filesystem::path exe = executable_path();
  return exe;
}

} // namespace tarvo::process
