#include "tarvo/wheel/build_wheel.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"

#include <fmt/format.h>

namespace tarvo::wheel {

using namespace container;

namespace {

// The interpreter's folder first on the search path.
std::string search_path(const std::string &interpreter) {
  if (shell_word(interpreter) == interpreter) {
    return "PATH=\"/opt/python/" + interpreter + "/bin:$PATH\"";
  }
  return "PATH=/opt/python/" + shell_word(interpreter) + "/bin:\"$PATH\"";
}

} // namespace

void build_manylinux_wheel(bool native, const Target &target,
                           const std::optional<std::string> &setup) {
  require_docker();
  const auto image = get_manylinux_image(target);
  const auto interpreter = get_python_interpreter(target.python);
  std::string build = "python -m build --wheel ";
  if (!native) {
    build += "--config-setting=build_with_nuitka=false";
  }
  const auto built = "dist/*_" + shell_word(target.arch) + ".whl";
  Script script;
  script.line("")
      .line("set -e")
      .line("manylinux-interpreters ensure " + double_quoted(interpreter))
      .line(search_path(interpreter))
      .line("cd /src")
      .line(setup.value_or(""))
      .line("rm -rf build/")
      .line(fmt::format("python -m pip install   --upgrade   --extra-index-url=\"{}\"   build",
                        EXTRA_INDEX_URL))
      .line(build)
      .line_if(native, "auditwheel repair " + built)
      // The repaired wheels replace the built one in dist/ before the owner of the project gets
      // dist/ back, with what the backend left of *.egg-info/ and build/ (some leave neither).
      .line_if(native, "rm -f " + built)
      .line_if(native, "mv wheelhouse/* dist/")
      .line("owner=$(stat -c '%u:%g' .)")
      .line("chown -R \"$owner\" dist/ $(ls -d *.egg-info/ build/ 2>/dev/null)")
      .line("rm -rf wheelhouse/");

  console::out("Building manylinux wheel for {} ({}) with Python {}...\n", target.arch, target.libc,
               target.python);
  register_binfmt(target.arch);
  // No platform option: the image's name selects the architecture.
  run_container({{"-v", project_mount()},
                 std::string(MANYLINUX_REGISTRY) + image + ":latest",
                 "/bin/bash",
                 script.text()});
  console::out("Manylinux wheel built for {}\n", target.arch);
}

} // namespace tarvo::wheel
