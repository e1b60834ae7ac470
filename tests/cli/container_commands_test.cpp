// test --wheel and build --wheel/--native-wheel/--executable through the built binary with the
// stand-in docker, which records each call: the order of the calls and the command's endings.
#include "harness.hpp"

#include <gtest/gtest.h>
#include <regex>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

class ContainerCommands : public ::testing::Test {
protected:
  ContainerCommands() {
    write_file(tmp.path / "pyproject.toml", "[project]\nname = 'demo'\nversion = '1.0'\n");
    fs::create_directories(tmp.path / "tests");
  }

  RunOptions options(bool docker = true) {
    RunOptions o{.cwd = tmp.path};
    // Without docker: a search path of the stand-in interpreters and what they use.
    auto bin = aux.path / "bin";
    if (!fs::exists(bin)) {
      fs::create_directories(bin);
      for (const char *stub : {"python", "pip"}) {
        fs::create_symlink(stubs_dir() / stub, bin / stub);
      }
      // Where the system keeps them: /bin, or /usr/bin (macOS's dirname).
      for (const char *tool : {"sh", "mkdir", "cp", "dirname"}) {
        auto found = run({"sh", "-c", "command -v \"$0\"", tool}).out;
        fs::create_symlink(found.substr(0, found.find('\n')), bin / tool);
      }
    }
    o.env = {{"PATH", docker ? path_with(stubs_dir()) : bin.string()}, {"STUB_LOG", log.string()}};
    return o;
  }

  // The docker calls, each as its first line ("docker run --rm ..." up to the script's first
  // line), with the names of the run (container, marker) written NAME.
  std::vector<std::string> docker_calls() {
    std::vector<std::string> out;
    for (const auto &line : take_lines(log)) {
      if (line.starts_with((stubs_dir() / "docker").string())) {
        out.push_back(
            std::regex_replace(std::regex_replace(line.substr(stubs_dir().string().size() + 1),
                                                  std::regex("tarvo-[0-9a-f]{16}"), "NAME"),
                               std::regex("tarvo-cache-.*-[0-9a-f]{8}-"), "tarvo-cache-"));
      }
    }
    return out;
  }

  // The start of each container run, up to the script's first line.
  static std::string container(const std::string &options) {
    return "docker run --name=NAME --init --env=TINI_KILL_PROCESS_GROUP=1 " + options +
           " -ec [ -e /src/.NAME ] || exit 213";
  }

  TempDir tmp;
  TempDir aux;
  fs::path log = aux.path / "calls";
};

} // namespace

const std::string ENGINE_QUERY = "docker version --format {{.Server.Arch}}";

TEST_F(ContainerCommands, BuildRunsThePureThenTheNativeWheelThenTheExecutable) {
  auto r = run_tarvo({"build", "--executable", "--native-wheel", "--wheel"}, options());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.ends_with("Installing build tools...\n"
                              "Building manylinux wheel for x86_64 (glibc) with Python 3.11...\n"
                              "Manylinux wheel built for x86_64\n"
                              "Building manylinux wheel for x86_64 (glibc) with Python 3.11...\n"
                              "Manylinux wheel built for x86_64\n"
                              "Building executables for x86_64 (glibc) with Python 3.11...\n"
                              "Executable built for x86_64\n"))
      << r.out;
  auto calls = docker_calls();
  ASSERT_EQ(calls.size(), 11u);
  auto mount = tmp.path.string() + ":/src:ro";
  EXPECT_EQ(calls[0], "docker --version");
  // The engine is asked for its architecture once.
  EXPECT_EQ(calls[1], ENGINE_QUERY);
  EXPECT_EQ(calls[2], container("--volume=" + mount +
                                " --volume=tarvo-cache-x86_64-glibc-3.11:/root/.cache "
                                "quay.io/pypa/manylinux_2_34_x86_64:latest /bin/bash"));
  // Each run's products are taken from the ended container, which is then removed.
  EXPECT_EQ(calls[3], "docker cp NAME:/tarvo/out/. -");
  EXPECT_EQ(calls[4], "docker rm --force --volumes NAME");
  // The client is asked once for the command.
  EXPECT_EQ(calls[5], calls[2]);
  EXPECT_EQ(calls[8], container("--volume=" + mount +
                                " --volume=tarvo-cache-x86_64-glibc-3.11:/root/.cache "
                                "--platform=linux/x86_64 python:3.11 /bin/sh"));
}

// Emulators are registered for a target other than the engine's architecture, whatever the
// client's machine: here a client that uname shows as i686.
TEST_F(ContainerCommands, TheEnginesArchitectureDecidesEmulation) {
  auto o = options();
  if (run({"setarch", "i686", "true"}, o).status != 0) {
    GTEST_SKIP() << "setarch i686 does not run here";
  }
  o.env["STUB_ENGINE_ARCH"] = "amd64";
  auto native = run({"setarch", "i686", tarvo_binary().string(), "build", "--native-wheel"}, o);
  EXPECT_EQ(native.status, 0) << native.err;
  EXPECT_EQ(native.out.find("Registering"), std::string::npos) << native.out;
  auto calls = docker_calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[1], ENGINE_QUERY);

  fs::remove(log);
  o.env["STUB_ENGINE_ARCH"] = "arm64";
  auto foreign = run_tarvo({"build", "--native-wheel"}, o);
  EXPECT_EQ(foreign.status, 0) << foreign.err;
  EXPECT_NE(foreign.out.find("Registering emulators: the docker engine runs aarch64, the target "
                             "is x86_64\n"),
            std::string::npos)
      << foreign.out;
  calls = docker_calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[1], ENGINE_QUERY);
  EXPECT_EQ(calls[2], "docker run --privileged --rm --name=NAME tonistiigi/binfmt --install all");
}

// Lists of targets: every combination once, the pure wheel once, a foreign architecture emulated
// (said once), each target building in a container copy of its own, the table in the order
// given, with what each delivered.
TEST_F(ContainerCommands, TargetListsMakeAFarm) {
  auto o = options();
  o.env["STUB_ENGINE_INFO"] = "x86_64 4";
  o.env["DOCKER_HOST"] = std::nullopt;
  o.env["DOCKER_CONTEXT"] = std::nullopt;
  auto r = run_tarvo({"--no-sync", "build", "--wheel", "--native-wheel", "--arch", "x86_64,aarch64",
                      "--python", "3.11, 3.12,3.11"},
                     o);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("\nPure wheel: built once, for x86_64 glibc 3.11; it serves every target\n"
                       "5 targets on 1 engine: default (x86_64, 4 at a time)\n"
                       "No engine runs aarch64: its targets are emulated\n"),
            std::string::npos)
      << r.out;
  const auto table =
      std::regex_replace(r.out.substr(r.out.find("Target ")), std::regex("[0-9]+\\.[0-9] s"), "T");
  EXPECT_EQ(table,
            "Target                           Engine   Result                          Time\n"
            "wheel x86_64 glibc 3.11          default  dist/demo-1.0-py3-none-any.whl  T\n"
            "native wheel x86_64 glibc 3.11   default  dist/demo-1.0-py3-none-any.whl  T\n"
            "native wheel x86_64 glibc 3.12   default  dist/demo-1.0-py3-none-any.whl  T\n"
            "native wheel aarch64 glibc 3.11  default  dist/demo-1.0-py3-none-any.whl  T\n"
            "native wheel aarch64 glibc 3.12  default  dist/demo-1.0-py3-none-any.whl  T\n");
  auto calls = docker_calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(),
                       "docker run --privileged --rm --name=NAME tonistiigi/binfmt --install all"),
            2);
  EXPECT_EQ(
      std::count_if(calls.begin(), calls.end(),
                    [](const std::string &call) { return call.starts_with("docker run --name="); }),
      5);
}

TEST_F(ContainerCommands, WheelTestNeedsNeitherEnvironmentNorConfiguration) {
  fs::remove(tmp.path / "pyproject.toml");
  write_file(tmp.path / "dist" / "demo-1.0-py3-none-any.whl", "");
  auto r = run_tarvo({"test", "--wheel", "--libc", "musl", "--python", "3.12"}, options());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Test requirements: extra 'test' (pyproject.toml does not list the extras)\n"
                   "Testing wheel dist/demo-1.0-py3-none-any.whl on python:3.12-alpine...\n"
                   "Wheel tests passed\n");
  EXPECT_FALSE(fs::exists(tmp.path / ".venv"));
  auto calls = docker_calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[3], "docker rm --force --volumes NAME");
  EXPECT_EQ(calls[2], container("--volume=" + tmp.path.string() +
                                ":/src:ro --volume=tarvo-cache-x86_64-musl-3.12:/root/.cache "
                                "--platform=linux/x86_64 python:3.12-alpine /bin/sh"));
}

TEST_F(ContainerCommands, EndingsWithoutDockerWheelOrSuccess) {
  auto none = run_tarvo({"test", "--wheel"}, options(false));
  EXPECT_EQ(none.status, 1);
  const std::string chosen =
      "Test requirements: none found (no extra, and no group, named test, tests or testing)\n";
  EXPECT_EQ(none.out, chosen);
  EXPECT_EQ(none.err, "Error: Docker is not available\n");

  auto built = run_tarvo({"build", "--wheel"}, options(false));
  EXPECT_EQ(built.status, 1);
  EXPECT_EQ(built.err, "Error: Docker is not available\n");
  EXPECT_EQ(built.out.find("Building manylinux"), std::string::npos);

  auto nowheel = run_tarvo({"test", "--wheel"}, options());
  EXPECT_EQ(nowheel.status, 1);
  EXPECT_EQ(nowheel.err, "FileNotFoundError: Error: No wheel found for architecture x86_64\n");
  EXPECT_EQ(docker_calls(), std::vector<std::string>{"docker --version"});

  // A failing container: its output as it came, then the error; no closing line.
  write_file(tmp.path / "dist" / "demo-1.0-py3-none-any.whl", "");
  auto o = options();
  o.env["STUB_FAIL"] = "pytest";
  auto failed = run_tarvo({"test", "--wheel"}, o);
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, chosen + "Testing wheel dist/demo-1.0-py3-none-any.whl on python:3.11...\n"
                                 "stub out\n");
  EXPECT_TRUE(failed.err.starts_with("stub err\nCalledProcessError: Command '['docker', 'run'"))
      << failed.err;
  EXPECT_TRUE(failed.err.ends_with("]' returned non-zero exit status 1.\n")) << failed.err;
}

// What the project's files decide for the wheel test: the tests in the path given, a "test"
// group where there is no "test" extra, and nothing at all without a tests folder.
TEST_F(ContainerCommands, WheelTestTakesPathWordsAndTheTestGroup) {
  write_file(tmp.path / "pyproject.toml", "[project]\nname = 'demo'\ndynamic = ['version']\n"
                                          "[dependency-groups]\nTest = ['pytest']\n");
  write_file(tmp.path / "dist" / "demo-1.0-py3-none-any.whl", "");
  fs::create_directories(tmp.path / "testing");
  auto r = run_tarvo({"test", "--wheel", "testing", "--", "-k", "one two"}, options());
  EXPECT_EQ(r.status, 0) << r.err;
  auto script = read_file(log);
  for (const std::string row :
       {"\ntarvo_step pip install --root-user-action=ignore \"pip>=25.1\"\n",
        "\"dist/demo-1.0-py3-none-any.whl\" --group /src/pyproject.toml:Test\n",
        "\ncp -r /src/testing .\n",
        "\ntarvo_step tarvo_as \"$tarvo_test_user\" python -m pytest -vv testing -k 'one two'\n"}) {
    EXPECT_NE(script.find(row), std::string::npos) << row << script;
  }

  fs::remove_all(tmp.path / "tests");
  fs::remove(log);
  auto none = run_tarvo({"test", "--wheel"}, options());
  EXPECT_EQ(none.status, 5) << none.err;
  EXPECT_EQ(none.out, "No tests folder, so no tests ran: put them in tests/ (or test/), name "
                      "their folder in pytest's testpaths, or run tarvo test PATH\n");
  EXPECT_FALSE(fs::exists(log));
}
