// The container commands on the machine's real docker engine, with the stand-in images that
// scripts/container-images.sh builds under the names tarvo runs. Each project folder belongs to
// an ordinary user (1000:1000), as a developer's would, while tarvo runs as whoever runs the
// tests: the containers see it read-only, and only the products, the owner's, come out.
#include "harness.hpp"

#include "tarvo/container/docker.hpp"
#include "tarvo/process/context.hpp"

#include <algorithm>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

constexpr uid_t OWNER = 1000;

const char *HELLO_HATCHLING = R"([build-system]
requires = ["hatchling"]
build-backend = "hatchling.build"

[project]
name = "hello"
version = "1.0"
requires-python = ">=3.11"

[tool.hatch.build.targets.wheel]
packages = ["hello"]
)";

class Containers : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directory(dir);
    fs::permissions(tmp.path, fs::perms::others_exec, fs::perm_options::add);
    if (run({"docker", "info"}).status != 0) {
      GTEST_SKIP() << "no docker engine";
    }
    // Images of another recipe lack what the scripts expect (ccache, say).
    auto images = run({(source_dir() / "scripts" / "container-images.sh").string(), "--check"});
    ASSERT_EQ(images.status, 0) << images.out;
  }

  // The project's cache volumes go with the test (one project, one set of volumes).
  void TearDown() override {
    if (!fs::exists(dir)) {
      return;
    }
    tarvo::testing::InDir in(dir);
    auto name = tarvo::container::cache_volume({});
    auto prefix = name.substr(0, name.size() - std::string("x86_64-glibc-3.11").size());
    for (const auto &volume : split(run({"docker", "volume", "ls", "--quiet"}).out, '\n')) {
      if (volume.starts_with(prefix)) {
        run({"docker", "volume", "rm", volume});
      }
    }
  }

  // The containers that see this project, running or not.
  std::vector<std::string> containers() {
    auto listed = run({"docker", "ps", "--all", "--format", "{{.Names}}", "--filter",
                       "volume=" + dir.string()})
                      .out;
    std::vector<std::string> out;
    for (const auto &name : split(listed, '\n')) {
      if (!name.empty()) {
        out.push_back(name);
      }
    }
    return out;
  }

  // Waits until a container that sees this project runs; its name.
  std::string wait_for_container() {
    for (int i = 0; i < 1200; ++i) {
      auto running = containers();
      if (!running.empty()) {
        return running.front();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
  }

  // Every entry of the project but .venv and dist/, with its owner, mode and content: what no
  // container run may change.
  std::string snapshot() {
    std::string out;
    std::vector<fs::path> entries;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it) {
      auto name = it->path().lexically_relative(dir).string();
      if (name == ".venv" || name == "dist") {
        it.disable_recursion_pending();
        continue;
      }
      entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    for (const auto &entry : entries) {
      struct stat st {};
      EXPECT_EQ(lstat(entry.c_str(), &st), 0);
      out += fmt::format("{} {}:{} {:o}", entry.lexically_relative(dir).string(), st.st_uid,
                         st.st_gid, st.st_mode);
      if (S_ISREG(st.st_mode)) {
        out += " " + read_file(entry);
      }
      out += "\n";
    }
    return out;
  }

  // Writes the project's files and gives the folder to OWNER.
  void project(const std::map<std::string, std::string> &files) {
    for (const auto &[name, content] : files) {
      write_file(dir / name, content);
    }
    give_to_owner(dir);
  }

  static void give_to_owner(const fs::path &root) {
    ASSERT_EQ(lchown(root.c_str(), OWNER, OWNER), 0);
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
      ASSERT_EQ(lchown(entry.path().c_str(), OWNER, OWNER), 0);
    }
  }

  // Every entry below the folders of the project that are given back belongs to OWNER.
  void expect_owned(const fs::path &root) {
    ASSERT_TRUE(fs::exists(root)) << root;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
      struct stat st {};
      ASSERT_EQ(lstat(it->path().c_str(), &st), 0);
      EXPECT_EQ(st.st_uid, OWNER) << it->path();
    }
  }

  // Nothing in the project but .venv (made by tarvo itself, on the host) belongs to anyone
  // but OWNER.
  void expect_nothing_but_the_venv_is_roots() {
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it) {
      if (it->path().filename() == ".venv") {
        it.disable_recursion_pending();
        continue;
      }
      struct stat st {};
      ASSERT_EQ(lstat(it->path().c_str(), &st), 0);
      EXPECT_EQ(st.st_uid, OWNER) << it->path();
    }
  }

  RunOptions options() {
    RunOptions options{.cwd = dir};
    // The host's .venv installs offline from the wheels the set-up scripts fetched.
    options.env = offline_pip(source_dir() / ".cache" / "wheels");
    return options;
  }

  Output tarvo(const std::vector<std::string> &args) { return run_tarvo(args, options()); }

  TempDir tmp;
  // A blank and a comma in the path, as in many a developer's folder names.
  fs::path dir = tmp.path / "a project, v2";
};

} // namespace

TEST_F(Containers, PureWheelBelongsToTheProjectsOwner) {
  // hatchling first: it leaves neither *.egg-info/ nor build/.
  for (const std::string &pyproject :
       {std::string(HELLO_HATCHLING), setuptools_project("hello")["pyproject.toml"]}) {
    SCOPED_TRACE(pyproject);
    fs::remove_all(dir / "dist");
    project({{"pyproject.toml", pyproject}, {"hello/__init__.py", "NAME = 'hello'\n"}});
    auto r = tarvo({"build", "--wheel"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.ends_with("Manylinux wheel built for x86_64\n")) << r.out;
    EXPECT_EQ(names_in(dir / "dist"), std::vector<std::string>{"hello-1.0-py3-none-any.whl"});
    expect_owned(dir / "dist");
    // What setuptools leaves (*.egg-info/, build/) stays in the container.
    EXPECT_EQ(names_in(dir),
              (std::vector<std::string>{".venv", "dist", "hello", "pyproject.toml"}));
    EXPECT_TRUE(containers().empty());
  }
}

TEST_F(Containers, NativeWheelIsRepairedAndOlderOnesSurvive) {
  const std::string setup_py = R"(from setuptools import Extension, setup

setup(ext_modules=[Extension("cext._speed", ["cext/_speed.c"])])
)";
  const std::string source = R"(#include <Python.h>

static PyObject *twice(PyObject *self, PyObject *arg) {
  return PyNumber_Multiply(arg, PyLong_FromLong(2));
}

static PyMethodDef methods[] = {{"twice", twice, METH_O, NULL}, {NULL, NULL, 0, NULL}};
static struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "_speed", NULL, -1, methods};

PyMODINIT_FUNC PyInit__speed(void) { return PyModule_Create(&module); }
)";
  auto pyproject = [](const std::string &version, const std::string &description) {
    return "[build-system]\nrequires = [\"setuptools>=77\", \"wheel\"]\n"
           "build-backend = \"setuptools.build_meta\"\n\n[project]\nname = \"cext\"\nversion = \"" +
           version + "\"\ndescription = \"cext " + description +
           "\"\n\n[tool.setuptools]\npackages = [\"cext\"]\n";
  };
  // 1.1 twice: the second build, with a new description, must be the wheel that ships. The
  // host's build/ (an editable install's, say) and wheelhouse/ are the user's: never touched.
  for (const std::string version : {"1.0", "1.1", "1.1 again"}) {
    project({{"pyproject.toml", pyproject(version.substr(0, 3), version)},
             {"setup.py", setup_py},
             {"cext/__init__.py", ""},
             {"cext/_speed.c", source},
             {"build/cp311/meson-logs/keep", "editable build"},
             {"wheelhouse/mine.txt", "keep"}});
    auto before = snapshot();
    auto r = tarvo({"build", "--native-wheel"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(snapshot(), before);
  }
  auto wheels = names_in(dir / "dist");
  auto metadata = run({"python3", "-c",
                       "import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).read("
                       "'cext-1.1.dist-info/METADATA').decode())",
                       (dir / "dist" / wheels.at(1)).string()});
  EXPECT_NE(metadata.out.find("Summary: cext 1.1 again\n"), std::string::npos) << metadata.out;
  ASSERT_EQ(wheels.size(), 2u) << ::testing::PrintToString(wheels);
  for (std::size_t i = 0; i < wheels.size(); ++i) {
    EXPECT_TRUE(wheels[i].starts_with(i == 0 ? "cext-1.0-cp311-cp311-" : "cext-1.1-cp311-cp311-"))
        << wheels[i];
    EXPECT_NE(wheels[i].find("manylinux_2_34_x86_64"), std::string::npos) << wheels[i];
    EXPECT_FALSE(wheels[i].ends_with("-linux_x86_64.whl")) << "not repaired: " << wheels[i];
  }
  expect_owned(dir / "dist");
}

// pytest runs as the host runs it, as the project's owner, with a home of its own; root only
// installs the wheel. A project that needs root says so in its set-up.
TEST_F(Containers, WheelTestPassesAndFailsWithTheProjectsTests) {
  auto files = setuptools_project("hello");
  files["tests/test_owner.py"] =
      "import os\n\n\ndef test_runs_as_the_owner():\n"
      "    assert (os.getuid(), os.getgid()) == (1000, 1000)\n"
      "    open(os.path.join(os.environ['HOME'], 'probe'), 'w').close()\n";
  project(files);
  auto built = tarvo({"build", "--wheel"});
  ASSERT_EQ(built.status, 0) << built.out << built.err;

  auto passed = tarvo({"test", "--wheel"});
  EXPECT_EQ(passed.status, 0) << passed.out << passed.err;
  EXPECT_NE(passed.out.find("pytest runs as uid:gid 1000:1000\n"), std::string::npos) << passed.out;
  EXPECT_NE(passed.out.find("test_hello.py::test_double PASSED"), std::string::npos) << passed.out;
  EXPECT_NE(passed.out.find("test_owner.py::test_runs_as_the_owner PASSED"), std::string::npos)
      << passed.out;
  EXPECT_TRUE(passed.out.ends_with("Wheel tests passed\n")) << passed.out;
  auto as_root = tarvo({"test", "--wheel", "--setup", "tarvo_test_user=0:0"});
  EXPECT_EQ(as_root.status, 1);
  EXPECT_NE(as_root.out.find("1 failed, 1 passed"), std::string::npos) << as_root.out;

  write_file(dir / "tests" / "test_broken.py", "def test_broken():\n    assert False\n");
  auto failed = tarvo({"test", "--wheel"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.out.find("1 failed, 2 passed"), std::string::npos) << failed.out;
  EXPECT_EQ(failed.out.find("Wheel tests passed"), std::string::npos);
  EXPECT_TRUE(failed.err.ends_with("]' returned non-zero exit status 1.\n")) << failed.err;
  // Nothing is written into the project.
  EXPECT_EQ(names_in(dir),
            (std::vector<std::string>{".venv", "dist", "hello", "pyproject.toml", "tests"}));
}

TEST_F(Containers, ExecutableRunsOnTheHost) {
  project({{"pyproject.toml", "[project]\nname = \"greet\"\nversion = \"1.0\"\n"},
           {"greet/__init__.py", ""},
           {"greet/__main__.py", "print('hello from greet')\n"}});
  auto r = tarvo({"build", "--executable", "--no-compress"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(r.out.ends_with("Executable built for x86_64\n")) << r.out;
  auto executable = dir / "dist" / "greet-x86_64-cp311-cp311-glibc";
  ASSERT_TRUE(fs::is_regular_file(executable));
  expect_owned(dir / "dist");
  auto ran = run({executable.string()});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.out, "hello from greet\n");
}

// Ctrl-C while the container runs stops it: no container of the run is left, and the project
// is as it was.
TEST_F(Containers, CtrlCStopsTheContainer) {
  auto files = setuptools_project("hello");
  files["dist/hello-1.0-py3-none-any.whl"] = "";
  project(files);
  const auto before = snapshot();
  const std::string setup = "(while :; do date +%s%N >ticker; sleep 0.1; done) &\nsleep 120";
  for (const auto &command : std::vector<std::vector<std::string>>{
           {"build", "--wheel", "--setup", setup}, {"test", "--wheel", "--setup", setup}}) {
    SCOPED_TRACE(command[0]);
    std::vector<std::string> argv = {tarvo_binary().string()};
    argv.insert(argv.end(), command.begin(), command.end());
    auto o = options();
    std::string name;
    o.meanwhile = [&](pid_t, int terminal) {
      name = wait_for_container();
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      ASSERT_EQ(write(terminal, "\x03", 1), 1);
    };
    auto r = run_in_pty(argv, o);
    EXPECT_EQ(r.status, 130) << r.screen << r.err;
    EXPECT_FALSE(name.empty());
    EXPECT_NE(r.err.find("Interrupted: stopped and removed"), std::string::npos) << r.err;
    EXPECT_TRUE(containers().empty());
    EXPECT_EQ(snapshot(), before);
  }
}

// A build's code runs as root in the container (a setup.py, a build backend, a package it
// installs): whatever it does, the project is as it was, the exit status says what happened,
// and the owner can clean. On a mounted project and on a copy.
TEST_F(Containers, HostileBuildLeavesTheProjectAsItWas) {
  auto files = setuptools_project("hello");
  files[".git/hooks/README"] = "hooks";
  project(files);
  struct Case {
    std::string setup;
    int mounted; // tarvo's status with the project mounted (read-only) and on a copy
    int copied;
  };
  const std::vector<Case> cases = {
      // Writes into the project, then ends the shell that would have handed files back.
      {"mkdir -p /src/left; touch /src/rootfile; kill -9 $$", 1, 1},
      {"touch /src/.git/hooks/pre-commit", 1, 0},
      // A daemon with its output closed that keeps writing after the build.
      {"(while :; do touch /src/late-$(date +%s%N) 2>/dev/null; mkdir -p left; sleep 0.05; done) "
       "</dev/null >/dev/null 2>&1 &\nmkdir -p build made.egg-info; chown -R 1234:1234 .",
       0, 0},
  };
  for (const char *copy : {"0", "1"}) {
    for (const auto &c : cases) {
      SCOPED_TRACE(std::string(copy) + ": " + c.setup);
      const auto before = snapshot();
      auto o = options();
      o.env["TARVO_CONTAINER_COPY"] = copy;
      auto r = run_tarvo({"build", "--wheel", "--setup", c.setup}, o);
      const int status = std::string(copy) == "1" ? c.copied : c.mounted;
      EXPECT_EQ(r.status, status) << r.out << r.err;
      EXPECT_EQ(snapshot(), before);
      if (status == 0) {
        EXPECT_EQ(names_in(dir / "dist"), std::vector<std::string>{"hello-1.0-py3-none-any.whl"});
      }
      expect_nothing_but_the_venv_is_roots();
      EXPECT_TRUE(containers().empty());
    }
  }
  // What tarvo run as root made on the host (.venv) went to the owner too, who can clean.
  expect_owned(dir / ".venv");
  auto cleaned = run({"setpriv", "--reuid=1000", "--regid=1000", "--clear-groups",
                      tarvo_binary().string(), "clean"},
                     options());
  EXPECT_EQ(cleaned.status, 0) << cleaned.err;
  EXPECT_EQ(cleaned.out, "Cleaning build artifacts...\nClean complete\n");
  EXPECT_EQ(names_in(dir), (std::vector<std::string>{".git", "hello", "pyproject.toml", "tests"}));
}

// What a build leaves in its products folder reaches dist/ only when it is a wheel of this
// project, as a plain file of the owner's: no setuid bit, holes kept, links and odd names named
// (escaped) and left out. On a mounted project and on a copy.
TEST_F(Containers, OnlyTheProjectsWheelsReachDist) {
  project({{"pyproject.toml", HELLO_HATCHLING}, {"hello/__init__.py", ""}});
  const std::string setup = "cp /bin/true \"$tarvo_out/hello-2.0-py3-none-any.whl\"\n"
                            "chmod 6755 \"$tarvo_out/hello-2.0-py3-none-any.whl\"\n"
                            "truncate -s 256M \"$tarvo_out/hello-3.0-py3-none-any.whl\"\n"
                            "touch \"$tarvo_out/$(printf 'evil\\n\\033]0;title\\a')\"\n"
                            "ln -s /etc/passwd \"$tarvo_out/hello-4.0-py3-none-any.whl\"\n"
                            "touch \"$tarvo_out/other-1.0-py3-none-any.whl\"";
  for (const char *copy : {"0", "1"}) {
    SCOPED_TRACE(copy);
    fs::remove_all(dir / "dist");
    auto o = options();
    o.env["TARVO_CONTAINER_COPY"] = copy;
    auto r = run_tarvo({"build", "--wheel", "--setup", setup}, o);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Not taken into dist/ (tarvo takes only wheels of hello): 'evil\\n"
                         "\\x1b]0;title\\x07', 'hello-4.0-py3-none-any.whl', "
                         "'other-1.0-py3-none-any.whl'\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(names_in(dir / "dist"),
              (std::vector<std::string>{"hello-1.0-py3-none-any.whl", "hello-2.0-py3-none-any.whl",
                                        "hello-3.0-py3-none-any.whl"}));
    struct stat st {};
    ASSERT_EQ(stat((dir / "dist" / "hello-2.0-py3-none-any.whl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07000, 0u);
    ASSERT_EQ(stat((dir / "dist" / "hello-3.0-py3-none-any.whl").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 256LL << 20);
    EXPECT_LT(st.st_blocks, 1024) << "written out whole";
    expect_owned(dir / "dist");
  }
}

// tarvo killed outright while its container runs: the container runs on, and the next command
// in the project removes it, saying so.
TEST_F(Containers, ContainerOfAKilledTarvoIsRemovedByTheNextCommand) {
  project({{"pyproject.toml", HELLO_HATCHLING}, {"hello/__init__.py", ""}});
  auto o = options();
  std::string name;
  o.meanwhile = [&](pid_t tarvo, int) {
    name = wait_for_container();
    kill(tarvo, SIGKILL);
  };
  auto killed = run_tarvo({"build", "--wheel", "--setup", "sleep 120"}, o);
  EXPECT_EQ(killed.status, -SIGKILL);
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(containers(), std::vector<std::string>{name});
  auto cleaned = tarvo({"clean"});
  EXPECT_EQ(cleaned.status, 0) << cleaned.err;
  EXPECT_EQ(cleaned.out, "Removed container " + name +
                             " on engine default: a tarvo that was killed left it behind\n"
                             "Cleaning build artifacts...\nClean complete\n");
  EXPECT_TRUE(containers().empty());
  EXPECT_EQ(names_in(dir), (std::vector<std::string>{"hello", "pyproject.toml"}));
}

// A clean started while a build runs waits for it, then cleans what the build made.
TEST_F(Containers, CleanWaitsForARunningBuild) {
  project({{"pyproject.toml", HELLO_HATCHLING}, {"hello/__init__.py", ""}});
  tarvo::process::CompletedProcess cleaned;
  auto o = options();
  o.meanwhile = [&](pid_t, int) {
    wait_for_container();
    cleaned = tarvo::process::Context().run(
        {tarvo_binary().string(), "-C", dir.string(), "clean"},
        {tarvo::process::Redirect::Capture, tarvo::process::Redirect::Capture});
  };
  auto built = run_tarvo({"build", "--wheel", "--setup", "sleep 2"}, o);
  EXPECT_EQ(built.status, 0) << built.out << built.err;
  EXPECT_EQ(cleaned.returncode, 0) << cleaned.stderr_text.value_or("");
  EXPECT_TRUE(cleaned.stderr_text.value_or("").starts_with(
      "Waiting for another tarvo in this project to finish (pid "))
      << cleaned.stderr_text.value_or("");
  EXPECT_EQ(cleaned.stdout_text, "Cleaning build artifacts...\nClean complete\n");
  EXPECT_FALSE(fs::exists(dir / "dist"));
}

// pluggy's shape: a version the build sets, tests in testing/ with a conftest, pytest in a
// "test" dependency group. The image's pip predates groups; a newer one is handed in as a real
// project would hand in its wheels, and the hints say how when it is not.
TEST_F(Containers, WheelTestOfAPluggyShapedProject) {
  project({{"pyproject.toml", R"([build-system]
requires = ["setuptools>=77"]
build-backend = "setuptools.build_meta"

[project]
name = "plug"
dynamic = ["version"]

[tool.setuptools]
packages = ["plug"]

[tool.setuptools.dynamic]
version = {attr = "plug.__version__"}

[dependency-groups]
test = ["pytest"]
)"},
           {"plug/__init__.py", "__version__ = '1.2'\n\n\ndef double(x):\n    return 2 * x\n"},
           {"testing/conftest.py", "import pytest\n\n\n@pytest.fixture\ndef two():\n"
                                   "    return 2\n"},
           {"testing/test_plug.py", "from plug import double\n\n\ndef test_one(two):\n"
                                    "    assert double(1) == two\n\n\ndef test_two(two):\n"
                                    "    assert double(two) == 4\n"}});
  auto built = tarvo({"build", "--wheel"});
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  ASSERT_EQ(names_in(dir / "dist"), std::vector<std::string>{"plug-1.2-py3-none-any.whl"});

  auto no_pip = tarvo({"test", "--wheel", "testing"});
  EXPECT_EQ(no_pip.status, 1);
  EXPECT_NE(no_pip.err.find("\nHint: no wheel of pip>=25.1 is at hand (no package index here?): "
                            "download it on the host into the project, e.g. into .wheels/ (a "
                            "folder a flat layout does not take for a package), and add "
                            "--setup 'export PIP_FIND_LINKS=\"$PIP_FIND_LINKS /src/.wheels\"'\n"),
            std::string::npos)
      << no_pip.err;

  for (const auto &entry : fs::directory_iterator(source_dir() / ".cache" / "wheels")) {
    if (entry.path().filename().string().starts_with("pip-")) {
      fs::create_directories(dir / ".wheels");
      fs::copy_file(entry.path(), dir / ".wheels" / entry.path().filename());
    }
  }
  give_to_owner(dir / ".wheels");
  const std::string hand_in = "export PIP_FIND_LINKS=\"$PIP_FIND_LINKS /src/.wheels\"";
  auto selected = tarvo({"test", "--wheel", "testing", "--setup", hand_in, "--", "-k", "two"});
  EXPECT_EQ(selected.status, 0) << selected.out << selected.err;
  EXPECT_NE(selected.out.find("testing/test_plug.py::test_two PASSED"), std::string::npos)
      << selected.out;
  EXPECT_NE(selected.out.find("1 passed, 1 deselected"), std::string::npos) << selected.out;
  EXPECT_TRUE(selected.out.ends_with("Wheel tests passed\n")) << selected.out;

  auto one = tarvo({"test", "--wheel", "./testing/test_plug.py::test_one", "--setup", hand_in});
  EXPECT_EQ(one.status, 0) << one.out << one.err;
  EXPECT_NE(one.out.find("testing/test_plug.py::test_one PASSED"), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find("test_two"), std::string::npos) << one.out;

  // Without the group, and no "test" extra either, the wheel is tested alone: pytest is not
  // there, and the hint names both places it may be listed.
  auto pyproject = read_file(dir / "pyproject.toml");
  write_file(dir / "pyproject.toml", pyproject.substr(0, pyproject.find("[dependency-groups]")));
  auto bare = tarvo({"test", "--wheel", "testing"});
  EXPECT_EQ(bare.status, 1);
  EXPECT_NE(bare.err.find("No module named pytest\nHint: pytest is not installed, and the project "
                          "has neither a 'test' extra ([project.optional-dependencies]) nor a "
                          "'test' group ([dependency-groups]): add one that lists pytest\n"),
            std::string::npos)
      << bare.err;
  expect_nothing_but_the_venv_is_roots();
}

// idna's shape: a flit_core backend, whose wheel the image does not have and no index offers.
TEST_F(Containers, BuildWithoutItsBackendsWheelSaysHowToHandItIn) {
  project({{"pyproject.toml", "[build-system]\nrequires = [\"flit_core >=3.11,<5\"]\n"
                              "build-backend = \"flit_core.buildapi\"\n\n[project]\n"
                              "name = \"flitted\"\nversion = \"1.0\"\ndescription = \"x\"\n"},
           {"flitted/__init__.py", ""}});
  auto r = tarvo({"build", "--wheel"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\nHint: no wheel of flit_core<5,>=3.11 is at hand (no package index "
                       "here?): download it on the host into the project, e.g. into .wheels/ (a "
                       "folder a flat layout does not take for a package), and "
                       "add --setup 'export PIP_FIND_LINKS=\"$PIP_FIND_LINKS /src/.wheels\"'\n"
                       "CalledProcessError: "),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir / "dist"));
}

// The build's copy holds the project without .venv, dist/ and build/, but with .git, so a
// version taken from git is the project's (git in the container trusts the copy, the owner's
// files though they are); only the wheel comes back, to the project's owner, and nothing else of
// the run stays in the project. On a mounted project and in copy mode.
TEST_F(Containers, BuildsKeepTheGitVersionAndBringBackOnlyTheWheel) {
  project({{"pyproject.toml", "[build-system]\nrequires = [\"setuptools>=77\", \"wheel\"]\n"
                              "build-backend = \"setuptools.build_meta\"\n\n[project]\n"
                              "name = \"gitv\"\ndynamic = [\"version\"]\n\n[tool.setuptools]\n"
                              "packages = [\"gitv\"]\n"},
           {"setup.py", "import subprocess\nfrom setuptools import setup\n\nsetup(version="
                        "subprocess.check_output(['git', 'describe', '--tags'], text=True)"
                        ".strip().lstrip('v'))\n"},
           {"gitv/__init__.py", ""},
           {"build/stale", "not copied"}});
  auto git = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"git", "-C", dir.string(), "-c", "user.name=T", "-c",
                               "user.email=t@example.invalid", "-c", "safe.directory=*"});
    ASSERT_EQ(run(args).status, 0);
  };
  git({"init", "-q"});
  git({"add", "pyproject.toml", "setup.py", "gitv"});
  git({"commit", "-qm", "one"});
  git({"tag", "v2.5"});
  give_to_owner(dir);
  for (const char *copy : {"0", "1"}) {
    SCOPED_TRACE(copy);
    fs::remove_all(dir / "dist");
    auto o = options();
    o.env["TARVO_CONTAINER_COPY"] = copy;
    auto r = run_tarvo({"build", "--wheel"}, o);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("Copy mode: TARVO_CONTAINER_COPY=1, so the project is copied into the "
                         "container\n") != std::string::npos,
              std::string(copy) == "1")
        << r.out;
    EXPECT_EQ(names_in(dir / "dist"), std::vector<std::string>{"gitv-2.5-py3-none-any.whl"});
    expect_owned(dir / "dist");
    EXPECT_EQ(names_in(dir), (std::vector<std::string>{".git", ".venv", "build", "dist", "gitv",
                                                       "pyproject.toml", "setup.py"}));
    EXPECT_EQ(names_in(dir / "build"), std::vector<std::string>{"stale"});
  }
}

// Code in the build container replaces its products folder with a link, to a path of the host
// or to the folder above: it reaches only the container's own files, and nothing but wheels of
// the project reaches dist/. A dist/ that is a link is refused in copy mode as when mounted.
TEST_F(Containers, ProductsFolderSwappedForALinkTakesNothingFromOutside) {
  TempDir elsewhere;
  const auto outside = elsewhere.path / "outside";
  write_file(outside / "precious", "keep");
  project({{"pyproject.toml", HELLO_HATCHLING}, {"hello/__init__.py", ""}});
  for (const std::string &target : {outside.string(), std::string("..")}) {
    SCOPED_TRACE(target);
    fs::remove_all(dir / "dist");
    auto r = tarvo({"build", "--wheel", "--setup",
                    "mkdir -p " + outside.string() + "; rm -rf \"$tarvo_out\"; ln -s " + target +
                        " \"$tarvo_out\""});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(names_in(dir / "dist"), std::vector<std::string>{"hello-1.0-py3-none-any.whl"});
    EXPECT_EQ(names_in(outside), std::vector<std::string>{"precious"});
    EXPECT_EQ(read_file(outside / "precious"), "keep");
    EXPECT_TRUE(fs::exists(dir / "pyproject.toml"));
  }

  fs::remove_all(dir / "dist");
  fs::create_directory_symlink(outside, dir / "dist");
  auto o = options();
  o.env["TARVO_CONTAINER_COPY"] = "1";
  auto copied = run_tarvo({"build", "--wheel"}, o);
  EXPECT_EQ(copied.status, 1);
  EXPECT_TRUE(copied.err.ends_with("NotADirectoryError: 'dist' is a symbolic link (to '" +
                                   outside.string() +
                                   "'), not a folder of the project: tarvo writes only into real "
                                   "folders of the project\n"))
      << copied.err;
  EXPECT_EQ(names_in(outside), std::vector<std::string>{"precious"});
}

// structlog's shape: pytest configured in pyproject.toml (which functions are tests; without
// it a helper is collected and fails), a root conftest.py, tests in test/, a src layout with
// pythonpath pointing at src, and a "tests" extra. The wheel test sees the configuration as
// the host does, with the host's node ids, and imports the installed wheel, not the source.
TEST_F(Containers, WheelTestSeesThePytestConfigurationButNotTheSource) {
  project(
      {{"pyproject.toml", R"([build-system]
requires = ["hatchling"]
build-backend = "hatchling.build"

[project]
name = "conf"
version = "1.0"

[project.optional-dependencies]
tests = ["pytest"]

[tool.hatch.build.targets.wheel]
packages = ["src/conf"]

[tool.pytest.ini_options]
python_functions = ["should_*"]
pythonpath = ["src"]
)"},
       {"src/conf/__init__.py", "def double(x):\n    return 2 * x\n"},
       {"conftest.py", "import pytest\n\n\n@pytest.fixture\ndef two():\n    return 2\n"},
       {"test/test_conf.py",
        "import conf\n\n\ndef should_double(two):\n    assert conf.double(1) == two\n\n\n"
        "def should_be_the_installed_wheel():\n    assert 'site-packages' in conf.__file__\n\n\n"
        "def test_helper(unknown):\n    raise AssertionError\n"}});
  auto built = tarvo({"build", "--wheel"});
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  auto r = tarvo({"test", "--wheel"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(r.out.starts_with("Test requirements: extra 'tests'\n")) << r.out;
  EXPECT_NE(r.out.find("test/test_conf.py::should_double PASSED"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("test/test_conf.py::should_be_the_installed_wheel PASSED"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" 2 passed"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("Wheel tests passed\n")) << r.out;
  expect_nothing_but_the_venv_is_roots();
}

// deflate's shape: scikit-build-core, which refuses config settings it does not know. Its
// wheels, CMake's and Ninja's are handed in, as a project without a package index would.
TEST_F(Containers, StrictBackendBuildsAWheel) {
  project({{"pyproject.toml", R"([build-system]
requires = ["scikit-build-core"]
build-backend = "scikit_build_core.build"

[project]
name = "strict"
version = "1.0"
)"},
           {"CMakeLists.txt", "cmake_minimum_required(VERSION 3.15)\n"
                              "project(${SKBUILD_PROJECT_NAME} LANGUAGES NONE)\n"},
           {"src/strict/__init__.py", "NAME = 'strict'\n"}});
  fs::create_directories(dir / ".wheels");
  for (const auto &entry : fs::directory_iterator(source_dir() / ".cache" / "wheels")) {
    const auto name = entry.path().filename().string();
    for (const char *wanted : {"scikit_build_core-", "cmake-", "ninja-", "pathspec-", "packaging-",
                               "pip-", "build-", "pyproject_hooks-"}) {
      if (name.starts_with(wanted)) {
        fs::copy_file(entry.path(), dir / ".wheels" / name);
      }
    }
  }
  give_to_owner(dir / ".wheels");
  auto r = tarvo(
      {"build", "--wheel", "--setup", "export PIP_FIND_LINKS=\"$PIP_FIND_LINKS /src/.wheels\""});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto wheels = names_in(dir / "dist");
  ASSERT_EQ(wheels.size(), 1u) << ::testing::PrintToString(wheels);
  EXPECT_TRUE(wheels[0].starts_with("strict-1.0-")) << wheels[0];
  expect_owned(dir / "dist");
}
