#include "tarvo/build/sdist.hpp"

#include "tarvo/error.hpp"

#include <cerrno>
#include <fmt/format.h>
#include <sys/stat.h>

namespace tarvo {

void build_sdist(const venv::VirtualEnvironment &venv) {
  if (!venv.exists()) {
    report_error("Virtual environment not found. Run 'tarvo requirements' first.");
    throw ExitStatus{1};
  }
  if (::mkdir("dist", 0777) != 0) {
    int err = errno;
    struct stat st {};
    // An existing folder is accepted; anything else in the way keeps its own error.
    if (err != EEXIST || ::stat("dist", &st) != 0 || !S_ISDIR(st.st_mode)) {
      throw os_error(err, "dist");
    }
  }
  fmt::print("Building sdist...\n");
  if (venv.run({"-um", "build", "--sdist"}).returncode != 0) {
    throw Error("RuntimeError", "sdist build failed");
  }
  fmt::print("sdist built successfully\n");
}

} // namespace tarvo
