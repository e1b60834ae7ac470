#include "tarvo/artifacts/wheel_test.hpp"

#include "tarvo/artifacts/find_wheel.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/error.hpp"
#include "tarvo/repr.hpp"

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

} // namespace

std::string install_rust(Libc libc) {
  if (libc == Libc::Musl) {
    return "apk add --no-cache gcc musl-dev python3-dev libffi-dev openssl-dev cargo pkgconfig;";
  }
  return "apt-get update;DEBIAN_FRONTEND=\"noninteractive\" apt-get install -y rustc cargo;";
}

void test_manylinux_wheel(const Target &target, const std::optional<std::string> &setup) {
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

  Script script;
  script.line("")
      .line("cd /src")
      .line(setup.value_or(""))
      // The wheel and its extra are one word: unquoted, [test] would be a pattern.
      .line(fmt::format("pip install   --root-user-action=ignore   --extra-index-url=\"{}\"   "
                        "{}",
                        EXTRA_INDEX_URL, double_quoted(*wheel + "[test]")))
      .line(fmt::format("git config --global user.email '{}'", TEST_GIT_EMAIL))
      .line("git config --global user.name \"Test Runner\"")
      .line("git config --global init.defaultBranch trunk")
      .line("mkdir -p /tmp/test")
      .line("cd /tmp/test;")
      .line("cp -r /src/tests .")
      .line("python -m pytest -vv tests");
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
