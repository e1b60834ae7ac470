// requirements, status, test, build and publish with stand-in python, pip and docker programs.
#include "harness.hpp"

#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

class EnvironmentCommands : public testing::Test {
protected:
  void SetUp() override {
    write_file(tmp.path / "pyproject.toml",
               "[project]\nname = 'demo'\nversion = '1.0'\n"
               "[project.optional-dependencies]\nweb = []\ntest = []\nC = []\n");
    fs::create_directories(tmp.path / "tests");
  }

  RunOptions options(std::map<std::string, std::optional<std::string>> extra = {}) {
    RunOptions o{.cwd = tmp.path};
    o.env = {{"PATH", path_with(stubs_dir())}, {"STUB_LOG", log.string()}};
    for (auto &[k, v] : extra) {
      o.env[k] = v;
    }
    return o;
  }

  // The logged argument vectors, with the environment's folder written as VENV.
  std::string calls() {
    if (!fs::exists(log)) {
      return "";
    }
    std::string text = read_file(log);
    std::string venv = (tmp.path / ".venv").string();
    for (std::size_t at; (at = text.find(venv)) != std::string::npos;) {
      text.replace(at, venv.size(), "VENV");
    }
    std::string stubs = (stubs_dir() / "python").string();
    for (std::size_t at; (at = text.find(stubs)) != std::string::npos;) {
      text.replace(at, stubs.size(), "python");
    }
    return text;
  }

  TempDir tmp;
  TempDir logs;
  fs::path log = logs.path / "calls";
};

const std::string kSetup = "python -m venv --system-site-packages VENV\n"
                           "VENV/bin/python -um ensurepip\n"
                           "VENV/bin/pip install --upgrade pip\n";

} // namespace

TEST_F(EnvironmentCommands, RequirementsInstallsTheNamedGroups) {
  auto r = run_tarvo({"requirements", "web", "test", "web"}, options());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Creating virtual environment...\nEnsuring pip is installed...\n"
                   "Upgrading pip...\nInstalling requirements...\n");
  EXPECT_EQ(calls(), kSetup + "VENV/bin/pip install --quiet --editable .[web,test,web]\n");

  fs::remove(log);
  EXPECT_EQ(run_tarvo({"requirements"}, options()).status, 0);
  EXPECT_EQ(calls(), "VENV/bin/python -um ensurepip\nVENV/bin/pip install --upgrade pip\n"
                     "VENV/bin/pip install --quiet --editable .\n");
}

TEST_F(EnvironmentCommands, UnknownExtraFailsBeforeTheEnvironment) {
  auto r = run_tarvo({"requirements", "zeta", "alpha"}, options());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(
      r.err,
      "ValueError: Unknown extra or dependency group 'zeta'. Available extras: C, test, web\n");
  EXPECT_FALSE(fs::exists(tmp.path / ".venv"));
  EXPECT_EQ(calls(), "");

  write_file(tmp.path / "pyproject.toml", "[project]\nname = 'demo'\nversion = '1'\n");
  EXPECT_EQ(run_tarvo({"requirements", "test"}, options()).err,
            "ValueError: Unknown extra or dependency group 'test'. Available extras: none\n");
}

TEST_F(EnvironmentCommands, FailingStepShowsItsOutputOnceThenTheError) {
  auto r = run_tarvo({"requirements"}, options({{"STUB_FAIL", "--upgrade"}, {"STUB_STATUS", "3"}}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Creating virtual environment...\nEnsuring pip is installed...\n"
                   "Upgrading pip...\nstub out\n\n");
  // The captured text is echoed with a line feed of its own after it.
  EXPECT_EQ(r.err, "stub err\n\nCalledProcessError: Command '['" +
                       (tmp.path / ".venv" / "bin" / "pip").string() +
                       "', 'install', '--upgrade', 'pip']' returned non-zero exit status 3.\n");
}

TEST_F(EnvironmentCommands, MissingPythonIsAClearError) {
  auto o = options();
  TempDir empty;
  o.env["PATH"] = empty.path.string();
  auto r = run_tarvo({"requirements"}, o);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "FileNotFoundError: A Python interpreter is needed to create .venv: neither "
                   "python nor python3 is on PATH\n");
  EXPECT_FALSE(fs::exists(tmp.path / ".venv"));

  // Where only python3 is on the search path (stock Debian, Ubuntu, macOS), it creates .venv.
  TempDir only3;
  fs::copy_file(stubs_dir() / "python", only3.path / "python3");
  fs::copy_file(stubs_dir() / "pip", only3.path / "pip");
  // Where the system keeps them: /bin, or /usr/bin (macOS's dirname).
  for (const char *tool : {"mkdir", "cp", "dirname"}) {
    auto found = run({"sh", "-c", "command -v \"$0\"", tool}).out;
    fs::create_symlink(found.substr(0, found.find('\n')), only3.path / tool);
  }
  o.env["PATH"] = only3.path.string();
  auto with3 = run_tarvo({"requirements"}, o);
  EXPECT_EQ(with3.status, 0) << with3.err;
  EXPECT_TRUE(fs::exists(tmp.path / ".venv" / "pyvenv.cfg"));
  EXPECT_TRUE(take_lines(log).front().starts_with((only3.path / "python3").string() + " -m venv"))
      << read_file(log);
}

TEST_F(EnvironmentCommands, StatusPrintsItsThreeLinesAfterTheSteps) {
  auto r = run_tarvo({"status"}, options());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Creating virtual environment...\nEnsuring pip is installed...\n"
                   "Upgrading pip...\nProject: demo-1.0\nDocker: installed\nVenv: installed\n");

  auto o = options();
  o.env["PATH"] = (tmp.path / "nodocker").string() + ":" + path_with(stubs_dir());
  fs::create_directories(tmp.path / "nodocker");
  fs::create_symlink("/bin/false", tmp.path / "nodocker" / "docker");
  auto nodocker = run_tarvo({"status"}, o);
  EXPECT_EQ(nodocker.status, 0) << nodocker.err;
  EXPECT_TRUE(nodocker.out.ends_with("Project: demo-1.0\nDocker: missing\nVenv: installed\n"))
      << nodocker.out;

  write_file(tmp.path / "pyproject.toml", "[project]\nname = 'x'\nversion = 1\n");
  auto bad = run_tarvo({"status"}, options());
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out.find("Project:"), std::string::npos);
  EXPECT_EQ(bad.err, "TypeError: 1\n");
}

// The shapes projects come in: the name and version in [project], a version the build sets
// (hatch-vcs, setuptools-scm, a version attribute), the metadata in [tool.poetry] or in
// setup.cfg, or nowhere tarvo looks. Status names the project, or says where the name belongs,
// and exits 0; --json says the same as one object, with progress on standard error.
TEST_F(EnvironmentCommands, StatusOnEveryShapeOfProject) {
  const std::string dynamic = "[build-system]\nrequires = ['hatchling', 'hatch-vcs']\n"
                              "[project]\nname = 'attrs'\ndynamic = ['version', 'readme']\n";
  const std::string poetry = "[tool.poetry]\nname = 'tomlkit'\nversion = '0.11.6'\n"
                             "[build-system]\nrequires = ['poetry-core>=1.0.0']\n";
  const std::string setuptools_scm = "[build-system]\nrequires = ['setuptools', "
                                     "'setuptools-scm']\n[tool.setuptools_scm]\n";
  const std::string pluggy_cfg = "[metadata]\nname = pluggy\ndescription = plugins\n"
                                 "  and hooks\n\n[options]\npackages = pluggy\n";
  struct Case {
    std::string pyproject;
    std::string setup_cfg;
    std::string line;
    std::string json;
  };
  for (
      const auto &c : std::vector<Case>{
          {dynamic, "", "attrs (version set at build time)",
           R"({"name": "attrs", "version": null, "dynamic_version": true, "metadata": "[project]")"},
          {"[project]\nname = 'x-y'\nversion = '1.0-2'\n", "", "x-y-1.0-2",
           R"({"name": "x-y", "version": "1.0-2", "dynamic_version": false, "metadata": "[project]")"},
          {"[project]\nname = 'x'\n", "",
           "x (no version: [project] neither gives one nor lists it in dynamic)",
           R"({"name": "x", "version": null, "dynamic_version": false, "metadata": "[project]")"},
          {poetry, "",
           "tomlkit-0.11.6 (metadata in [tool.poetry], while tarvo's commands read [project])",
           R"({"name": "tomlkit", "version": "0.11.6", "dynamic_version": false, "metadata": "[tool.poetry]")"},
          {setuptools_scm, pluggy_cfg,
           "pluggy (version set at build time; metadata in setup.cfg, while tarvo's commands "
           "read [project])",
           R"({"name": "pluggy", "version": null, "dynamic_version": true, "metadata": "setup.cfg")"},
          {"", "[Metadata]\nNAME: pluggy\nversion = attr: pluggy.__version__\n",
           "pluggy (version set at build time; metadata in setup.cfg, while tarvo's commands "
           "read [project])",
           R"({"name": "pluggy", "version": null, "dynamic_version": true, "metadata": "setup.cfg")"},
          {"", "[metadata]\nname = old\nversion = 0.9\n",
           "old-0.9 (metadata in setup.cfg, while tarvo's commands read [project])",
           R"({"name": "old", "version": "0.9", "dynamic_version": false, "metadata": "setup.cfg")"},
          {"[tool.black]\n", "[options]\nname = not-metadata\n",
           "no name found (tarvo's commands read it from pyproject.toml's [project] table)",
           R"({"name": null, "version": null, "dynamic_version": false, "metadata": null)"},
      }) {
    SCOPED_TRACE(c.line);
    write_file(tmp.path / "pyproject.toml", c.pyproject);
    fs::remove(tmp.path / "setup.cfg");
    if (!c.setup_cfg.empty()) {
      write_file(tmp.path / "setup.cfg", c.setup_cfg);
    }
    auto text = run_tarvo({"status"}, options());
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(text.out.ends_with("Project: " + c.line + "\nDocker: installed\nVenv: installed\n"))
        << text.out;
    auto json = run_tarvo({"status", "--json"}, options());
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, c.json + R"(, "docker": true, "venv": true})" + "\n");
    EXPECT_EQ(json.err, "Ensuring pip is installed...\nUpgrading pip...\n");
  }
}

// The version a build will set, where it is known without building: an sdist's PKG-INFO, the
// tag of a clean git checkout, or outside git the version file an earlier build wrote.
TEST_F(EnvironmentCommands, StatusNamesTheVersionTheBuildWillSet) {
  const std::string hatch_vcs = "[build-system]\nrequires = ['hatchling', 'hatch-vcs']\n"
                                "[project]\nname = 'attrs'\ndynamic = ['version']\n"
                                "[tool.hatch.version]\nsource = 'vcs'\n"
                                "[tool.hatch.build.hooks.vcs]\nversion-file = 'src/_v.py'\n";
  write_file(tmp.path / "pyproject.toml", hatch_vcs);
  auto project_line = [&] {
    auto r = run_tarvo({"--no-sync", "status"}, options());
    EXPECT_EQ(r.status, 0) << r.err;
    auto at = r.out.find("Project: ");
    return at == std::string::npos ? r.out : r.out.substr(at, r.out.find('\n', at) - at);
  };
  EXPECT_EQ(project_line(), "Project: attrs (version set at build time)");
  write_file(tmp.path / "src" / "_v.py", "# written by the build\n__version__ = version = "
                                         "'25.4.0'\n__version_tuple__ = (25, 4, 0)\n");
  EXPECT_EQ(project_line(),
            "Project: attrs-25.4.0 (version set at build time, read from src/_v.py)");
  write_file(tmp.path / "PKG-INFO", "Metadata-Version: 2.4\nName: attrs\nVersion: 26.1.0\n\n"
                                    "Version: not this\n");
  EXPECT_EQ(project_line(),
            "Project: attrs-26.1.0 (version set at build time, read from PKG-INFO)");
  auto json = run_tarvo({"--no-sync", "status", "--json"}, options());
  EXPECT_EQ(json.out, R"({"name": "attrs", "version": "26.1.0", "dynamic_version": true, )"
                      R"("metadata": "[project]", "docker": true, "venv": true})"
                      "\n");
  fs::remove(tmp.path / "PKG-INFO");
  auto git = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"git", "-C", tmp.path.string(), "-c", "user.name=T", "-c",
                               "user.email=t@example.invalid"});
    ASSERT_EQ(run(args).status, 0);
  };
  git({"init", "-q"});
  git({"add", "pyproject.toml"});
  git({"commit", "-qm", "one"});
  // In git, a version file of an earlier build may be stale: only a tag says the version.
  EXPECT_EQ(project_line(), "Project: attrs (version set at build time)");
  git({"tag", "v26.2.0"});
  EXPECT_EQ(project_line(),
            "Project: attrs-26.2.0 (version set at build time, read from git describe)");
  write_file(tmp.path / "pyproject.toml", hatch_vcs + "\n");
  EXPECT_EQ(project_line(), "Project: attrs (version set at build time)");
}

TEST_F(EnvironmentCommands, StatusJsonIsValidForAnyName) {
  fs::remove_all(tmp.path / ".venv");
  write_file(tmp.path / "pyproject.toml",
             "[project]\nname = \"q\\\"\\\\\\u001b\\u0085\u00e9\"\nversion = '1'\n");
  auto r = run_tarvo({"status", "--json"}, options({{"STUB_FAIL", "docker"}}));
  ASSERT_EQ(r.status, 0) << r.err;
  auto parsed = nlohmann::json::parse(r.out);
  EXPECT_EQ(parsed["name"], "q\"\\\x1b\u0085\u00e9");
  EXPECT_EQ(parsed["docker"], false);
  EXPECT_EQ(parsed["venv"], true);
  EXPECT_EQ(r.err, "Creating virtual environment...\nEnsuring pip is installed...\n"
                   "Upgrading pip...\n");
}

TEST_F(EnvironmentCommands, TestAndBuildRunTheirTools) {
  auto t = run_tarvo({"test", "--arch", "aarch64"}, options());
  EXPECT_EQ(t.status, 0) << t.err;
  EXPECT_EQ(calls(), kSetup + "VENV/bin/pip install -e .[test]\n" +
                         "VENV/bin/python -um pytest -vv tests\n");

  fs::remove(log);
  auto failing = run_tarvo({"test"}, options({{"STUB_FAIL", "pytest"}, {"STUB_STATUS", "5"}}));
  EXPECT_EQ(failing.status, 5);
  EXPECT_NE(failing.out.find("stub out"), std::string::npos);

  fs::remove(log);
  auto b = run_tarvo({"build", "--sdist"}, options());
  EXPECT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.out, "Ensuring pip is installed...\nUpgrading pip...\nInstalling build tools...\n"
                   "Building sdist...\nsdist built successfully\n");
  EXPECT_EQ(calls(), "VENV/bin/python -um ensurepip\nVENV/bin/pip install --upgrade pip\n"
                     "VENV/bin/pip install build wheel\nVENV/bin/python -um build --sdist\n");
  EXPECT_TRUE(fs::is_directory(tmp.path / "dist"));

  auto failed = run_tarvo({"build", "--sdist"}, options({{"STUB_FAIL", "--sdist"}}));
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "stub err\nRuntimeError: sdist build failed\n");
  EXPECT_EQ(failed.out.find("sdist built successfully"), std::string::npos);
}

TEST_F(EnvironmentCommands, BuildExecutableNeedsAProjectName) {
  write_file(tmp.path / "pyproject.toml", "[project]\nversion = '1'\n");
  auto r = run_tarvo({"build", "--sdist", "--executable"}, options());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("sdist built successfully\n"), std::string::npos);
  EXPECT_EQ(r.err, "Error: Project name missing\n");
  // On one stream the error follows the lines written before it.
  auto merged =
      run({"sh", "-c", "\"$0\" build --sdist --executable 2>&1", tarvo_binary()}, options());
  EXPECT_TRUE(merged.out.ends_with("sdist built successfully\nError: Project name missing\n"))
      << merged.out;

  fs::remove_all(tmp.path / "dist");
  write_file(tmp.path / "dist", "a file");
  auto blocked = run_tarvo({"build", "--sdist"}, options());
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.err, "FileExistsError: [Errno 17] File exists: 'dist'\n");
}

// With a complete .venv, --no-sync (or TARVO_NO_SYNC) runs each command at once: pip, which
// fails here whenever it runs, is never started. An incomplete .venv is said and set up.
TEST_F(EnvironmentCommands, NoSyncRunsTheCommandInACompleteEnvironment) {
  ASSERT_EQ(run_tarvo({"requirements"}, options()).status, 0);
  fs::remove(log);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--no-sync", "test"}, "VENV/bin/python -um pytest -vv tests\n"},
      {{"--no-sync", "build", "--sdist"}, "VENV/bin/python -um build --sdist\n"},
      {{"--no-sync", "status"}, ""},
      {{"--no-sync", "lint"}, "VENV/bin/python -P -um dodgy --zero-exit\n"},
  };
  for (const auto &[args, call] : cases) {
    auto r = run_tarvo(args, options({{"STUB_FAIL", "pip"}}));
    EXPECT_EQ(r.err.find("CalledProcessError"), std::string::npos) << args[1] << r.err;
    EXPECT_EQ(r.out.find("Ensuring pip"), std::string::npos) << args[1] << r.out;
    auto logged = calls();
    EXPECT_EQ(logged.find("pip"), std::string::npos) << args[1] << logged;
    EXPECT_NE(logged.find(call), std::string::npos) << args[1] << logged;
    fs::remove(log);
  }
  auto by_variable = run_tarvo({"test"}, options({{"STUB_FAIL", "pip"}, {"TARVO_NO_SYNC", "1"}}));
  EXPECT_EQ(by_variable.status, 0) << by_variable.err;
  EXPECT_EQ(calls(), "VENV/bin/python -um pytest -vv tests\n");
  fs::remove(log);
  EXPECT_EQ(run_tarvo({"test"}, options({{"STUB_FAIL", "pip"}, {"TARVO_NO_SYNC", "0"}})).status, 1);
  fs::remove(log);

  // requirements still installs what it is asked for, and nothing before it.
  EXPECT_EQ(run_tarvo({"--no-sync", "requirements", "web"}, options()).out,
            "Installing requirements...\n");
  EXPECT_EQ(calls(), "VENV/bin/pip install --quiet --editable .[web]\n");
  fs::remove(log);

  fs::remove(tmp.path / ".venv" / "bin" / "pip");
  auto incomplete = run_tarvo({"--no-sync", "test"}, options());
  EXPECT_EQ(incomplete.status, 0) << incomplete.err;
  EXPECT_TRUE(incomplete.out.starts_with(
      "--no-sync: .venv has no bin/pip, so it is set up as usual\nCreating virtual environment"))
      << incomplete.out;
  EXPECT_EQ(calls(), kSetup + "VENV/bin/pip install -e .[test]\n" +
                         "VENV/bin/python -um pytest -vv tests\n");
  fs::remove(log);

  // That full setup was recorded: unchanged, --no-sync runs at once; once pyproject.toml has
  // changed (a dependency added), the next one sets up again, saying why, and records that.
  EXPECT_EQ(run_tarvo({"--no-sync", "test"}, options({{"STUB_FAIL", "pip"}})).status, 0);
  EXPECT_EQ(calls(), "VENV/bin/python -um pytest -vv tests\n");
  fs::remove(log);
  write_file(tmp.path / "pyproject.toml",
             read_file(tmp.path / "pyproject.toml") + "\n# a dependency added\n");
  auto changed = run_tarvo({"--no-sync", "test"}, options());
  EXPECT_EQ(changed.status, 0) << changed.err;
  EXPECT_TRUE(changed.out.starts_with("--no-sync: .venv was set up for test before "
                                      "pyproject.toml changed, so it is set up as usual\n"))
      << changed.out;
  EXPECT_NE(calls().find("VENV/bin/pip install -e .[test]\n"), std::string::npos) << calls();
  fs::remove(log);
  EXPECT_EQ(run_tarvo({"--no-sync", "test"}, options({{"STUB_FAIL", "pip"}})).status, 0);
  EXPECT_EQ(calls(), "VENV/bin/python -um pytest -vv tests\n");
}

// pytest ended by a signal: the command's status is what a shell would say, 128 + the signal.
TEST_F(EnvironmentCommands, TestEndedByASignalIsStatus128PlusTheSignal) {
  TempDir tools;
  write_script(tools.path / "pytest", "kill -TERM $$");
  ASSERT_EQ(run_tarvo({"requirements"}, options()).status, 0);
  auto killed = run_tarvo({"--no-sync", "test"}, options({{"STUB_TOOLS", tools.path.string()}}));
  EXPECT_EQ(killed.status, 128 + SIGTERM) << killed.err;
}

// What needs no tool is decided before .venv is touched; then twine is installed as the other
// tools are (--no-sync holds), checks every file, and uploads them one at a time, sdist first.
TEST_F(EnvironmentCommands, PublishChecksBeforeTheEnvironmentThenRunsTwineThere) {
  auto none = run_tarvo({"publish"}, options());
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "FileNotFoundError: No sdist or wheel of demo 1.0 in dist/: tarvo build "
                      "--sdist makes the sdist, --wheel a pure wheel, --native-wheel platform "
                      "wheels\n");
  auto secret = run_tarvo({"publish", "--repository", "https://me:pw@example.org/"}, options());
  EXPECT_EQ(secret.status, 1);
  EXPECT_TRUE(secret.err.starts_with("ValueError: The repository URL holds credentials"))
      << secret.err;
  EXPECT_FALSE(fs::exists(tmp.path / ".venv"));
  EXPECT_EQ(calls(), "");

  for (const char *file : {"demo-1.0-py3-none-any.whl", "demo-1.0.tar.gz", "demo-0.9.tar.gz"}) {
    write_file(tmp.path / "dist" / file, "");
  }
  const std::string check = "VENV/bin/python -P -um twine --no-color check --strict -- "
                            "dist/demo-1.0.tar.gz dist/demo-1.0-py3-none-any.whl\n";
  auto dry = run_tarvo({"publish", "--dry-run", "--repository", "testpypi"}, options());
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "Publishing demo 1.0: 1 sdist and 1 wheel\n"
                     "Leaving 1 other file in dist/ alone (other versions)\n"
                     "Creating virtual environment...\nEnsuring pip is installed...\n"
                     "Upgrading pip...\nInstalling publish tools...\nChecking with twine...\n"
                     "Ready: dist/demo-1.0.tar.gz\nReady: dist/demo-1.0-py3-none-any.whl\n"
                     "Checks passed; --dry-run: nothing uploaded\n");
  EXPECT_EQ(calls(), kSetup + "VENV/bin/pip install twine\n" + check);
  fs::remove(log);

  auto sent = run_tarvo({"--no-sync", "publish"}, options());
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_TRUE(sent.out.ends_with("dist/demo-1.0-py3-none-any.whl: uploaded\n"
                                 "Published demo 1.0 to PyPI: 2 files uploaded\n"))
      << sent.out;
  const std::string upload = "VENV/bin/python -P -um twine --no-color upload --verbose "
                             "--non-interactive --disable-progress-bar -- ";
  EXPECT_EQ(calls(), check + upload + "dist/demo-1.0.tar.gz\n" + upload +
                         "dist/demo-1.0-py3-none-any.whl\n");
}

// pytest runs the path given (a file, a folder, a node id) with the words after "--"; the
// project is installed with its "test" extra, else its "test" group, else alone.
TEST_F(EnvironmentCommands, TestRunsThePathWithPytestsWordsAndInstallsWhatTheTestsNeed) {
  auto t =
      run_tarvo({"test", "unit/test_a.py::test_b", "--", "-k", "slow or fast", "-x"}, options());
  EXPECT_EQ(t.status, 0) << t.err;
  EXPECT_TRUE(calls().ends_with("VENV/bin/pip install -e .[test]\n"
                                "VENV/bin/python -um pytest -vv unit/test_a.py::test_b -k slow or "
                                "fast -x\n"))
      << calls();
  const std::string project = "[project]\nname = 'demo'\nversion = '1.0'\n";
  for (const auto &[pyproject, install] : std::vector<std::pair<std::string, std::string>>{
           {project + "[dependency-groups]\ntest = ['pytest']\ndev = ['ruff']\n",
            "install -e . --group test"},
           {project + "[project.optional-dependencies]\nweb = []\n"
                      "[dependency-groups]\ndocs = ['sphinx']\n",
            "install -e ."},
           {project + "[project.optional-dependencies]\nweb = []\nTests = ['pytest']\n"
                      "[dependency-groups]\ntest = ['pytest']\n",
            "install -e .[Tests]"},
           {project + "[tool.pdm.dev-dependencies]\ndev = ['pytest>=6', '-e file:///x']\n",
            "install -e . pytest>=6"},
           {project + "dynamic = ['optional-dependencies']\n", "install -e .[test]"},
           {"[tool.poetry]\nname = 'demo'\n", "install -e .[test]"},
       }) {
    write_file(tmp.path / "pyproject.toml", pyproject);
    fs::remove(log);
    auto r = run_tarvo({"test"}, options());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(calls().find("VENV/bin/pip " + install + "\nVENV/bin/python -um pytest -vv tests\n"),
              std::string::npos)
        << pyproject << calls();
  }
}

// A run that fails where pytest is not installed says where pytest belongs; a project without
// tests yet has nothing to run, and no .venv is made for it.
TEST_F(EnvironmentCommands, TestSaysWhatToDoWithoutPytestOrTests) {
  write_file(tmp.path / "pyproject.toml", "[project]\nname = 'demo'\nversion = '1.0'\n");
  // The stand-in python fails both the run and the question whether pytest is there.
  auto missing = run_tarvo({"test"}, options({{"STUB_FAIL", "pytest"}}));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "stub err\nHint: pytest is not installed, and the project has neither a "
                         "'test' extra ([project.optional-dependencies]) nor a 'test' group "
                         "([dependency-groups]): add one that lists pytest\n");
  // Not "-vv" alone: the stand-in matches its own path too, and a temporary folder's random
  // name can start with "vv".
  auto failed = run_tarvo({"test"}, options({{"STUB_FAIL", "pytest -vv"}}));
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "stub err\n");

  fs::remove_all(tmp.path / ".venv");
  fs::remove_all(tmp.path / "tests");
  fs::remove(log);
  auto none = run_tarvo({"test"}, options());
  EXPECT_EQ(none.status, 5) << none.err;
  EXPECT_EQ(none.out, "No tests folder, so no tests ran: put them in tests/ (or test/), name "
                      "their folder in pytest's testpaths, or run tarvo test PATH\n");
  EXPECT_FALSE(fs::exists(tmp.path / ".venv"));
  EXPECT_EQ(calls(), "");
  auto named = run_tarvo({"test", "other"}, options());
  EXPECT_EQ(named.status, 0) << named.err;
  EXPECT_TRUE(calls().ends_with("VENV/bin/python -um pytest -vv other\n")) << calls();
}

// What an interrupted or concurrent creation left is made again from nothing, never patched.
TEST_F(EnvironmentCommands, IncompleteEnvironmentIsCreatedAgain) {
  ASSERT_EQ(run_tarvo({"requirements"}, options()).status, 0);
  fs::remove(tmp.path / ".venv" / "pyvenv.cfg");
  write_file(tmp.path / ".venv" / "lib" / "half-installed", "");
  fs::remove(log);
  auto r = run_tarvo({"requirements"}, options());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(calls(), kSetup + "VENV/bin/pip install --quiet --editable .\n");
  EXPECT_TRUE(fs::exists(tmp.path / ".venv" / "pyvenv.cfg"));
  EXPECT_FALSE(fs::exists(tmp.path / ".venv" / "lib"));
}
