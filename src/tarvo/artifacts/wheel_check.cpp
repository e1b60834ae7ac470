#include "tarvo/artifacts/wheel_check.hpp"

#include "tarvo/artifacts/find_wheel.hpp"
#include "tarvo/artifacts/step_hints.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/error.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/repr.hpp"

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

// The path's top folder (or file), which is copied out of the project, and the words pytest
// gets: the path as written, without a leading "./", or "tests" when none is given.
struct TestsPath {
  std::string top;
  std::string argument;
};

TestsPath tests_path(const std::optional<std::string> &given) {
  if (!given) {
    return {"tests", "tests"};
  }
  // A node id names its file before the first "::".
  const auto separator = given->find("::");
  const std::filesystem::path file = given->substr(0, separator);
  const auto normal = file.lexically_normal();
  const auto top = normal.empty() ? std::filesystem::path() : *normal.begin();
  if (file.is_absolute() || top.empty() || top == "." || top == "..") {
    throw Error(ErrorKind::ValueError,
                "test --wheel takes a test file, folder or node id inside the project, got " +
                    repr(*given));
  }
  if (!files::exists(file)) {
    throw os_error(ENOENT, file);
  }
  auto argument = normal.string();
  if (argument.ends_with('/')) {
    argument.pop_back();
  }
  if (separator != std::string::npos) {
    argument += given->substr(separator);
  }
  return {top.string(), argument};
}

// The row that installs the wheel and what its tests need.
std::string install_row(const std::string &wheel, project::TestRequirements requirements) {
  using project::TestRequirements;
  std::string row =
      fmt::format("{}pip install   --root-user-action=ignore   --extra-index-url=\"{}\"   ", STEP,
                  EXTRA_INDEX_URL);
  switch (requirements) {
  case TestRequirements::Extra:
  case TestRequirements::Unseen:
    // The wheel and its extra are one word: unquoted, [test] would be a pattern.
    return row + double_quoted(wheel + "[test]");
  case TestRequirements::Group:
    return row + double_quoted(wheel) + " --group /src/pyproject.toml:test";
  case TestRequirements::Neither:
    break;
  }
  return row + double_quoted(wheel);
}

} // namespace

std::string install_rust(Libc libc) {
  if (libc == Libc::Musl) {
    return "apk add --no-cache gcc musl-dev python3-dev libffi-dev openssl-dev cargo pkgconfig;";
  }
  return "apt-get update;DEBIAN_FRONTEND=\"noninteractive\" apt-get install -y rustc cargo;";
}

void test_manylinux_wheel(const Target &target, const std::optional<std::string> &setup,
                          const WheelTests &tests) {
  require_docker();
  std::optional<std::string> wheel;
  for (const char *directory : {"wheelhouse", "dist"}) {
    if ((wheel = find_wheel(directory, target.arch))) {
      break;
    }
  }
  if (!wheel) {
    throw Error(ErrorKind::FileNotFoundError,
                "Error: No wheel found for architecture " + target.arch);
  }

  const auto path = tests_path(tests.path);
  const bool group = tests.requirements == project::TestRequirements::Group;
  std::string pytest = std::string(STEP) + "python -m pytest -vv " + shell_word(path.argument);
  for (const auto &word : tests.pytest_args) {
    pytest += " " + shell_word(word);
  }
  Script script;
  script.line("")
      .line("cd /src")
      .line(setup.value_or(""))
      .line(step_hints(project::missing_pytest_hint(tests.requirements)))
      // Dependency groups need pip 25.1; an older pip in the image is upgraded first.
      .line_if(group, std::string(STEP) + "pip install --root-user-action=ignore \"pip>=25.1\"")
      .line(install_row(*wheel, tests.requirements))
      .line(fmt::format("git config --global user.email '{}'", TEST_GIT_EMAIL))
      .line("git config --global user.name \"Test Runner\"")
      .line("git config --global init.defaultBranch trunk")
      .line("mkdir -p /tmp/test")
      .line("cd /tmp/test;")
      .line("cp -r /src/" + shell_word(path.top) + " .")
      .line(pytest);
  if (target.musl()) {
    script.prepend("apk add --no-cache git;");
  }
  if (target.arch == "riscv64" && target.python == "3.11" && !target.musl()) {
    console::err("WARNING: python image does not support cp311-manylinux_2_39_riscv64, exiting "
                 "without error\n");
    return;
  }
  if (needs_rust(target)) {
    script.prepend(install_rust(target.libc));
  }

  const auto image = get_python_image(target);
  run_job({.arch = target.arch,
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
