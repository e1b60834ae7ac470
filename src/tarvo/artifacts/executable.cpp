#include "tarvo/artifacts/executable.hpp"

#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"

#include <fmt/format.h>
#include <vector>

namespace tarvo::artifacts {

using namespace container;

void build_executable(container::Engine &engine, const std::string &package, const Target &target,
                      const std::optional<std::string> &setup, bool no_compress) {
  engine.require_docker();
  // Made in build/ and moved into the run's products folder once complete, from which tarvo
  // takes it: an interrupted compiler leaves no partial file in dist/.
  const auto executable = fmt::format("{}-{}-{}-{}", package, target.arch,
                                      get_python_interpreter(target.python), name(target.libc));
  std::vector<std::string> flags = {
      "--python-flag=-m",
      "--mode=onefile",
      "--output-dir=build/",
      "--output-filename=" + executable,
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
  script
      .line("")
      // The build's own copy of the project: Nuitka's build/ stays in the container.
      .line(fmt::format("cd {}", PROJECT_COPY))
      .line(setup.value_or(""))
      .line("mkdir -p build/ dist/")
      .line(fmt::format("python -m pip install   --upgrade   --root-user-action=ignore   "
                        "--extra-index-url=\"{}\"   nuitka[onefile]",
                        EXTRA_INDEX_URL))
      .line(compile)
      .line("mv " + shell_word("build/" + executable) + " \"$tarvo_out/\"");
  // ccache lets Nuitka reuse what it compiled before, kept in the target's cache volume.
  script.prepend(
      target.musl()
          ? "apk add --no-cache patchelf binutils gcc musl-dev libffi-dev zstd-libs ccache;"
          : "apt-get update;apt-get install -y patchelf ccache;");

  engine.run_job(
      {.arch = target.arch,
       .container = {{"--platform=" + get_platform(target.arch)},
                     get_python_image(target),
                     "/bin/sh",
                     script.text(),
                     cache_volume(target)},
       .starting = fmt::format("Building executables for {} ({}) with Python {}...", target.arch,
                               name(target.libc), target.python),
       .finished = "Executable built for " + target.arch,
       .what = "the executable build",
       .products = Products{[executable](std::string_view name) { return name == executable; },
                            "the executable " + executable}});
}

} // namespace tarvo::artifacts
