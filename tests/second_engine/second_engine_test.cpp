// The container commands on a second docker engine that cannot see the project folder, as a
// remote engine cannot (second-engine.sh starts it, with the stand-in images): through
// DOCKER_HOST and through a docker context. Nothing may report success without the product on
// the user's disk, an old copy of the project at the same path on the engine's side is never
// built from, and Ctrl-C leaves no container there.
#include "harness.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

constexpr uid_t OWNER = 1000;

std::string host_arch() {
  auto out = run({"uname", "-m"}).out;
  return out.substr(0, out.find('\n'));
}

const std::string COPY_LINE = "Copy mode: the docker engine does not see this project folder, so "
                              "the project is copied into the container\n";

class SecondEngine : public ::testing::Test {
protected:
  void SetUp() override {
    const char *dir = std::getenv("TARVO_SECOND_ENGINE");
    if (dir == nullptr || !fs::exists(fs::path(dir) / "pid") ||
        run({"docker", "-H", host(dir), "info"}).status != 0) {
      GTEST_SKIP() << "no second engine (tests/second_engine/second-engine.sh start)";
    }
    engine = dir;
    std::string templ = (engine / "projects" / "p-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    project = templ;
    fs::permissions(project, fs::perms::others_exec, fs::perm_options::add);
  }

  void TearDown() override {
    if (!project.empty()) {
      std::error_code ignored;
      fs::remove_all(project, ignored);
    }
  }

  static std::string host(const fs::path &dir) {
    return "unix://" + (dir / "docker.sock").string();
  }

  // Writes the project's files and gives the folder to OWNER, as a developer's would be.
  void files(const std::map<std::string, std::string> &files) {
    for (const auto &[name, content] : files) {
      write_file(project / name, content);
    }
    ASSERT_EQ(lchown(project.c_str(), OWNER, OWNER), 0);
    for (const auto &entry : fs::recursive_directory_iterator(project)) {
      ASSERT_EQ(lchown(entry.path().c_str(), OWNER, OWNER), 0);
    }
  }

  // tarvo with the engine named by DOCKER_HOST, or by a docker context in a configuration of
  // its own.
  RunOptions options(bool context = false) {
    RunOptions o{.cwd = project};
    o.env = offline_pip(source_dir() / ".cache" / "wheels");
    if (context) {
      auto config = engine / "config";
      if (!fs::exists(config / "config.json")) {
        RunOptions c;
        c.env = {{"DOCKER_CONFIG", config.string()}, {"DOCKER_HOST", std::nullopt}};
        run({"docker", "context", "rm", "--force", "second"}, c);
        EXPECT_EQ(
            run({"docker", "context", "create", "second", "--docker", "host=" + host(engine)}, c)
                .status,
            0);
        EXPECT_EQ(run({"docker", "context", "use", "second"}, c).status, 0);
      }
      o.env["DOCKER_CONFIG"] = config.string();
      o.env["DOCKER_HOST"] = std::nullopt;
    } else {
      o.env["DOCKER_HOST"] = host(engine);
    }
    o.env["TARVO_CONTAINER_COPY"] = std::nullopt;
    return o;
  }

  void expect_owned(const fs::path &path) {
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_uid, OWNER) << path;
  }

  // The engine's containers, by name.
  std::string containers() {
    return run({"docker", "-H", host(engine), "ps", "--all", "--quiet", "--filter", "name=tarvo-"})
        .out;
  }

  // Types Ctrl-C once the engine lists a container of the run and its set-up has had time to
  // start.
  std::function<void(pid_t, int)> ctrl_c_once_running() {
    return [this](pid_t, int terminal) {
      for (int i = 0; i < 1200 && containers().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      std::this_thread::sleep_for(std::chrono::seconds(3));
      ASSERT_EQ(write(terminal, "\x03", 1), 1);
    };
  }

  // Whether the stand-in manylinux image has a second interpreter, Python 3.9.
  static bool has_cp39() {
    return run({"docker", "--context", "default", "run", "--rm",
                "quay.io/pypa/manylinux_2_34_" + host_arch() + ":latest", "test", "-d",
                "/opt/python/cp39-cp39"})
               .status == 0;
  }

  // tarvo with both engines as its farm: the main one and this one.
  RunOptions farm_options() {
    auto o = options();
    o.env["DOCKER_HOST"] = std::nullopt;
    o.env["TARVO_ENGINES"] = "default," + host(engine);
    return o;
  }

  fs::path engine;
  fs::path project;
};

} // namespace

// A pure wheel through DOCKER_HOST comes back to the user's dist/, owned by the project's
// owner; the wheel test then runs on a copy and brings nothing back.
TEST_F(SecondEngine, WheelAndWheelTestThroughDockerHost) {
  files(setuptools_project("hello"));
  auto built = run_tarvo({"build", "--wheel"}, options());
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  EXPECT_NE(built.out.find(COPY_LINE), std::string::npos) << built.out;
  EXPECT_TRUE(built.out.ends_with("Manylinux wheel built for x86_64\n")) << built.out;
  EXPECT_EQ(names_in(project / "dist"), std::vector<std::string>{"hello-1.0-py3-none-any.whl"});
  expect_owned(project / "dist" / "hello-1.0-py3-none-any.whl");
  // Only the products come back: no build/, no egg-info, no marker.
  const std::vector<std::string> listing = {".venv", "dist", "hello", "pyproject.toml", "tests"};
  EXPECT_EQ(names_in(project), listing);

  auto tested = run_tarvo({"test", "--wheel"}, options());
  EXPECT_EQ(tested.status, 0) << tested.out << tested.err;
  EXPECT_NE(tested.out.find("test_hello.py::test_double PASSED"), std::string::npos) << tested.out;
  EXPECT_TRUE(tested.out.ends_with("Wheel tests passed\n")) << tested.out;
  EXPECT_EQ(names_in(project), listing);
  EXPECT_EQ(names_in(project / "dist"), std::vector<std::string>{"hello-1.0-py3-none-any.whl"});
  EXPECT_EQ(containers(), "");
}

// The small C extension that native wheels are built of.
const std::map<std::string, std::string> CEXT = {
    {"pyproject.toml", "[build-system]\nrequires = [\"setuptools>=77\", \"wheel\"]\n"
                       "build-backend = \"setuptools.build_meta\"\n\n[project]\n"
                       "name = \"cext\"\nversion = \"1.0\"\n\n[tool.setuptools]\n"
                       "packages = [\"cext\"]\n"},
    {"setup.py", "from setuptools import Extension, setup\n\n"
                 "setup(ext_modules=[Extension(\"cext._speed\", [\"cext/_speed.c\"])])\n"},
    {"cext/__init__.py", ""},
    {"cext/_speed.c", "#include <Python.h>\n\nstatic struct PyModuleDef module = "
                      "{PyModuleDef_HEAD_INIT, \"_speed\", NULL, -1, NULL};\n\n"
                      "PyMODINIT_FUNC PyInit__speed(void) { return PyModule_Create(&module); "
                      "}\n"}};

// A native wheel through a docker context.
TEST_F(SecondEngine, NativeWheelThroughAContext) {
  files(CEXT);
  auto built = run_tarvo({"build", "--native-wheel"}, options(true));
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  EXPECT_NE(built.out.find(COPY_LINE), std::string::npos) << built.out;
  auto wheels = names_in(project / "dist");
  ASSERT_EQ(wheels.size(), 1u);
  EXPECT_TRUE(wheels[0].starts_with("cext-1.0-cp311-cp311-")) << wheels[0];
  EXPECT_NE(wheels[0].find("manylinux_2_34_x86_64"), std::string::npos) << wheels[0];
  expect_owned(project / "dist" / wheels[0]);
  EXPECT_EQ(containers(), "");
}

// The executable through a docker context: built on the engine, run here.
TEST_F(SecondEngine, ExecutableThroughAContext) {
  files({{"pyproject.toml", "[project]\nname = \"greet\"\nversion = \"1.0\"\n"},
         {"greet/__init__.py", ""},
         {"greet/__main__.py", "print('hello from greet')\n"}});
  auto built = run_tarvo({"build", "--executable", "--no-compress"}, options(true));
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  EXPECT_NE(built.out.find(COPY_LINE), std::string::npos) << built.out;
  auto executable = project / "dist" / "greet-x86_64-cp311-cp311-glibc";
  expect_owned(executable);
  EXPECT_EQ(names_in(project / "dist"), std::vector<std::string>{executable.filename()});
  auto ran = run({executable.string()});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.out, "hello from greet\n");
  EXPECT_EQ(containers(), "");
}

// The engine's machine has an old copy of the project at the same path. With copying
// forbidden the build fails and says why; otherwise it runs on a copy of the user's project.
// The old copy is never built from or written to.
TEST_F(SecondEngine, OldCopyAtTheSamePathIsNeverBuiltFrom) {
  files(setuptools_project("hello"));
  // The old copy, put where only the engine sees it (its mount namespace).
  auto pid = read_file(engine / "pid");
  pid.erase(pid.find_last_not_of('\n') + 1);
  auto old = engine / "old-copy";
  fs::remove_all(old);
  fs::copy(project, old, fs::copy_options::recursive);
  ASSERT_EQ(run({"nsenter", "--target", pid, "--mount", "cp", "-a", old.string() + "/.",
                 project.string()})
                .status,
            0);
  auto in_old = [&](const std::string &path) {
    return run({"nsenter", "--target", pid, "--mount", "ls", "-A", (project / path).string()}).out;
  };
  ASSERT_NE(in_old("").find("pyproject.toml"), std::string::npos);

  auto o = options();
  o.env["TARVO_CONTAINER_COPY"] = "0";
  auto refused = run_tarvo({"build", "--wheel"}, o);
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(refused.err.ends_with("RuntimeError: The docker engine does not see this project "
                                    "folder (a remote engine?), and TARVO_CONTAINER_COPY=0 "
                                    "forbids copying the project in\n"))
      << refused.err;
  EXPECT_EQ(refused.out.find("built for"), std::string::npos);
  EXPECT_EQ(in_old("dist"), "");
  EXPECT_FALSE(fs::exists(project / "dist" / "hello-1.0-py3-none-any.whl"));

  auto built = run_tarvo({"build", "--wheel"}, options());
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  EXPECT_NE(built.out.find(COPY_LINE), std::string::npos) << built.out;
  EXPECT_TRUE(fs::exists(project / "dist" / "hello-1.0-py3-none-any.whl"));
  EXPECT_EQ(in_old("dist"), "");
  EXPECT_EQ(in_old("").find(".tarvo-"), std::string::npos);
  EXPECT_EQ(containers(), "");
}

// Ctrl-C while the container runs on the engine: tarvo stops and removes it there, says so,
// and nothing reaches the project.
TEST_F(SecondEngine, CtrlCLeavesNoContainer) {
  files(setuptools_project("hello"));
  auto o = options();
  o.meanwhile = ctrl_c_once_running();
  auto r = run_in_pty({tarvo_binary().string(), "build", "--wheel", "--setup", "sleep 120"}, o);
  EXPECT_EQ(r.status, 130) << r.screen << r.err;
  EXPECT_NE(r.err.find("Interrupted: stopped and removed the wheel build (container tarvo-"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("nothing was written to the project\n"), std::string::npos) << r.err;
  EXPECT_EQ(containers(), "");
  EXPECT_EQ(names_in(project),
            (std::vector<std::string>{".venv", "hello", "pyproject.toml", "tests"}));
}

// The farm: two Python versions at once, one on each engine, both wheels in the user's dist/,
// the project as it was but for them, no container left on either engine.
TEST_F(SecondEngine, FarmBuildsTwoPythonsOnTwoEngines) {
  if (!has_cp39()) {
    GTEST_SKIP() << "the stand-in manylinux image has no cp39-cp39 (scripts/container-images.sh)";
  }
  files(CEXT);
  auto built = run_tarvo({"build", "--native-wheel", "--python", "3.11,3.9"}, farm_options());
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  const auto second = host(engine);
  EXPECT_NE(built.out.find("2 targets on 2 engines: default (" + host_arch() + ", "),
            std::string::npos)
      << built.out;
  // One per engine: the second target goes to the engine with a place free and nothing to do.
  const std::regex rows("\n" + host_arch() +
                        " glibc 3\\.11 +default +dist/cext-1\\.0-cp311-cp311-"
                        "[^ ]+\\.whl +[0-9.]+ s\n" +
                        host_arch() + " glibc 3\\.9 +" + second +
                        " +dist/cext-1\\.0-cp39-cp39-[^ ]+\\.whl");
  EXPECT_TRUE(std::regex_search(built.out, rows)) << built.out;
  auto wheels = names_in(project / "dist");
  ASSERT_EQ(wheels.size(), 2u) << built.out;
  EXPECT_TRUE(wheels[0].starts_with("cext-1.0-cp311-cp311-manylinux")) << wheels[0];
  EXPECT_TRUE(wheels[1].starts_with("cext-1.0-cp39-cp39-manylinux")) << wheels[1];
  for (const auto &wheel : wheels) {
    expect_owned(project / "dist" / wheel);
  }
  // Each target built on a copy: no build/ or egg-info here, no marker.
  EXPECT_EQ(names_in(project),
            (std::vector<std::string>{".venv", "cext", "dist", "pyproject.toml", "setup.py"}));
  EXPECT_EQ(containers(), "");
}

// A target that fails (no such interpreter in the image) fails the command and says which; the
// other's wheel is kept.
TEST_F(SecondEngine, FarmKeepsTheWheelOfTheTargetThatSucceeded) {
  files(CEXT);
  auto built = run_tarvo({"build", "--native-wheel", "--python", "3.11,3.12"}, farm_options());
  EXPECT_EQ(built.status, 1) << built.out << built.err;
  EXPECT_NE(built.out.find(" glibc 3.12  " + host(engine) +
                           "  status 1: no interpreter cp312-cp312 in this image"),
            std::string::npos)
      << built.out;
  EXPECT_NE(built.out.find("\nOutput of " + host_arch() + " glibc 3.12 on " + host(engine) + ":\n"),
            std::string::npos)
      << built.out;
  EXPECT_TRUE(built.err.ends_with("Error: 1 of 2 targets failed: " + host_arch() + " glibc 3.12\n"))
      << built.err;
  auto wheels = names_in(project / "dist");
  ASSERT_EQ(wheels.size(), 1u) << built.out;
  EXPECT_TRUE(wheels[0].starts_with("cext-1.0-cp311-cp311-manylinux")) << wheels[0];
  EXPECT_EQ(containers(), "");
}

// Ctrl-C while both targets run, one on each engine, shown live: every container on both
// engines is stopped and removed, each target says so naming its engine, and nothing reaches
// dist/.
TEST_F(SecondEngine, FarmCtrlCLeavesNoContainerOnEitherEngine) {
  if (!has_cp39()) {
    GTEST_SKIP() << "the stand-in manylinux image has no cp39-cp39 (scripts/container-images.sh)";
  }
  files(setuptools_project("hello"));
  auto o = farm_options();
  // Both targets start at once; the main engine's containers may be other tests' too.
  o.meanwhile = ctrl_c_once_running();
  auto r = run_in_pty({tarvo_binary().string(), "build", "--native-wheel", "--python", "3.11,3.9",
                       "--setup", "sleep 120"},
                      o);
  EXPECT_EQ(r.status, 130) << r.screen << r.err;
  EXPECT_NE(r.screen.find(host_arch() + " glibc 3.11  default  "), std::string::npos) << r.screen;
  for (const auto &[python, engine_name] : std::vector<std::pair<std::string, std::string>>{
           {"3.11", "default"}, {"3.9", host(engine)}}) {
    EXPECT_NE(r.err.find(host_arch() + " glibc " + python + " on " + engine_name +
                         ": Interrupted: stopped and removed the wheel build (container tarvo-"),
              std::string::npos)
        << engine_name << "\n"
        << r.err;
  }
  // The containers the last words name are gone from both engines.
  std::smatch found;
  std::vector<std::string> named;
  for (auto from = r.err.cbegin();
       std::regex_search(from, r.err.cend(), found, std::regex("container (tarvo-[0-9a-f]{16})"));
       from = found.suffix().first) {
    named.push_back(found[1]);
  }
  EXPECT_EQ(named.size(), 2u) << r.err;
  for (const auto &name : named) {
    for (const auto &argv : {std::vector<std::string>{"docker", "--context", "default"},
                             std::vector<std::string>{"docker", "-H", host(engine)}}) {
      auto listed = argv;
      listed.insert(listed.end(), {"ps", "--all", "--quiet", "--filter", "name=" + name});
      EXPECT_EQ(run(listed).out, "") << name;
    }
  }
  EXPECT_EQ(containers(), "");
  EXPECT_EQ(names_in(project),
            (std::vector<std::string>{".venv", "hello", "pyproject.toml", "tests"}));
}
