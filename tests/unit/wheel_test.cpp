// The wheel search, and the wheel build and test run against a recording launcher: the docker
// probe, the emulator registration and the container run, with the exact scripts.
#include "tarvo/artifacts/wheel_test.hpp"
#include "tarvo/artifacts/find_wheel.hpp"
#include "tarvo/artifacts/step_hints.hpp"
#include "tarvo/artifacts/wheel_build.hpp"

#include "container_calls.hpp"
#include "harness.hpp"
#include "recording_launcher.hpp"
#include "tarvo/container/docker.hpp"

#include "tarvo/repr.hpp"

#include <gtest/gtest.h>

namespace {

using namespace tarvo::artifacts;
using tarvo::container::Libc;
using tarvo::project::missing_pytest_hint;
using tarvo::project::TestRequirements;
using namespace tarvo::testing;
using tarvo::container::host_machine;
using tarvo::container::Target;
using Command = std::vector<std::string>;
namespace fs = std::filesystem;

const Command PROBE = {"docker", "--version"};
const Command REGISTRATION = {"docker",    "run",         "--privileged",
                              "--rm",      "--name=NAME", "tonistiigi/binfmt",
                              "--install", "all"};

// A target of another architecture than this machine's, so that emulators are registered.
std::string foreign_arch() { return host_machine() == "aarch64" ? "x86_64" : "aarch64"; }

// Runs an operation in an empty project folder with docker answered by the recorder.
class ContainerSteps : public ::testing::Test {
protected:
  struct Outcome {
    std::string out;
    std::string err;
    std::string error; // "Kind: message", "exit N", or empty
  };

  Outcome run(const std::function<void()> &operation) {
    tarvo::process::UseLauncher use(docker);
    Outcome outcome;
    std::tie(outcome.out, outcome.err) = capture_output([&] {
      try {
        operation();
      } catch (const tarvo::Error &e) {
        outcome.error = error_line(e);
      } catch (const tarvo::ExitStatus &e) {
        outcome.error = "exit " + std::to_string(e.code);
      }
    });
    return outcome;
  }

  // The container run as it must be, its names and prelude written as normal() writes them.
  Command container(const std::vector<std::string> &options, const std::string &image,
                    const std::string &shell, const std::string &script,
                    const std::string &cache = "tarvo-cache-x86_64-glibc-3.11") {
    Command argv = {"docker",
                    "run",
                    "--rm",
                    "--name=NAME",
                    "--init",
                    "--env=TINI_KILL_PROCESS_GROUP=1",
                    "--volume=" + mount,
                    "--volume=" + cache + ":/root/.cache"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {image, shell, "-ec", "PRELUDE" + script});
    return argv;
  }

  std::vector<Command> commands() {
    std::vector<Command> out;
    for (const auto &call : docker.commands()) {
      out.push_back(normal(call));
    }
    return out;
  }

  // The last command's image, its script (after the prelude) and its platform option.
  std::string image() { return docker.commands().back().end()[-4]; }
  std::string script() { return script_body(docker.commands().back().back()); }
  std::string platform() { return docker.commands().back()[8]; }

  TempDir dir;
  InDir in{dir.path};
  std::string mount = dir.path.string() + ":/src";
  RecordingLauncher docker;
};

const std::string PURE_BUILD = R"(
set -e
manylinux-interpreters ensure "cp311-cp311"
PATH="/opt/python/cp311-cp311/bin:$PATH"
cd /src

)" + step_hints() + R"(
rm -rf build/
tarvo_step python -m pip install   --upgrade   --extra-index-url="https://www.piwheels.org/simple"   build
tarvo_step python -m build --wheel --outdir=/tmp/tarvo-wheels/built --config-setting=build_with_nuitka=false

cp /tmp/tarvo-wheels/built/*.whl "$tarvo_out/"
rm -rf wheelhouse/
)";

TEST_F(ContainerSteps, PureWheelBuild) {
  auto host = host_machine();
  std::string script = PURE_BUILD;
  for (std::size_t at; (at = script.find("x86_64")) != std::string::npos;) {
    script.replace(at, 6, host);
  }
  std::vector<std::string> names;
  for (const std::optional<std::string> &setup : {std::optional<std::string>(), {""}}) {
    auto outcome = run([&] { build_manylinux_wheel(false, {host, Libc::Glibc, "3.11"}, setup); });
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.out, "Building manylinux wheel for " + host +
                               " (glibc) with Python 3.11...\n"
                               "Manylinux wheel built for " +
                               host + "\n");
    EXPECT_EQ(outcome.err, "");
    auto run = container({}, "quay.io/pypa/manylinux_2_34_" + host + ":latest", "/bin/bash", script,
                         "tarvo-cache-" + host + "-glibc-3.11");
    EXPECT_EQ(commands().end()[-2], PROBE);
    EXPECT_EQ(commands().back(), run);
    names.push_back(docker.commands().back()[3]);
    // The run's marker and products folder are gone with it, and dist/, made for it, too.
    EXPECT_EQ(fs::directory_iterator(dir.path), fs::directory_iterator());
  }
  // Each run has a name of its own, by which an interrupt stops and removes its container.
  EXPECT_NE(names[0], names[1]);
  const auto call = docker.calls().back();
  // The build's output goes straight to the terminal.
  EXPECT_EQ(call.options.stdout_mode, tarvo::process::Redirect::Inherit);
  EXPECT_EQ(call.options.stderr_mode, tarvo::process::Redirect::Inherit);
  EXPECT_FALSE(call.options.tidy_up);
}

TEST_F(ContainerSteps, NativeWheelBuildForAForeignArchitecture) {
  auto arch = foreign_arch();
  auto outcome = run([&] {
    build_manylinux_wheel(true, {arch, Libc::Glibc, "3.12"}, "echo one\necho two");
  });
  EXPECT_EQ(outcome.error, "");
  const std::string script =
      "\nset -e\nmanylinux-interpreters ensure \"cp312-cp312\"\n"
      "PATH=\"/opt/python/cp312-cp312/bin:$PATH\"\ncd /src\n"
      "echo one\necho two\n" +
      step_hints() +
      "\nrm -rf build/\n"
      "tarvo_step python -m pip install   --upgrade   --extra-index-url=\""
      "https://www.piwheels.org/simple\"   build\n"
      "tarvo_step python -m build --wheel --outdir=/tmp/tarvo-wheels/built \n"
      "auditwheel repair --wheel-dir=/tmp/tarvo-wheels/repaired "
      "/tmp/tarvo-wheels/built/*_" +
      arch +
      ".whl\n"
      "cp /tmp/tarvo-wheels/repaired/*.whl \"$tarvo_out/\"\n"
      "rm -rf wheelhouse/\n";
  EXPECT_EQ(commands(),
            (std::vector<Command>{PROBE, REGISTRATION,
                                  container({}, "quay.io/pypa/manylinux_2_34_" + arch + ":latest",
                                            "/bin/bash", script,
                                            "tarvo-cache-" + arch + "-glibc-3.12")}));
}

TEST_F(ContainerSteps, BuildImagesFollowTheCLibrary) {
  for (const auto &[libc, image] : std::vector<std::pair<Libc, std::string>>{
           {Libc::Musl, "musllinux_1_2_armv7l"}, {Libc::Glibc, "manylinux_2_35_armv7l"}}) {
    run([&] { build_manylinux_wheel(false, {"armv7l", libc, "3.11"}, std::nullopt); });
    EXPECT_EQ(this->image(), "quay.io/pypa/" + image + ":latest");
  }
}

// An architecture from the command line is spliced into the script as one inert word, and the
// globs around it still match; the cache volume's name keeps only what a name may hold.
TEST_F(ContainerSteps, HostileArchitectureRunsNothing) {
  run([&] { build_manylinux_wheel(true, {"x;id", Libc::Glibc, "3.11$(id)"}, std::nullopt); });
  const auto script = this->script();
  for (const std::string line : {"manylinux-interpreters ensure 'cp311$(id)-cp311$(id)'\n",
                                 "PATH=/opt/python/'cp311$(id)-cp311$(id)'/bin:\"$PATH\"\n",
                                 "auditwheel repair --wheel-dir=/tmp/tarvo-wheels/repaired "
                                 "/tmp/tarvo-wheels/built/*_'x;id'.whl\n"}) {
    EXPECT_NE(script.find(line), std::string::npos) << line << script;
  }
  EXPECT_EQ(docker.commands().back()[7], "--volume=tarvo-cache-x_id-glibc-3.11__id_:/root/.cache");
}

TEST_F(ContainerSteps, WithoutDockerNothingRuns) {
  docker.answer = [](const Command &) -> RecordingLauncher::Answer {
    throw tarvo::os_error(ENOENT, "docker");
  };
  for (const auto &operation :
       std::vector<std::function<void()>>{[] { build_manylinux_wheel(false, {}, std::nullopt); },
                                          [] { test_manylinux_wheel({}, std::nullopt); }}) {
    auto outcome = run(operation);
    EXPECT_EQ(outcome.error, "exit 1");
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "Error: Docker is not available\n");
  }
  EXPECT_EQ(docker.commands(), (std::vector<Command>{PROBE, PROBE}));
}

// The last line names the command, but not the script, in under 200 characters.
TEST_F(ContainerSteps, FailingContainerEndsWithCalledProcessError) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  docker.answer = [](const Command &args) {
    return RecordingLauncher::Answer{args[1] == "run" ? 3 : 0};
  };
  auto build = run([] { build_manylinux_wheel(false, {host_machine()}, std::nullopt); });
  EXPECT_EQ(build.error,
            "CalledProcessError: Command '['docker', 'run', '[options]', "
            "'quay.io/pypa/manylinux_2_34_" +
                host_machine() +
                ":latest', '/bin/bash', '-ec', '<script: --verbose shows it>']' returned "
                "non-zero exit status 3.");
  EXPECT_LT(build.error.size(), 200u);
  EXPECT_EQ(build.out.find("built for"), std::string::npos);
  auto test = run([] {
    test_manylinux_wheel({host_machine(), Libc::Glibc, std::string(300, '9')}, std::nullopt);
  });
  EXPECT_TRUE(test.error.starts_with("CalledProcessError: Command '['docker', 'run', "
                                     "'[options]', 'python:9999"))
      << test.error;
  EXPECT_LT(test.error.size(), 200u);
  EXPECT_EQ(test.out.find("Wheel tests passed"), std::string::npos);
}

// The wheel test's script for a project with a "test" extra, the tests folder and no words
// for pytest.
const std::string WHEEL_TEST = R"(
cd /src

)" + step_hints(missing_pytest_hint(TestRequirements::Extra)) +
                               R"(

tarvo_step pip install   --root-user-action=ignore   --extra-index-url="https://www.piwheels.org/simple"   "dist/pkg-1.0-py3-none-any.whl[test]"
git config --global user.email 'test-runner@tarvo.invalid'
git config --global user.name "Test Runner"
git config --global init.defaultBranch trunk
mkdir -p /tmp/test
cd /tmp/test;
cp -r /src/tests .
tarvo_step python -m pytest -vv tests
)";

TEST_F(ContainerSteps, WheelTestOnTheHostArchitecture) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  auto host = host_machine();
  auto outcome = run([&] { test_manylinux_wheel({host, Libc::Glibc, "3.11"}, ""); });
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.out, "Testing wheel dist/pkg-1.0-py3-none-any.whl on python:3.11...\n"
                         "Wheel tests passed\n");
  EXPECT_EQ(commands(), (std::vector<Command>{
                            PROBE, container({"--platform=linux/" + host}, "python:3.11", "/bin/sh",
                                             WHEEL_TEST, "tarvo-cache-" + host + "-glibc-3.11")}));
  // The wheel test has no products: its prelude makes no folder for them.
  EXPECT_EQ(docker.commands().back().back().find("tarvo_out"), std::string::npos);
}

// The path names what is copied out of the project (its top folder, or a file at the top) and
// what pytest runs; the words for pytest follow it, each one word for the shell.
TEST_F(ContainerSteps, WheelTestRunsThePathWithPytestsWords) {
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
      test_manylinux_wheel({host_machine()}, std::nullopt,
                           {.path = c.path, .pytest_args = c.words});
    });
    EXPECT_EQ(outcome.error, "");
    EXPECT_TRUE(script().ends_with("mkdir -p /tmp/test\ncd /tmp/test;\n" + c.copy +
                                   "\ntarvo_step " + c.pytest + "\n"))
        << script();
  }
}

TEST_F(ContainerSteps, WheelTestPathMustBeInTheProject) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  for (const std::string path : {"/etc", "../other", "tests/../../x", ".", "::test_a"}) {
    auto outcome =
        run([&] { test_manylinux_wheel({host_machine()}, std::nullopt, {.path = path}); });
    EXPECT_EQ(outcome.error, "ValueError: test --wheel takes a test file, folder or node id "
                             "inside the project, got " +
                                 tarvo::repr(path));
  }
  auto missing = run([&] {
    test_manylinux_wheel({host_machine()}, std::nullopt, {.path = "testing/test_a.py::test_b"});
  });
  EXPECT_EQ(missing.error,
            "FileNotFoundError: [Errno 2] No such file or directory: 'testing/test_a.py'");
  EXPECT_EQ(docker.commands(), std::vector<Command>(6, PROBE));
}

// A "test" group is installed from the project's pyproject.toml by a pip that knows groups;
// with neither extra nor group, the wheel alone, and the hint for a missing pytest says so.
TEST_F(ContainerSteps, WheelTestInstallsWhatTheTestsNeed) {
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  const std::string install = "tarvo_step pip install   --root-user-action=ignore   "
                              "--extra-index-url=\"https://www.piwheels.org/simple\"   "
                              "\"dist/pkg-1.0-py3-none-any.whl\"";
  for (const auto &[requirements, rows] : std::vector<std::pair<TestRequirements, std::string>>{
           {TestRequirements::Group,
            "tarvo_step pip install --root-user-action=ignore \"pip>=25.1\"\n" + install +
                " --group /src/pyproject.toml:test\n"},
           {TestRequirements::Neither, "\n" + install + "\n"},
           {TestRequirements::Unseen, "\n" + install.substr(0, install.size() - 1) + "[test]\"\n"},
       }) {
    run([&] {
      test_manylinux_wheel({host_machine()}, std::nullopt, {.requirements = requirements});
    });
    const auto script = this->script();
    const auto hints = step_hints(missing_pytest_hint(requirements));
    EXPECT_NE(script.find(hints + "\n" + rows + "git config"), std::string::npos) << script;
  }
}

// Which targets build the test tools with Rust, and what is in front of the script then.
TEST_F(ContainerSteps, WheelTestPreparesTheTarget) {
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
    auto outcome = run([&] { test_manylinux_wheel(c.target, std::nullopt); });
    EXPECT_EQ(outcome.error, "");
    const auto commands = this->commands();
    EXPECT_EQ(image(), c.image);
    EXPECT_EQ(platform(), "--platform=" + c.platform);
    auto script = this->script();
    EXPECT_EQ(script.substr(0, script.find('\n')), c.first_line);
    EXPECT_EQ(commands[commands.size() - 2],
              c.target.arch == host_machine() ? PROBE : REGISTRATION);
  }
}

TEST_F(ContainerSteps, WheelSearchComesFirstAndRiscv64WithPython311OnGlibcStops) {
  Target riscv{"riscv64", Libc::Glibc, "3.11"};
  auto none = run([&] { test_manylinux_wheel(riscv, std::nullopt); });
  EXPECT_EQ(none.error, "FileNotFoundError: Error: No wheel found for architecture riscv64");
  write_file("dist/pkg-1.0-py3-none-any.whl", "");
  auto stopped = run([&] { test_manylinux_wheel(riscv, std::nullopt); });
  EXPECT_EQ(stopped.error, "");
  EXPECT_EQ(stopped.out, "");
  EXPECT_EQ(stopped.err, "WARNING: python image does not support cp311-manylinux_2_39_riscv64, "
                         "exiting without error\n");
  EXPECT_EQ(docker.commands(), (std::vector<Command>{PROBE, PROBE}));
}

TEST_F(ContainerSteps, WheelhouseIsSearchedBeforeDist) {
  write_file("dist/pkg-1.0-cp311-cp311-manylinux_2_34_x86_64.whl", "");
  write_file("wheelhouse/other-1.0-cp311-cp311-manylinux_2_34_aarch64.whl", "");
  auto outcome = run([] { test_manylinux_wheel({"x86_64"}, std::nullopt); });
  EXPECT_NE(outcome.out.find("Testing wheel wheelhouse/other-1.0-cp311-cp311-manylinux_2_34_"
                             "aarch64.whl on python:3.11..."),
            std::string::npos);
}

class FindWheelTest : public ::testing::Test {
protected:
  std::string dist(const std::vector<std::string> &names) {
    for (const auto &name : names) {
      write_file(dir_.path / "dist" / name, "");
    }
    return (dir_.path / "dist").string();
  }
  // The entries in the order the folder lists them.
  std::vector<std::string> listing(const std::string &directory) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(directory)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  TempDir dir_;
};

TEST_F(FindWheelTest, NothingWithoutAWheel) {
  EXPECT_EQ(find_wheel((dir_.path / "missing").string(), "x86_64"), std::nullopt);
  fs::create_directory(dir_.path / "dist");
  EXPECT_EQ(find_wheel((dir_.path / "dist").string(), "x86_64"), std::nullopt);
  auto directory = dist({".hidden_x86_64.whl", ".hidden.whl", "pkg.whl.txt", "notes"});
  EXPECT_EQ(find_wheel(directory, "x86_64"), std::nullopt);
  write_file(dir_.path / "file", "");
  EXPECT_EQ(find_wheel((dir_.path / "file").string(), "x86_64"), std::nullopt);
}

TEST_F(FindWheelTest, PrefersTheArchitectureThenAnyWheelInListingOrder) {
  // Made first and last, so that one lists before the others in either creation order.
  std::vector<std::string> names = {"pkg-1.0-py3-none-any.whl"};
  for (int i = 0; i < 20; ++i) {
    names.push_back("pkg-" + std::to_string(i) + "-manylinux_2_34_aarch64.whl");
  }
  names.push_back("pkg-2.0-py3-none-any.whl");
  auto directory = dist(names);
  auto aarch64 = listing(directory);
  std::erase_if(aarch64,
                [](const auto &name) { return name.find("none-any") != std::string::npos; });
  EXPECT_EQ(find_wheel(directory, "aarch64"), directory + "/" + aarch64.front());
  // No x86_64 wheel: the first wheel of any kind.
  EXPECT_EQ(find_wheel(directory, "x86_64"), directory + "/" + listing(directory).front());
}

TEST_F(FindWheelTest, RelativeFolderGivesRelativePath) {
  dist({"pkg-1.0-py3-none-any.whl"});
  InDir in(dir_.path);
  EXPECT_EQ(find_wheel("dist", "x86_64"), "dist/pkg-1.0-py3-none-any.whl");
}

} // namespace
