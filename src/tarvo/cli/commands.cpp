#include "tarvo/cli/commands.hpp"

#include "tarvo/artifacts/clean.hpp"
#include "tarvo/artifacts/executable.hpp"
#include "tarvo/artifacts/sdist.hpp"
#include "tarvo/artifacts/wheel_build.hpp"
#include "tarvo/artifacts/wheel_test.hpp"
#include "tarvo/configdiff/diff.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/container/container.hpp"
#include "tarvo/container/docker.hpp"
#include "tarvo/lint/lint.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/project/project_config.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/venv/virtual_environment.hpp"

#include <algorithm>
#include <fmt/format.h>

namespace tarvo::cli {

using project::ProjectConfig;
using project::str;
using project::Value;

namespace {

container::Target target(const Args &args) {
  return {args.arch, container::parse_libc(args.libc), args.python};
}

venv::VirtualEnvironment environment(const Args &args) {
  return venv::get_venv(args.no_sync ? venv::Sync::WhenIncomplete : venv::Sync::Always);
}

} // namespace

std::vector<std::string> validate_extras(const ProjectConfig &config,
                                         const std::vector<std::string> &extras) {
  auto defined = extra_names(config);
  std::sort(defined.begin(), defined.end());
  for (const auto &extra : extras) {
    if (!std::binary_search(defined.begin(), defined.end(), extra)) {
      std::string available;
      for (const auto &name : defined) {
        available += (available.empty() ? "" : ", ") + name;
      }
      throw Error(ErrorKind::ValueError,
                  fmt::format("Unknown extra '{}'. Available: {}", extra, available));
    }
  }
  return extras;
}

int cmd_requirements(const Args &args, const Grammar &) {
  ProjectConfig config;
  // Unknown names fail here, before .venv is created or changed.
  auto extras = args.extras.empty() ? args.extras : validate_extras(config, args.extras);
  // The installation is what the command is for: --no-sync skips only the steps before it.
  environment(args).install(extras);
  return 0;
}

int cmd_status(const Args &args, const Grammar &) {
  ProjectConfig config;
  auto venv = environment(args);
  // Both are read before the first line, so a malformed file prints no status at all.
  std::string project = str(config.name()) + "-" + config.version().value_or("None");
  console::out("Project: {}\n", printable(project));
  console::out("Docker: {}\n", container::check_docker() ? "installed" : "missing");
  console::out("Venv: {}\n", venv.exists() ? "installed" : "missing");
  return 0;
}

int cmd_test(const Args &args, const Grammar &) {
  container::set_verbose(args.verbose);
  if (args.wheel) {
    artifacts::test_manylinux_wheel(target(args), args.setup);
    return 0;
  }
  auto venv = environment(args);
  if (venv.syncs()) {
    venv.ensure_test_tools();
  }
  return venv.run({"-um", "pytest", "-vv", "tests"}).returncode;
}

int cmd_build(const Args &args, const Grammar &) {
  container::set_verbose(args.verbose);
  // The package name reaches the compiler in a container as a word of its own: a name that is
  // no project name (one starting with "-" would read as an option) stops the command before
  // anything is built.
  std::optional<Value> name;
  if (args.executable) {
    name = ProjectConfig().name();
    if (name && !packaging::is_valid_name(str(*name))) {
      console::report_error(fmt::format(
          "Invalid project name {}: a name has only letters, digits, '.', '-' and '_', and "
          "begins and ends with a letter or digit",
          repr(str(*name))));
      return 1;
    }
  }
  auto venv = environment(args);
  if (venv.syncs()) {
    venv.ensure_build_tools();
  }
  if (args.sdist) {
    artifacts::build_sdist(venv);
  }
  if (args.wheel) {
    artifacts::build_manylinux_wheel(false, target(args), args.setup);
  }
  if (args.native_wheel) {
    artifacts::build_manylinux_wheel(true, target(args), args.setup);
  }
  if (args.executable) {
    if (!name) {
      console::report_error("Project name missing");
      return 1;
    }
    artifacts::build_executable(str(*name), target(args), args.setup, args.no_compress);
  }
  return 0;
}

int cmd_clean(const Args &, const Grammar &) {
  artifacts::clean();
  return 0;
}

int cmd_lint(const Args &args, const Grammar &) {
  auto venv = environment(args);
  ProjectConfig config;
  return lint::run_lint(venv, config, args.fix, args.workflow, args.colour);
}

int cmd_config_diff(const Args &args, const Grammar &) {
  return configdiff::diff(args.workflow, args.colour);
}

} // namespace tarvo::cli
