#include "tarvo/artifacts/wheel_check.hpp"

#include "tarvo/artifacts/find_wheel.hpp"
#include "tarvo/artifacts/step_hints.hpp"
#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/error.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/files/folder.hpp"
#include "tarvo/project/pytest_config.hpp"
#include "tarvo/repr.hpp"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fmt/format.h>

namespace tarvo::artifacts {

using namespace container;

namespace {

// Targets whose Python image has no ready wheels for the test tools: they are built there,
// which needs a Rust toolchain.
bool needs_rust(const Target &target) {
  const auto &arch = target.arch;
  return arch == "i686" || arch == "s390x" || arch == "riscv64" ||
         ((arch == "ppc64le" || arch == "armv7l") && target.musl());
}

// What is copied out of the project for one path, and the word pytest gets: the path as
// written, without a leading "./", or "tests" when none is given.
struct TestsPath {
  std::filesystem::path copied;
  std::string argument;
};

TestsPath tests_path(const std::string &given) {
  // A node id names its file before the first "::".
  const auto separator = given.find("::");
  const std::filesystem::path file = given.substr(0, separator);
  const auto normal = file.lexically_normal();
  const auto top = normal.empty() ? std::filesystem::path() : *normal.begin();
  if (file.is_absolute() || top.empty() || top == "." || top == "..") {
    throw Error(ErrorKind::ValueError,
                "test --wheel takes a test file, folder or node id inside the project, got " +
                    repr(given));
  }
  if (!files::exists(file)) {
    throw os_error(ENOENT, file);
  }
  auto argument = normal.string();
  if (argument.ends_with('/')) {
    argument.pop_back();
  }
  if (separator != std::string::npos) {
    argument += given.substr(separator);
  }
  // The tests' top folder comes whole, helpers and data included, unless it is where the
  // package lives (src/, or a package folder): then only the path itself, so that the package
  // imported is the installed wheel's.
  const bool package_top = top == "src" || files::exists(top / "__init__.py");
  auto copied = package_top ? std::filesystem::path(argument.substr(0, argument.find("::"))) : top;
  return {copied, argument};
}

// The rows that copy the tests, and beside them what pytest reads before it collects them: the
// configuration files and conftest.py of each folder from the project down to the copied
// one, at the same places, so that pytest chooses the same configuration and rootdir, and
// gives the same node ids, as in the project.
std::vector<std::string> copy_rows(const std::vector<TestsPath> &paths) {
  std::vector<std::string> rows;
  std::vector<std::filesystem::path> done;
  auto copy = [&](const std::filesystem::path &entry, bool folder) {
    if (std::find(done.begin(), done.end(), entry) != done.end()) {
      return;
    }
    done.push_back(entry);
    const auto parent = entry.parent_path();
    if (!parent.empty()) {
      rows.push_back("mkdir -p " + shell_word(parent.string()));
    }
    rows.push_back(fmt::format("cp {}/src/{} {}", folder ? "-r " : "", shell_word(entry.string()),
                               parent.empty() ? "." : shell_word(parent.string() + "/")));
  };
  for (const auto &path : paths) {
    std::filesystem::path folder;
    for (auto part = path.copied.begin();; ++part) {
      for (auto name : project::PYTEST_CONFIG_FILES) {
        if (files::exists(folder / name) && !std::filesystem::is_directory(folder / name)) {
          copy(folder / name, false);
        }
      }
      if (files::exists(folder / "conftest.py")) {
        copy(folder / "conftest.py", false);
      }
      if (std::next(part) == path.copied.end()) {
        break;
      }
      folder /= *part;
    }
  }
  for (const auto &path : paths) {
    copy(path.copied, true);
  }
  return rows;
}

// The row that installs the wheel and what its tests need.
std::string install_row(const std::string &wheel, const project::TestRequirements &requirements) {
  using project::TestSource;
  std::string row =
      fmt::format("{}pip install   --root-user-action=ignore   --extra-index-url=\"{}\"   ", STEP,
                  EXTRA_INDEX_URL);
  switch (requirements.source) {
  case TestSource::Extra:
  case TestSource::Unseen:
    // The wheel and its extra are one word: unquoted, [test] would be a pattern.
    return row + double_quoted(wheel + "[" + requirements.name + "]");
  case TestSource::Group:
    return row + double_quoted(wheel) + " --group " +
           shell_word("/src/pyproject.toml:" + requirements.name);
  case TestSource::PdmGroup:
  case TestSource::PoetryGroup:
    row += double_quoted(wheel);
    for (const auto &requirement : requirements.requirements) {
      row += " " + shell_word(requirement);
    }
    return row;
  case TestSource::None:
    break;
  }
  return row + double_quoted(wheel);
}

// Runs a command as USER:GROUP (numbers), or as it is for 0:0; Python drops the rights, as every
// image of the wheel test has it and not every one has setpriv or su-exec.
constexpr std::string_view RUN_AS = R"sh(tarvo_as() {
  tarvo_who=$1
  shift
  if [ "$tarvo_who" = 0:0 ]; then
    "$@"
    return
  fi
  python -c 'import os, sys
user, group = (int(n) for n in sys.argv[1].split(":"))
os.setgroups([])
os.setgid(group)
os.setuid(user)
os.execvp(sys.argv[2], sys.argv[2:])' "$tarvo_who" "$@"
})sh";

} // namespace

std::string install_rust(Libc libc) {
  if (libc == Libc::Musl) {
    return "apk add --no-cache gcc musl-dev python3-dev libffi-dev openssl-dev cargo pkgconfig;";
  }
  return "apt-get update;DEBIAN_FRONTEND=\"noninteractive\" apt-get install -y rustc cargo;";
}

void test_manylinux_wheel(container::Engine &engine, const Target &target,
                          const std::optional<std::string> &setup, const WheelTests &tests) {
  engine.require_docker();
  std::optional<std::string> wheel;
  for (const char *directory : {"wheelhouse", "dist"}) {
    if ((wheel = find_wheel_for(directory, target))) {
      break;
    }
  }
  if (!wheel) {
    throw Error(ErrorKind::FileNotFoundError,
                "Error: No wheel found for architecture " + target.arch);
  }

  std::vector<TestsPath> paths;
  for (const auto &given : tests.paths) {
    paths.push_back(tests_path(given));
  }
  if (paths.empty()) {
    paths.push_back({"tests", "tests"});
  }
  const bool group = tests.requirements.source == project::TestSource::Group;
  // pytest runs as the host runs it, as the project's owner; root installs the wheel.
  std::string pytest = std::string(STEP) + "tarvo_as \"$tarvo_test_user\" python -m pytest -vv";
  for (const auto &path : paths) {
    pytest += " " + shell_word(path.argument);
  }
  for (const auto &word : tests.pytest_args) {
    pytest += " " + shell_word(word);
  }
  const auto project = files::Folder::current();
  Script script;
  script.line("")
      .line("cd /src")
      .line(fmt::format("tarvo_test_user={}:{}", project.owner_uid(), project.owner_gid()))
      .line(setup.value_or(""))
      .line(RUN_AS)
      .line(step_hints(project::missing_pytest_hint(tests.requirements)))
      // Dependency groups need pip 25.1; an older pip in the image is upgraded first.
      .line_if(group, std::string(STEP) + "pip install --root-user-action=ignore \"pip>=25.1\"")
      .line(install_row(*wheel, tests.requirements))
      .line("export HOME=/tmp/test-home")
      .line("mkdir -p \"$HOME\"")
      .line(fmt::format("git config --global user.email '{}'", TEST_GIT_EMAIL))
      .line("git config --global user.name \"Test Runner\"")
      .line("git config --global init.defaultBranch trunk")
      .line("mkdir -p /tmp/test")
      .line("cd /tmp/test;");
  for (const auto &row : copy_rows(paths)) {
    script.line(row);
  }
  script.line("[ \"$tarvo_test_user\" = 0:0 ] || chown -R \"$tarvo_test_user\" /tmp/test \"$HOME\"")
      .line("printf '%s\\n' \"pytest runs as uid:gid $tarvo_test_user\"")
      .line(pytest);
  if (target.musl()) {
    script.prepend("apk add --no-cache git;");
  }
  if (target.arch == "riscv64" && target.python == "3.11" && !target.musl()) {
    engine.context().say(process::Said::Detail,
                         "WARNING: python image does not support cp311-manylinux_2_39_riscv64, "
                         "exiting without error\n");
    return;
  }
  if (needs_rust(target)) {
    script.prepend(install_rust(target.libc));
  }

  const auto image = get_python_image(target);
  engine.run_job({.arch = target.arch,
                  .container = {{"--platform=" + get_platform(target.arch)},
                                image,
                                "/bin/sh",
                                script.text(),
                                cache_volume(target)},
                  .starting = fmt::format("Testing wheel {} on {}...", printable(*wheel), image),
                  .finished = "Wheel tests passed",
                  .what = "the wheel test",
                  .register_first = true,
                  // A copy holds the project but for dist/: the wheel comes along.
                  .extra = {*wheel}});
}

} // namespace tarvo::artifacts
