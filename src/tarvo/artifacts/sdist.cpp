#include "tarvo/artifacts/sdist.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/files/files.hpp"

namespace tarvo::artifacts {

void build_sdist(const venv::VirtualEnvironment &venv) {
  if (!venv.exists()) {
    console::report_error("Virtual environment not found. Run 'tarvo requirements' first.");
    throw ExitStatus{1};
  }
  files::make_directories("dist");
  console::out("Building sdist...\n");
  if (venv.run({"-um", "build", "--sdist"}).returncode != 0) {
    throw Error(ErrorKind::RuntimeError, "sdist build failed");
  }
  console::out("sdist built successfully\n");
}

} // namespace tarvo::artifacts
