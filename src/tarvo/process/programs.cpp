#include "tarvo/process/programs.hpp"

#include "tarvo/error.hpp"

#include <unistd.h>

namespace tarvo::process {

bool on_search_path(const std::string &program, const Environment &env) {
  auto found = env.find("PATH");
  std::string path = found != env.end() ? found->second : "/bin:/usr/bin";
  for (std::size_t start = 0;;) {
    auto end = path.find(':', start);
    auto dir = path.substr(start, end == std::string::npos ? end : end - start);
    if (::access(((dir.empty() ? std::string(".") : dir) + "/" + program).c_str(), F_OK) == 0) {
      return true;
    }
    if (end == std::string::npos) {
      return false;
    }
    start = end + 1;
  }
}

const std::filesystem::path &running_executable() {
  // Read once: lint asks at start-up (for its module path) and again for its self-check.
  static const std::filesystem::path exe = [] {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
      throw os_error(ec.value(), "/proc/self/exe");
    }
    return path;
  }();
  return exe;
}

} // namespace tarvo::process
