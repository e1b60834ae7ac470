// Projects shaped like real ones, with the machine's real python, pip and pytest, offline: a
// version the build sets, tests in testing/ with a conftest, a "test" dependency group instead
// of an extra, metadata in [tool.poetry], and a project that declares no test requirements.
#include "real_python.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

// pluggy's shape: setuptools with the version read from the package, tests in testing/ beside
// a conftest.py, and pytest in a "test" dependency group.
const std::map<std::string, std::string> PLUGGY_SHAPED = {
    {"pyproject.toml", R"([build-system]
requires = ["setuptools>=77"]
build-backend = "setuptools.build_meta"

[project]
name = "plug"
dynamic = ["version"]
requires-python = ">=3.11"

[tool.setuptools]
packages = ["plug"]

[tool.setuptools.dynamic]
version = {attr = "plug.__version__"}

[dependency-groups]
test = ["pytest"]
lint = ["ruff"]
)"},
    {"plug/__init__.py", "__version__ = '1.2'\n\n\ndef double(x):\n    return 2 * x\n"},
    {"testing/conftest.py", "import pytest\n\n\n@pytest.fixture\ndef two():\n    return 2\n"},
    {"testing/test_plug.py", "from plug import double\n\n\ndef test_one(two):\n"
                             "    assert double(1) == two\n\n\ndef test_two(two):\n"
                             "    assert double(two) == 4\n"},
};

// The fields of `tarvo status --json` as Python's json module reads them, but whether docker
// is installed, which depends on the machine.
std::string json_fields(const std::string &json) {
  auto r = run({"python3", "-c",
                "import json, sys; d = json.loads(sys.argv[1]); assert d.pop('docker') in (True, "
                "False); print(' '.join(f'{k}={d[k]!r}' for k in sorted(d)))",
                json});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

class ProjectShapes : public RealPython {
protected:
  void write(const std::map<std::string, std::string> &files) {
    for (const auto &[name, content] : files) {
      write_file(tmp.path / name, content);
    }
  }
};

} // namespace

TEST_F(ProjectShapes, TestGroupTestingFolderPathAndPytestWords) {
  write(PLUGGY_SHAPED);
  auto selected = run_tarvo({"test", "testing", "--", "-k", "two"}, options);
  ASSERT_EQ(selected.status, 0) << selected.out << selected.err;
  EXPECT_NE(selected.out.find("testing/test_plug.py::test_two PASSED"), std::string::npos)
      << selected.out;
  EXPECT_NE(selected.out.find("1 passed, 1 deselected"), std::string::npos) << selected.out;

  auto one = run_tarvo({"--no-sync", "test", "testing/test_plug.py::test_one"}, options);
  EXPECT_EQ(one.status, 0) << one.out << one.err;
  EXPECT_NE(one.out.find("1 passed"), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find("test_two"), std::string::npos) << one.out;

  // Without a path there is no tests folder to run: said, and a failure as pytest's.
  auto none = run_tarvo({"--no-sync", "test"}, options);
  EXPECT_EQ(none.status, 5) << none.err;
  EXPECT_EQ(none.out,
            "No tests folder, so no tests ran: put them in tests/ (or test/), name their folder in "
            "pytest's testpaths, or run tarvo test PATH\n");

  auto status = run_tarvo({"--no-sync", "status"}, options);
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_TRUE(status.out.starts_with("Project: plug (version set at build time)\nDocker: "))
      << status.out;
  auto json = run_tarvo({"status", "--json"}, options);
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json_fields(json.out), "dynamic_version=True metadata='[project]' "
                                   "name='plug' venv=True version=None\n");
  EXPECT_EQ(json.err, "Ensuring pip is installed...\nUpgrading pip...\n");
}

// Metadata in [tool.poetry]; the backend is not installable offline, and status needs it not.
TEST_F(ProjectShapes, StatusNamesAPoetryProject) {
  write({{"pyproject.toml", "[tool.poetry]\nname = \"kit\"\nversion = \"0.11.6\"\n\n"
                            "[build-system]\nrequires = [\"poetry-core>=1.0.0\"]\n"
                            "build-backend = \"poetry.core.masonry.api\"\n"}});
  auto json = run_tarvo({"status", "--json"}, options);
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json_fields(json.out), "dynamic_version=False metadata='[tool.poetry]' "
                                   "name='kit' venv=True version='0.11.6'\n");
}

// Neither a "test" extra nor a "test" group, and no pytest on the machine: pytest's absence is
// reported with where the requirement belongs.
TEST_F(ProjectShapes, NoTestRequirementsNamesBothWays) {
  auto files = setuptools_project("bare");
  auto &pyproject = files["pyproject.toml"];
  pyproject.erase(pyproject.find("[project.optional-dependencies]"),
                  std::string("[project.optional-dependencies]\ntest = [\"pytest\"]\n\n").size());
  write(files);
  auto r = run_tarvo({"test"}, options);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(
      r.err.ends_with("No module named pytest\nHint: pytest is not installed, and the "
                      "project has neither a 'test' extra ([project.optional-dependencies]) "
                      "nor a 'test' group ([dependency-groups]): add one that lists "
                      "pytest\n"))
      << r.err;
}

namespace {

// urllib3's and structlog's shape: tests in test/, pytest configured in pyproject.toml (here
// which functions are tests: without it, the helper would be collected and fail), a root
// conftest.py with a fixture, pytest in a "tests" dependency group.
std::map<std::string, std::string> configured_project(const std::string &requirements) {
  return {
      {"pyproject.toml", R"([build-system]
requires = ["setuptools>=77"]
build-backend = "setuptools.build_meta"

[project]
name = "conf"
version = "1.0"

[tool.setuptools]
package-dir = {"" = "src"}
packages = ["conf"]

[tool.pytest.ini_options]
python_functions = ["should_*"]
pythonpath = ["src"]
)" + requirements},
      {"src/conf/__init__.py", "def double(x):\n    return 2 * x\n"},
      {"conftest.py", "import pytest\n\n\n@pytest.fixture\ndef two():\n    return 2\n"},
      {"test/test_conf.py", "import conf\n\n\ndef should_double(two):\n"
                            "    assert conf.double(1) == two\n\n\n"
                            "def test_helper(unknown):\n    raise AssertionError\n"},
  };
}

} // namespace

TEST_F(ProjectShapes, TestsInTestWithTheirConfigurationAndATestsGroup) {
  write(configured_project("\n[dependency-groups]\ntests = [\"pytest\"]\nlint = [\"ruff\"]\n"));
  auto r = run_tarvo({"test"}, options);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Test requirements: dependency group 'tests'\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("test/test_conf.py::should_double PASSED"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 passed"), std::string::npos) << r.out;

  // requirements takes a group by its name; one that is neither says what there is.
  auto group = run_tarvo({"--no-sync", "requirements", "tests"}, options);
  EXPECT_EQ(group.status, 0) << group.err;
  auto neither = run_tarvo({"requirements", "docs"}, options);
  EXPECT_EQ(neither.status, 1);
  EXPECT_EQ(neither.err,
            "ValueError: Unknown extra or dependency group 'docs'. Available extras: none; "
            "dependency groups: lint, tests\n");
}

// tomlkit's shape: pytest in poetry's dev group, with caret constraints (translated for pip);
// the global switch may follow the command word.
TEST_F(ProjectShapes, PoetryDevGroup) {
  write(configured_project("\n[tool.poetry.group.dev.dependencies]\npytest = \"^9\"\n"
                           "iniconfig = {version = \"^2.0\", python = \">=3.8\"}\n"
                           "local = {path = \"../local\"}\n"));
  auto r = run_tarvo({"test"}, options);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Test requirements: poetry group 'dev'\nNot installed from poetry group "
                       "'dev': local (a path dependency)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("1 passed"), std::string::npos) << r.out;
  auto again = run_tarvo({"test", "--no-sync", "test/test_conf.py"}, options);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out.find("Test requirements"), std::string::npos) << again.out;
}
