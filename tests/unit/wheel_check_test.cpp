// The test of a built wheel against a recording launcher: the wheel it picks, what it installs,
// the path and pytest's words it runs, with the exact scripts.
#include "tarvo/artifacts/step_hints.hpp"
#include "tarvo/artifacts/wheel_check.hpp"

#include "container_steps.hpp"

#include "tarvo/repr.hpp"

#include <fmt/format.h>
#include <unistd.h>

namespace {

using namespace tarvo::artifacts;
using namespace tarvo::testing;
using tarvo::container::host_machine;
using tarvo::container::Libc;
using tarvo::container::Target;
using tarvo::project::missing_pytest_hint;
using tarvo::project::TestRequirements;
using tarvo::project::TestSource;

class WheelCheck : public ContainerSteps {};

TEST_F(WheelCheck, WithoutDockerNothingRuns) {
  docker.answer = [](const Command &) -> RecordingLauncher::Answer {
    throw tarvo::os_error(ENOENT, "docker");
  };
  auto outcome = run([&] { test_manylinux_wheel(engine, {}, std::nullopt); });
  EXPECT_EQ(outcome.error, "exit 1");
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "Error: Docker is not available\n");
  EXPECT_EQ(docker.commands(), (std::vector<Command>{PROBE}));
}

// The last line names the command, but not the script, in under 200 characters.
TEST_F(WheelCheck, FailingContainerEndsWithCalledProcessError) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  docker.answer = [](const Command &args) {
    return RecordingLauncher::Answer{args[1] == "run" ? 3 : 0};
  };
  auto test = run([&] {
    test_manylinux_wheel(engine, {host_machine(), Libc::Glibc, std::string(300, '9')},
                         std::nullopt);
  });
  EXPECT_TRUE(test.error.starts_with("CalledProcessError: Command '['docker', 'run', "
                                     "'[options]', 'python:9999"))
      << test.error;
  EXPECT_LT(test.error.size(), 200u);
  EXPECT_EQ(test.out.find("Wheel tests passed"), std::string::npos);
}

// The end of every wheel test's script: the tests are handed to the project's owner, who runs
// pytest.
const std::string AS_OWNER =
    R"([ "$tarvo_test_user" = 0:0 ] || chown -R "$tarvo_test_user" /tmp/test "$HOME"
printf '%s\n' "pytest runs as uid:gid $tarvo_test_user"
tarvo_step tarvo_as "$tarvo_test_user" )";

// The wheel test's script for a project with a "test" extra, the tests folder and no words
// for pytest; RUN_AS stands for the function that runs pytest as the owner (its real use is
// tried on the engine).
std::string wheel_test() {
  return fmt::format("\ncd /src\ntarvo_test_user={}:{}\n\nRUN_AS\n", getuid(), getgid()) +
         step_hints(missing_pytest_hint({TestSource::Extra})) + R"(

tarvo_step pip install   --root-user-action=ignore   --extra-index-url="https://www.piwheels.org/simple"   "dist/pkg-1.0-py3-none-any.whl[test]"
export HOME=/tmp/test-home
mkdir -p "$HOME"
git config --global user.email 'test-runner@tarvo.invalid'
git config --global user.name "Test Runner"
git config --global init.defaultBranch trunk
mkdir -p /tmp/test
cd /tmp/test;
cp -r /src/tests .
)" + AS_OWNER +
         "python -m pytest -vv tests\n";
}

// The script with its run-as function written RUN_AS.
std::string without_run_as(std::string script) {
  const auto start = script.find("tarvo_as() {\n");
  const auto end = script.find("\n}\n", start);
  if (start != std::string::npos && end != std::string::npos) {
    script.replace(start, end + 2 - start, "RUN_AS");
  }
  return script;
}

TEST_F(WheelCheck, WheelTestOnTheHostArchitecture) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  auto host = host_machine();
  auto outcome = run([&] { test_manylinux_wheel(engine, {host, Libc::Glibc, "3.11"}, ""); });
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.out, "Testing wheel dist/pkg-1.0-py3-none-any.whl on python:3.11...\n"
                         "Wheel tests passed\n");
  auto calls = commands();
  calls[1].back() = without_run_as(calls[1].back());
  EXPECT_EQ(calls,
            (std::vector<Command>{PROBE,
                                  container({"--platform=linux/" + host}, "python:3.11", "/bin/sh",
                                            wheel_test(), "tarvo-cache-" + host + "-glibc-3.11"),
                                  REMOVE}));
  // The wheel test has no products: it runs on the project itself, read-only, with no copy.
  bool copies = true;
  script_body(last_run().back(), &copies);
  EXPECT_FALSE(copies);
}

// The path names what is copied out of the project (its top folder, or a file at the top) and
// what pytest runs; the words for pytest follow it, each one word for the shell.
TEST_F(WheelCheck, WheelTestRunsThePathWithPytestsWords) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  write_file("testing/unit/test_a.py", "");
  write_file("test_top.py", "");
  struct Case {
    std::string path;
    std::vector<std::string> words;
    std::string copy;
    std::string pytest;
  };
  for (const auto &c : std::vector<Case>{
           {"testing", {}, "cp -r /src/testing .", "python -m pytest -vv testing"},
           {"./testing/unit/",
            {"-k", "slow or fast", "-x"},
            "cp -r /src/testing .",
            "python -m pytest -vv testing/unit -k 'slow or fast' -x"},
           {"testing/unit/test_a.py::test_b[1-$x]",
            {},
            "cp -r /src/testing .",
            "python -m pytest -vv 'testing/unit/test_a.py::test_b[1-$x]'"},
           {"test_top.py",
            {"--lf"},
            "cp -r /src/test_top.py .",
            "python -m pytest -vv test_top.py --lf"},
       }) {
    SCOPED_TRACE(c.path);
    auto outcome = run([&] {
      test_manylinux_wheel(engine, {host_machine()}, std::nullopt,
                           {.paths = {c.path}, .pytest_args = c.words});
    });
    EXPECT_EQ(outcome.error, "");
    EXPECT_TRUE(script().ends_with("mkdir -p /tmp/test\ncd /tmp/test;\n" + c.copy + "\n" +
                                   AS_OWNER + c.pytest + "\n"))
        << script();
  }
}

// What pytest reads before it collects comes along, at the same places, so that it picks the
// same configuration, rootdir and node ids: the configuration files and conftest.py from the
// project down to the tests. Tests inside the package come alone, never the package.
TEST_F(WheelCheck, WheelTestBringsThePytestConfigurationButNotThePackage) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  for (const char *file :
       {"pyproject.toml", "tox.ini", "conftest.py", "test/test_a.py", "test/conftest.py",
        "src/pkg/__init__.py", "src/pkg/conftest.py", "src/pkg/tests/test_b.py"}) {
    write_file(file, "");
  }
  run([&] {
    test_manylinux_wheel(engine, {host_machine()}, std::nullopt,
                         {.paths = {"test", "src/pkg/tests/test_b.py::test_c"}});
  });
  EXPECT_TRUE(script().ends_with(R"(cd /tmp/test;
cp /src/pyproject.toml .
cp /src/tox.ini .
cp /src/conftest.py .
mkdir -p src/pkg
cp /src/src/pkg/conftest.py src/pkg/
cp -r /src/test .
mkdir -p src/pkg/tests
cp -r /src/src/pkg/tests/test_b.py src/pkg/tests/
)" + AS_OWNER + "python -m pytest -vv test src/pkg/tests/test_b.py::test_c\n"))
      << script();
}

TEST_F(WheelCheck, WheelTestPathMustBeInTheProject) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  for (const std::string path : {"/etc", "../other", "tests/../../x", ".", "::test_a"}) {
    auto outcome = run(
        [&] { test_manylinux_wheel(engine, {host_machine()}, std::nullopt, {.paths = {path}}); });
    EXPECT_EQ(outcome.error, "ValueError: test --wheel takes a test file, folder or node id "
                             "inside the project, got " +
                                 tarvo::repr(path));
  }
  auto missing = run([&] {
    test_manylinux_wheel(engine, {host_machine()}, std::nullopt,
                         {.paths = {"testing/test_a.py::test_b"}});
  });
  EXPECT_EQ(missing.error,
            "FileNotFoundError: [Errno 2] No such file or directory: 'testing/test_a.py'");
  // The client is asked once for the command: its first job.
  EXPECT_EQ(docker.commands(), (std::vector<Command>{PROBE}));
}

// A "test" group is installed from the project's pyproject.toml by a pip that knows groups;
// with neither extra nor group, the wheel alone, and the hint for a missing pytest says so.
TEST_F(WheelCheck, WheelTestInstallsWhatTheTestsNeed) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  const std::string install = "tarvo_step pip install   --root-user-action=ignore   "
                              "--extra-index-url=\"https://www.piwheels.org/simple\"   "
                              "\"dist/pkg-1.0-py3-none-any.whl\"";
  for (const auto &[requirements, rows] : std::vector<std::pair<TestRequirements, std::string>>{
           {{TestSource::Group, "tests"},
            "tarvo_step pip install --root-user-action=ignore \"pip>=25.1\"\n" + install +
                " --group /src/pyproject.toml:tests\n"},
           {{TestSource::Extra, "testing"},
            "\n" + install.substr(0, install.size() - 1) + "[testing]\"\n"},
           {{TestSource::PoetryGroup, "dev", {"pytest<8,>=7.2", "pyyaml==6.0 ; extra == \"x\""}},
            "\n" + install + " 'pytest<8,>=7.2' 'pyyaml==6.0 ; extra == \"x\"'\n"},
           {{TestSource::None}, "\n" + install + "\n"},
           {{TestSource::Unseen}, "\n" + install.substr(0, install.size() - 1) + "[test]\"\n"},
       }) {
    run([&] {
      test_manylinux_wheel(engine, {host_machine()}, std::nullopt, {.requirements = requirements});
    });
    const auto script = this->script();
    const auto hints = step_hints(missing_pytest_hint(requirements));
    EXPECT_NE(script.find(hints + "\n" + rows + "export HOME=/tmp/test-home\n"), std::string::npos)
        << script;
  }
}

// Which targets build the test tools with Rust, and what is in front of the script then.
TEST_F(WheelCheck, WheelTestPreparesTheTarget) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  const std::string apt_rust =
      "apt-get update;DEBIAN_FRONTEND=\"noninteractive\" apt-get install -y rustc cargo;";
  const std::string apk_rust =
      "apk add --no-cache gcc musl-dev python3-dev libffi-dev openssl-dev cargo pkgconfig;";
  const std::string git = "apk add --no-cache git;";
  struct Case {
    Target target;
    std::string first_line;
    std::string image;
    std::string platform;
  };
  for (const auto &c : std::vector<Case>{
           {{"armv7l", Libc::Musl, "3.11"}, apk_rust + git, "python:3.11-alpine", "linux/arm/v7"},
           {{"armv7l", Libc::Glibc, "3.11"}, "", "python:3.11", "linux/arm/v7"},
           {{"aarch64", Libc::Musl, "3.11"}, git, "python:3.11-alpine", "linux/aarch64"},
           {{"i686", Libc::Glibc, "3.11"}, apt_rust, "python:3.11", "linux/386"},
           {{"s390x", Libc::Musl, "3.11"}, apk_rust + git, "python:3.11-alpine", "linux/s390x"},
           {{"riscv64", Libc::Glibc, "3.12"}, apt_rust, "python:3.12", "linux/riscv64"},
           {{"ppc64le", Libc::Glibc, "3.11"}, "", "python:3.11", "linux/ppc64le"},
       }) {
    SCOPED_TRACE(c.target.arch + " " + std::string(tarvo::container::name(c.target.libc)));
    auto outcome = run([&] { test_manylinux_wheel(engine, c.target, std::nullopt); });
    EXPECT_EQ(outcome.error, "");
    const auto commands = this->commands();
    EXPECT_EQ(image(), c.image);
    EXPECT_EQ(platform(), "--platform=" + c.platform);
    auto script = this->script();
    EXPECT_EQ(script.substr(0, script.find('\n')), c.first_line);
    EXPECT_EQ(commands[commands.size() - 3],
              c.target.arch == host_machine() ? PROBE : REGISTRATION);
  }
}

TEST_F(WheelCheck, WheelSearchComesFirstAndRiscv64WithPython311OnGlibcStops) {
  Target riscv{"riscv64", Libc::Glibc, "3.11"};
  auto none = run([&] { test_manylinux_wheel(engine, riscv, std::nullopt); });
  EXPECT_EQ(none.error, "FileNotFoundError: Error: No wheel found for architecture riscv64");
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  auto stopped = run([&] { test_manylinux_wheel(engine, riscv, std::nullopt); });
  EXPECT_EQ(stopped.error, "");
  EXPECT_EQ(stopped.out, "");
  EXPECT_EQ(stopped.err, "WARNING: python image does not support cp311-manylinux_2_39_riscv64, "
                         "exiting without error\n");
  EXPECT_EQ(docker.commands(), (std::vector<Command>{PROBE}));
}

TEST_F(WheelCheck, WheelhouseIsSearchedBeforeDist) {
  write_file("dist/pkg-1.0-cp311-cp311-manylinux_2_34_x86_64.whl", "");
  write_file("wheelhouse/other-1.0-cp311-cp311-manylinux_2_34_aarch64.whl", "");
  auto outcome = run([&] { test_manylinux_wheel(engine, {"x86_64"}, std::nullopt); });
  EXPECT_NE(outcome.out.find("Testing wheel wheelhouse/other-1.0-cp311-cp311-manylinux_2_34_"
                             "aarch64.whl on python:3.11..."),
            std::string::npos);
}

} // namespace
