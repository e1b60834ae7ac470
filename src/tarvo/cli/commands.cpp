#include "tarvo/cli/commands.hpp"

#include "tarvo/artifacts/clean.hpp"
#include "tarvo/artifacts/executable.hpp"
#include "tarvo/artifacts/farm.hpp"
#include "tarvo/artifacts/publish.hpp"
#include "tarvo/artifacts/sdist.hpp"
#include "tarvo/artifacts/wheel_build.hpp"
#include "tarvo/artifacts/wheel_check.hpp"
#include "tarvo/cli/parser.hpp"
#include "tarvo/configdiff/diff.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/container/docker.hpp"
#include "tarvo/container/engines.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/lint/lint.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/project/identity.hpp"
#include "tarvo/project/project_config.hpp"
#include "tarvo/project/pytest_config.hpp"
#include "tarvo/project/test_requirements.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/venv/virtual_environment.hpp"

#include <algorithm>
#include <cstdlib>
#include <fmt/format.h>

namespace tarvo::cli {

using project::ProjectConfig;
using project::str;
using project::Value;

namespace {

// Every combination of the listed architectures, C libraries and Python versions, in the order
// given, each once.
std::vector<container::Target> targets(const Args &args) {
  std::vector<container::Target> out;
  for (const auto &arch : split_list(args.arch)) {
    for (const auto &libc : split_list(args.libc)) {
      for (const auto &python : split_list(args.python)) {
        container::Target target{arch, container::parse_libc(libc), python};
        if (std::none_of(out.begin(), out.end(), [&](const container::Target &other) {
              return other.arch == target.arch && other.libc == target.libc &&
                     other.python == target.python;
            })) {
          out.push_back(std::move(target));
        }
      }
    }
  }
  return out;
}

std::string label(const container::Target &target) {
  return fmt::format("{} {} {}", target.arch, container::name(target.libc), target.python);
}

// The engines TARVO_ENGINES lists, when it lists any.
std::optional<std::vector<container::Endpoint>> farm_engines() {
  const char *setting = std::getenv("TARVO_ENGINES");
  if (setting == nullptr ||
      std::string_view(setting).find_first_not_of(" \t") == std::string::npos) {
    return std::nullopt;
  }
  return container::endpoints(setting);
}

// Several targets, or engines listed, make a farm; one target on the current engine runs as it
// always did, its output straight on the terminal.
bool use_farm(const std::vector<container::Target> &targets,
              const std::optional<std::vector<container::Endpoint>> &engines) {
  return targets.size() > 1 || engines.has_value();
}

// The project's .venv for a command; with --no-sync used as it stands, while what `purpose` (the
// command and what it installs) was last set up from is unchanged.
venv::VirtualEnvironment environment(const Args &args, const process::Context &context,
                                     std::string purpose = {}) {
  return venv::get_venv(context, args.no_sync ? venv::Sync::WhenIncomplete : venv::Sync::Always,
                        std::move(purpose));
}

// Whether the environment's interpreter finds `module`, without importing it.
bool has_module(const venv::VirtualEnvironment &venv, const std::string &module) {
  return venv.run({"-c",
                   "import importlib.util, sys; sys.exit(importlib.util.find_spec(sys.argv[1]) "
                   "is None)",
                   module},
                  {.capture_output = true})
             .returncode == 0;
}

// NAME-VERSION, with a note where the version is not given, or where the name is not read from
// [project], which tarvo's other commands read.
std::string project_line(const project::Identity &identity) {
  if (!identity.name) {
    return "no name found (tarvo's commands read it from pyproject.toml's [project] table)";
  }
  std::string line = *identity.name;
  std::vector<std::string> notes;
  if (identity.version) {
    line += "-" + *identity.version;
    if (identity.version_from) {
      notes.push_back("version set at build time, read from " + *identity.version_from);
    }
  } else if (identity.dynamic_version) {
    notes.push_back("version set at build time");
  } else if (identity.source == "[project]") {
    notes.push_back("no version: [project] neither gives one nor lists it in dynamic");
  } else {
    notes.push_back("no version in " + *identity.source);
  }
  if (identity.source != "[project]") {
    notes.push_back("metadata in " + *identity.source + ", while tarvo's commands read [project]");
  }
  for (std::size_t i = 0; i < notes.size(); ++i) {
    line += (i == 0 ? " (" : "; ") + notes[i] + (i + 1 == notes.size() ? ")" : "");
  }
  return line;
}

} // namespace

Requested validate_extras(const ProjectConfig &config, const std::vector<std::string> &names) {
  using project::TestSource;
  Requested requested;
  for (const auto &name : names) {
    const auto found = project::requirements_named(config, name);
    if (!found) {
      throw Error(ErrorKind::ValueError,
                  fmt::format("Unknown extra or dependency group {}. Available {}", repr(name),
                              project::known_names(config)));
    }
    switch (found->source) {
    case TestSource::Extra:
      requested.extras.push_back(found->name);
      break;
    case TestSource::Group:
      requested.groups.push_back(found->name);
      break;
    default:
      // pdm's and poetry's groups, as the requirements they list; what cannot be said for pip
      // is named.
      const auto lines = project::test_requirements_lines(*found);
      for (std::size_t i = 1; i < lines.size(); ++i) {
        console::out("{}\n", printable(lines[i]));
      }
      requested.requirements.insert(requested.requirements.end(), found->requirements.begin(),
                                    found->requirements.end());
    }
  }
  return requested;
}

int cmd_requirements(const Args &args, const Grammar &, const process::Context &context) {
  ProjectConfig config;
  // Unknown names fail here, before .venv is created or changed.
  auto requested = validate_extras(config, args.extras);
  // The installation is what the command is for: --no-sync skips only the steps before it.
  environment(args, context).install(requested.extras, requested.groups, requested.requirements);
  return 0;
}

int cmd_status(const Args &args, const Grammar &, const process::Context &context) {
  const auto pyproject = project::find_pyproject();
  ProjectConfig config(pyproject);
  std::optional<console::ProgressOnStderr> result_only;
  if (args.json) {
    result_only.emplace();
  }
  auto venv = environment(args, context);
  // Read before the first line, so a malformed file prints no status at all.
  const auto folder = pyproject.parent_path();
  const auto identity = project::project_identity(
      context, config, folder.empty() ? std::filesystem::path(".") : folder);
  const bool docker = container::check_docker(context);
  const bool venv_installed = venv.exists();
  if (args.json) {
    auto text = [](const std::optional<std::string> &value) {
      return value ? json_string(*value) : std::string("null");
    };
    console::out("{{\"name\": {}, \"version\": {}, \"dynamic_version\": {}, \"metadata\": {}, "
                 "\"docker\": {}, \"venv\": {}}}\n",
                 text(identity.name), text(identity.version), identity.dynamic_version,
                 text(identity.source), docker, venv_installed);
    return 0;
  }
  console::out("Project: {}\n", printable(project_line(identity)));
  console::out("Docker: {}\n", docker ? "installed" : "missing");
  console::out("Venv: {}\n", venv_installed ? "installed" : "missing");
  return 0;
}

// pytest's status when it collected no tests.
constexpr int NO_TESTS_COLLECTED = 5;

int cmd_test(const Args &args, const Grammar &, const process::Context &context) {
  // Tests run in the project's .venv: a folder without a project has none.
  if (!args.wheel) {
    project::find_pyproject();
  }
  const auto paths =
      args.path ? std::vector<std::string>{*args.path} : project::default_test_paths(".");
  // Nothing to run is no success: pytest's own status when it collects nothing, so that a CI job
  // whose tests sit in a misnamed folder fails.
  if (paths.empty()) {
    console::out("No tests folder, so no tests ran: put them in tests/ (or test/), name their "
                 "folder in pytest's testpaths, or run tarvo test PATH\n");
    return NO_TESTS_COLLECTED;
  }
  const auto requirements = project::test_requirements_in(".");
  auto say_requirements = [&] {
    for (const auto &line : project::test_requirements_lines(requirements)) {
      console::out("{}\n", printable(line));
    }
  };
  if (args.wheel) {
    const auto list = targets(args);
    const auto engines = farm_engines();
    say_requirements();
    const artifacts::WheelTests tests{paths, args.pytest_args, requirements};
    if (!use_farm(list, engines)) {
      container::Engine engine(context);
      artifacts::test_manylinux_wheel(engine, list.front(), args.setup, tests);
      return 0;
    }
    std::vector<artifacts::FarmTask> tasks;
    for (const auto &target : list) {
      tasks.push_back({label(target), target, [&, target](container::Engine &engine) {
                         artifacts::test_manylinux_wheel(engine, target, args.setup, tests);
                       }});
    }
    return artifacts::run_farm(context, engines.value_or(container::endpoints(std::nullopt)),
                               std::move(tasks));
  }
  auto venv = environment(args, context, "test " + project::describe(requirements));
  if (venv.syncs()) {
    say_requirements();
    venv.ensure_test_tools(requirements);
    venv.setup_done();
  }
  std::vector<std::string> pytest = {"-um", "pytest", "-vv"};
  pytest.insert(pytest.end(), paths.begin(), paths.end());
  pytest.insert(pytest.end(), args.pytest_args.begin(), args.pytest_args.end());
  const int status = venv.run(pytest).returncode;
  // Python's own status when it finds no pytest module; only then is it looked for.
  if (status == 1 && !has_module(venv, "pytest")) {
    console::err("{}\n", printable(project::missing_pytest_hint(requirements)));
  }
  return status;
}

int cmd_build(const Args &args, const Grammar &, const process::Context &context) {
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
  auto venv = environment(args, context, "build");
  if (venv.syncs()) {
    venv.ensure_build_tools();
    venv.setup_done();
  }
  if (args.sdist) {
    artifacts::build_sdist(venv);
  }
  auto name_missing = [&] {
    console::report_error("Project name missing");
    return 1;
  };
  const auto list = targets(args);
  const auto engines = farm_engines();
  if (!use_farm(list, engines)) {
    // One engine for the command's containers: asked once what it runs, and switched once to
    // copy mode when it does not see the project.
    container::Engine engine(context);
    if (args.wheel) {
      artifacts::build_manylinux_wheel(engine, false, list.front(), args.setup);
    }
    if (args.native_wheel) {
      artifacts::build_manylinux_wheel(engine, true, list.front(), args.setup);
    }
    if (args.executable) {
      if (!name) {
        return name_missing();
      }
      artifacts::build_executable(engine, str(*name), list.front(), args.setup, args.no_compress);
    }
    return 0;
  }
  // A farm finds out before any target starts.
  if (args.executable && !name) {
    return name_missing();
  }
  const int kinds = int(args.wheel) + int(args.native_wheel) + int(args.executable);
  std::vector<artifacts::FarmTask> tasks;
  auto add = [&](std::string_view kind, const container::Target &target, auto build) {
    tasks.push_back(
        {kinds > 1 ? fmt::format("{} {}", kind, label(target)) : label(target), target, build});
  };
  if (args.wheel) {
    // A pure wheel is the same file for every target: it is built once.
    if (list.size() > 1) {
      console::out("Pure wheel: built once, for {}; it serves every target\n", label(list.front()));
    }
    add("wheel", list.front(), [&, target = list.front()](container::Engine &engine) {
      artifacts::build_manylinux_wheel(engine, false, target, args.setup);
    });
  }
  for (const auto &target : args.native_wheel ? list : std::vector<container::Target>{}) {
    add("native wheel", target, [&, target](container::Engine &engine) {
      artifacts::build_manylinux_wheel(engine, true, target, args.setup);
    });
  }
  for (const auto &target : args.executable ? list : std::vector<container::Target>{}) {
    add("executable", target, [&, target](container::Engine &engine) {
      artifacts::build_executable(engine, str(*name), target, args.setup, args.no_compress);
    });
  }
  if (tasks.empty()) {
    return 0;
  }
  return artifacts::run_farm(context, engines.value_or(container::endpoints(std::nullopt)),
                             std::move(tasks));
}

int cmd_publish(const Args &args, const Grammar &, const process::Context &context) {
  // Everything that needs no tool is decided before .venv is touched.
  const auto destination = artifacts::destination(args.repository);
  const auto pyproject = project::find_pyproject();
  const auto identity =
      project::project_identity(context, ProjectConfig(pyproject), pyproject.parent_path());
  if (!identity.name) {
    console::report_error("Project name missing: publish reads it from pyproject.toml's [project]");
    return 1;
  }
  // The version as status tells it; where the build sets it and it is not known before
  // building, the newest of the project's files is taken.
  const auto release =
      artifacts::choose_release(*identity.name, identity.version, args.files, "dist");
  artifacts::announce(release);
  auto venv = environment(args, context, "publish");
  if (venv.syncs()) {
    venv.ensure_publish_tools();
    venv.setup_done();
  }
  return artifacts::publish(venv, release, destination, {args.skip_existing, args.dry_run});
}

int cmd_clean(const Args &, const Grammar &, const process::Context &) {
  artifacts::clean();
  return 0;
}

int cmd_lint(const Args &args, const Grammar &, const process::Context &context) {
  auto venv = environment(args, context, "lint");
  ProjectConfig config;
  return lint::run_lint(venv, config, args.fix, args.workflow, args.colour);
}

int cmd_config_diff(const Args &args, const Grammar &, const process::Context &) {
  return configdiff::diff(args.workflow, args.colour);
}

} // namespace tarvo::cli
