#include "tarvo/artifacts/wheel_build.hpp"

#include "tarvo/artifacts/step_hints.hpp"
#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/project/project_config.hpp"
#include "tarvo/repr.hpp"

#include <fmt/format.h>

namespace tarvo::artifacts {

using namespace container;

namespace {

// Where the run builds its wheels, and where auditwheel puts the repaired ones: in the
// container, not in the project.
constexpr std::string_view BUILT = "/tmp/tarvo-wheels/built";
constexpr std::string_view REPAIRED = "/tmp/tarvo-wheels/repaired";

// The interpreter's folder first on the search path.
std::string search_path(const std::string &interpreter) {
  if (shell_word(interpreter) == interpreter) {
    return "PATH=\"/opt/python/" + interpreter + "/bin:$PATH\"";
  }
  return "PATH=/opt/python/" + shell_word(interpreter) + "/bin:\"$PATH\"";
}

// What the build knows of the project from its pyproject.toml: whether its build backend is
// setuptools, the backend of the projects tarvo makes, whose setup reads build_with_nuitka (pip
// takes setuptools too where pyproject.toml names no backend; other backends are not given the
// setting: some refuse settings they do not know), and its name, when pyproject.toml gives one.
struct Project {
  bool reads_nuitka_setting = true;
  std::optional<std::string> name;
};

Project read_project() {
  if (!files::exists("pyproject.toml")) {
    return {};
  }
  const project::ProjectConfig config("pyproject.toml");
  const auto backend = config.build_backend();
  const std::string *backend_name = backend ? backend->as_string() : nullptr;
  const auto name = config.name();
  const std::string *project_name = name ? name->as_string() : nullptr;
  return {!backend || (backend_name && (*backend_name == "setuptools.build_meta" ||
                                        *backend_name == "setuptools.build_meta:__legacy__")),
          project_name ? std::optional(*project_name) : std::nullopt};
}

// The build's products: wheels, by name, of this project when its name is known.
Products wheels_of(const std::optional<std::string> &project) {
  if (!project) {
    return {[](std::string_view name) { return packaging::parse_wheel_filename(name).has_value(); },
            "wheels"};
  }
  return {[canonical = packaging::canonicalize_name(*project)](std::string_view name) {
            auto wheel = packaging::parse_wheel_filename(name);
            return wheel && packaging::canonicalize_name(wheel->name) == canonical;
          },
          "wheels of " + printable(*project)};
}

} // namespace

void build_manylinux_wheel(container::Engine &engine, bool native, const Target &target,
                           const std::optional<std::string> &setup) {
  engine.require_docker();
  const auto image = get_manylinux_image(target);
  const auto interpreter = get_python_interpreter(target.python);
  // The wheels of this run are made in folders of its own, outside the project: only they are
  // repaired, and only they reach dist/, which keeps the wheels of other versions.
  const auto project = read_project();
  std::string build = "python -m build --wheel --outdir=" + std::string(BUILT) + " ";
  if (!native && project.reads_nuitka_setting) {
    build += "--config-setting=build_with_nuitka=false";
  }
  const std::string made = native ? std::string(REPAIRED) : std::string(BUILT);
  Script script;
  script.line("")
      .line("set -e")
      .line("manylinux-interpreters ensure " + double_quoted(interpreter))
      .line(search_path(interpreter))
      // The build's own copy of the project: what it writes stays in the container.
      .line(fmt::format("cd {}", PROJECT_COPY))
      .line(setup.value_or(""))
      .line(step_hints())
      .line("rm -rf build/")
      .line(fmt::format("{}python -m pip install   --upgrade   --extra-index-url=\"{}\"   build",
                        STEP, EXTRA_INDEX_URL))
      .line(std::string(STEP) + build)
      .line_if(native, fmt::format("auditwheel repair --wheel-dir={} {}/*_{}.whl", REPAIRED, BUILT,
                                   shell_word(target.arch)))
      // The run's products folder, from which tarvo takes the wheels once the run has
      // succeeded: dist/ never holds half a wheel, and a wheel of the same name is replaced whole.
      .line(fmt::format("cp {}/*.whl \"$tarvo_out/\"", made));

  const auto delivered = engine.run_job(
      {.arch = target.arch,
       // No platform option: the image's name selects the architecture.
       .container = {{},
                     std::string(MANYLINUX_REGISTRY) + image + ":latest",
                     "/bin/bash",
                     script.text(),
                     cache_volume(target)},
       .starting = fmt::format("Building manylinux wheel for {} ({}) with Python {}...",
                               target.arch, name(target.libc), target.python),
       .finished = "",
       .what = "the wheel build",
       .products = wheels_of(project.name)});
  // A platform wheel that auditwheel did not repair is no manylinux wheel: PyPI refuses it.
  for (const auto &name : delivered) {
    auto wheel = packaging::parse_wheel_filename(name);
    if (!native && wheel && wheel->platform != "any") {
      engine.context().say(
          process::Said::Progress,
          fmt::format("Wheel built for {}: {}-{}-{}, platform-specific and not repaired; tarvo "
                      "build --native-wheel makes a manylinux wheel\n",
                      target.arch, wheel->python, wheel->abi, wheel->platform));
      return;
    }
  }
  engine.context().say(process::Said::Progress, "Manylinux wheel built for " + target.arch + "\n");
}

} // namespace tarvo::artifacts
