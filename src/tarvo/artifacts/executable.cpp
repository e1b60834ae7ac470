#include "tarvo/artifacts/executable.hpp"

#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"

#include <fmt/format.h>
#include <vector>

namespace tarvo::artifacts {

using namespace container;

void build_executable(const std::string &package, const Target &target,
                      const std::optional<std::string> &setup, bool no_compress) {
  require_docker();
  std::vector<std::string> flags = {
      "--python-flag=-m",
      "--mode=onefile",
      "--output-dir=build/",
      fmt::format("--output-filename=../dist/{}-{}-{}-{}", package, target.arch,
                  get_python_interpreter(target.python), name(target.libc)),
      "--include-package-data=" + package,
  };
  if (no_compress) {
    flags.push_back("--onefile-no-compression");
  }
  std::string compile = "python -m nuitka";
  for (const auto &flag : flags) {
    compile += " " + shell_word(flag);
  }
  compile += " " + shell_word(package);

  Script script;
  script.line("")
      .line("cd /src")
      .line(setup.value_or(""))
      .line("mkdir -p build/ dist/")
      .line(fmt::format("python -m pip install   --upgrade   --root-user-action=ignore   "
                        "--extra-index-url=\"{}\"   nuitka[onefile]",
                        EXTRA_INDEX_URL))
      .line(compile);
  script.prepend(target.musl()
                     ? "apk add --no-cache patchelf binutils gcc musl-dev libffi-dev zstd-libs;"
                     : "apt-get update;apt-get install -y patchelf;");

  run_job({.arch = target.arch,
           .container = {{"--volume=" + project_mount(), "--platform=" + get_platform(target.arch)},
                         get_python_image(target),
                         "/bin/sh",
                         script.text()},
           .starting = fmt::format("Building executables for {} ({}) with Python {}...",
                                   target.arch, name(target.libc), target.python),
           .finished = "Executable built for " + target.arch});
}

} // namespace tarvo::artifacts
