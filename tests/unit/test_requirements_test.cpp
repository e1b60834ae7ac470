// Where projects keep their test requirements and their tests: the order of the places looked
// in, poetry's constraints in PEP 508, and the folders pytest would run.
#include "harness.hpp"
#include "tarvo/project/poetry.hpp"
#include "tarvo/project/pytest_config.hpp"
#include "tarvo/project/test_requirements.hpp"

#include <gtest/gtest.h>

using namespace tarvo::project;
using tarvo::testing::TempDir;
using tarvo::testing::write_file;

namespace {

std::string chosen(const std::string &pyproject) {
  const auto found = test_requirements(ProjectConfig::from_bytes(pyproject));
  std::string text = describe(found);
  for (const auto &requirement : found.requirements) {
    text += " | " + requirement;
  }
  for (const auto &entry : found.untranslated) {
    text += " | not: " + entry;
  }
  return text;
}

const std::string PROJECT = "[project]\nname = 'p'\nversion = '1'\n";

} // namespace

// requirements NAME finds every name test would use, of every kind; an unknown one is refused
// with all of them.
TEST(TestRequirements, EveryNameOfEveryKind) {
  const auto config = ProjectConfig::from_bytes(
      "[tool.poetry]\nname = 'kit'\n[tool.poetry.group.Test.dependencies]\npytest = '^7.2'\n"
      "[tool.poetry.dev-dependencies]\nblack = '*'\n[tool.pdm.dev-dependencies]\nlint = ['ruff']\n"
      "[dependency-groups]\ndocs = ['furo']\n");
  for (const auto &[name, found] : std::vector<std::pair<std::string, std::string>>{
           {"test", "poetry group 'Test' pytest<8.0,>=7.2"},
           {"TEST", "poetry group 'Test' pytest<8.0,>=7.2"},
           {"dev", "poetry group 'dev' black"},
           {"lint", "pdm dev-dependencies 'lint' ruff"},
           {"docs", "dependency group 'docs' "},
       }) {
    auto named = requirements_named(config, name);
    ASSERT_TRUE(named) << name;
    std::string text = describe(*named) + " ";
    for (const auto &requirement : named->requirements) {
      text += requirement;
    }
    EXPECT_EQ(text, found) << name;
  }
  EXPECT_FALSE(requirements_named(config, "tests"));
  EXPECT_EQ(known_names(config), "extras: none; dependency groups: docs; pdm dev-dependencies: "
                                 "lint; poetry groups: Test, dev");
}

TEST(TestRequirements, PlacesInTheirOrder) {
  struct Case {
    std::string pyproject;
    std::string chosen;
  };
  for (const auto &c : std::vector<Case>{
           {PROJECT + "[project.optional-dependencies]\nTesting = []\ntests = []\n"
                      "[dependency-groups]\ntest = []\n",
            "extra 'tests'"},
           {PROJECT + "[project.optional-dependencies]\ndev = []\n[dependency-groups]\n"
                      "dev = []\ntests = [{include-group = 'dev'}]\n",
            "dependency group 'tests'"},
           {PROJECT + "[dependency-groups]\ndev = []\n[tool.pdm.dev-dependencies]\ntest = []\n",
            "dependency group 'dev'"},
           {PROJECT + "[tool.pdm.dev-dependencies]\ndoc = ['furo']\n"
                      "test = ['pytest>=6.1', 'trustme>=0.9; python_version < \"3.13\"', "
                      "'-e file:///${PROJECT_ROOT}/sub']\n",
            "pdm dev-dependencies 'test' | pytest>=6.1 | trustme>=0.9; python_version < "
            "\"3.13\" | not: -e file:///${PROJECT_ROOT}/sub (not a PEP 508 requirement)"},
           {"[tool.poetry]\nname = 'kit'\n[tool.poetry.group.dev.dependencies]\n"
            "pytest = '^7.2.0'\nPyYAML = '^6.0'\nlocal = {path = '../local'}\n",
            "poetry group 'dev' | pytest<8.0.0,>=7.2.0 | PyYAML<7.0,>=6.0 | not: local (a path "
            "dependency)"},
           {"[tool.poetry]\nname = 'kit'\n[tool.poetry.dev-dependencies]\npytest = '*'\n",
            "poetry group 'dev' | pytest"},
           {PROJECT + "[project.optional-dependencies]\ndocs = []\n",
            "none found (no extra, and no group, named test, tests or testing)"},
           {"[project]\nname = 'p'\ndynamic = ['version', 'optional-dependencies']\n",
            "extra 'test' (pyproject.toml does not list the extras)"},
       }) {
    EXPECT_EQ(chosen(c.pyproject), c.chosen) << c.pyproject;
  }
}

// Unreadable: the test extra, as before groups, for the build backend to judge.
TEST(TestRequirements, UnreadablePyprojectAsksForTheTestExtra) {
  TempDir tmp;
  write_file(tmp.path / "pyproject.toml", "[project\n");
  EXPECT_EQ(test_requirements_in(tmp.path).source, TestSource::Unseen);
  EXPECT_EQ(test_requirements_in(tmp.path / "none").source, TestSource::Unseen);
}

class PoetryConstraint : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(PoetryConstraint, InPep508) {
  const auto &[poetry, pep508] = GetParam();
  auto document = ProjectConfig::from_bytes("[tool.t]\nv = " + poetry).tool("t");
  std::string why;
  auto requirement = poetry_requirement("dep", *document->find("v"), why);
  EXPECT_EQ(requirement.value_or("not translated: " + why), pep508) << poetry;
}

INSTANTIATE_TEST_SUITE_P(
    TestRequirements, PoetryConstraint,
    ::testing::Values(
        std::pair<std::string, std::string>{"'^1.2.3'", "dep<2.0.0,>=1.2.3"},
        std::pair<std::string, std::string>{"'^0.2.3'", "dep<0.3.0,>=0.2.3"},
        std::pair<std::string, std::string>{"'^0.0.3'", "dep<0.0.4,>=0.0.3"},
        std::pair<std::string, std::string>{"'^0.0'", "dep<0.1,>=0.0"},
        std::pair<std::string, std::string>{"'~1.2.3'", "dep<1.3.0,>=1.2.3"},
        std::pair<std::string, std::string>{"'~1.2'", "dep<1.3,>=1.2"},
        std::pair<std::string, std::string>{"'~1'", "dep<2,>=1"},
        std::pair<std::string, std::string>{"'1.2.3'", "dep==1.2.3"},
        std::pair<std::string, std::string>{"'1.4.*'", "dep==1.4.*"},
        std::pair<std::string, std::string>{"'~=1.4'", "dep~=1.4"},
        std::pair<std::string, std::string>{"'*'", "dep"},
        std::pair<std::string, std::string>{"'>= 1.2 < 2, !=1.5'", "dep!=1.5,<2,>=1.2"},
        std::pair<std::string, std::string>{
            "{version = '^6.0', extras = ['s'], markers = \"sys_platform == 'linux'\", python = "
            "'^3.8', optional = true}",
            "dep[s]<7.0,>=6.0; sys_platform == \"linux\" and python_version >= \"3.8\" and "
            "python_version < \"4.0\""},
        std::pair<std::string, std::string>{"{python = '>=3.8.1'}",
                                            "dep; python_full_version >= \"3.8.1\""},
        std::pair<std::string, std::string>{"'^1 || ^2'",
                                            "not translated: alternatives joined by '||'"},
        std::pair<std::string, std::string>{"{git = 'https://example.org/dep.git'}",
                                            "not translated: a git dependency"},
        std::pair<std::string, std::string>{
            "[{version = '1', python = '<3.9'}, {version = '2', python = '>=3.9'}]",
            "not translated: several constraints, one per Python or platform"},
        std::pair<std::string, std::string>{"'^x'", "not translated: the constraint ^x"}));

// Where the tests are without a PATH: tests/, else pytest's testpaths (that exist), else test/
// with test files in it.
TEST(TestPaths, WhereTheTestsAre) {
  struct Case {
    std::map<std::string, std::string> files;
    std::vector<std::string> paths;
  };
  for (const auto &c : std::vector<Case>{
           {{{"tests/x.txt", ""}, {"test/test_a.py", ""}}, {"tests"}},
           {{{"pyproject.toml",
              "[tool.pytest.ini_options]\ntestpaths = ['test', 'docs', 'gone']\n"},
             {"test/a.py", ""},
             {"docs/x.rst", ""}},
            {"test", "docs"}},
           {{{"pyproject.toml", "[tool.pytest]\ntestpaths = ['it']\n"}, {"it/a.py", ""}}, {"it"}},
           {{{"tox.ini", "[tox]\n[pytest]\ntestpaths =\n    one\n    two\n"},
             {"one/a.py", ""},
             {"two/b.py", ""}},
            {"one", "two"}},
           // pytest.ini comes first, even empty; so setup.cfg's testpaths are not read.
           {{{"pytest.ini", ""}, {"setup.cfg", "[tool:pytest]\ntestpaths = src\n"}, {"src/a", ""}},
            {}},
           {{{"setup.cfg", "[tool:pytest]\ntestpaths = src\n"}, {"src/a", ""}}, {"src"}},
           {{{"test/data/x_test.py", ""}}, {"test"}},
           {{{"test/helpers.py", ""}}, {}},
       }) {
    TempDir tmp;
    for (const auto &[name, content] : c.files) {
      write_file(tmp.path / name, content);
    }
    EXPECT_EQ(default_test_paths(tmp.path), c.paths) << c.files.begin()->first;
  }
}
