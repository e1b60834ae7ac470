#include "tarvo/lint/lint.hpp"
#include "tarvo/process/programs.hpp"

#include "harness.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace {

using namespace tarvo::lint;
using namespace tarvo::testing;
using tarvo::project::ProjectConfig;
using tarvo::venv::VirtualEnvironment;
namespace fs = std::filesystem;

const std::string INSTALL_LINES = "Installing lint tools...\nInstalling requirements...\n";

// run_lint in a project folder of its own, on stand-in tools: the stub interpreter runs
// tools/NAME for "-um NAME", and tools/tarvo is the self-run found on PATH (never this test
// binary). A check without a script of its own passes.
class LintTest : public ::testing::Test {
protected:
  LintTest() {
    fs::create_directories(tools_);
    tool("tarvo", R"(printf 'tarvo %s\n' "$*" >>"$STUB_LOG")");
    capture_output([&] { venv_.emplace(context_, ".venv"); });
    take_lines(log_);
  }
  void tool(const std::string &name, const std::string &body) { write_script(tools_ / name, body); }

  // Runs lint on a project of the given pyproject.toml; returns standard output and error.
  std::pair<std::string, std::string> lint(int &failed,
                                           const std::string &pyproject = "[project]\n") {
    auto config = ProjectConfig::from_bytes(pyproject);
    return capture_output([&] { failed = run_lint(*venv_, config, false, false, false); });
  }

  tarvo::process::Context context_;
  TempDir dir_;
  InDir in_{dir_.path};
  fs::path tools_ = dir_.path / "tools";
  fs::path log_ = dir_.path / "calls.log";
  ScopedEnv path_{"PATH", tools_.string() + ":" + stubs_dir().string() + ":/usr/bin:/bin"};
  ScopedEnv stub_log_{"STUB_LOG", log_.string()};
  ScopedEnv stub_tools_{"STUB_TOOLS", tools_.string()};
  ScopedEnv stub_fail_{"STUB_FAIL", std::nullopt};
  ScopedEnv lint_dir_{"LINT_DIR", dir_.path.string()};
  std::optional<VirtualEnvironment> venv_;
};

struct OutcomeCase {
  std::string name;
  std::vector<std::pair<std::string, std::string>> tools; // name, script body
  std::string out;                                        // after the installation lines
  std::string err;
  int failed;
};

void PrintTo(const OutcomeCase &c, std::ostream *out) { *out << c.name; }

class LintOutcomeTest : public LintTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(LintOutcomeTest, ReportsEachCheckInTableOrder) {
  for (const auto &[name, body] : GetParam().tools) {
    tool(name, body);
  }
  int failed = -1;
  auto [out, err] = lint(failed);
  EXPECT_EQ(out, INSTALL_LINES + "Running linters...\n" + GetParam().out);
  EXPECT_EQ(err, GetParam().err);
  EXPECT_EQ(failed, GetParam().failed);
}

// All passing is the end-to-end tests' case.
INSTANTIATE_TEST_SUITE_P(
    Outcomes, LintOutcomeTest,
    ::testing::Values(
        // The slow check comes first in the table and is still reported first.
        OutcomeCase{"TwoFailWithOutput",
                    {{"ruff", "sleep 0.3"},
                     {"dodgy", "echo 'dodgy says'; echo 'dodgy warns' >&2; exit 1"},
                     {"pyroma", "printf 'rating 6'; printf 'no line end' >&2; exit 1"}},
                    "ruff: PASS\nbasedpyright: PASS\ndodgy: FAIL (1)\ndodgy says\n\n"
                    "pyroma: FAIL (1)\nrating 6\ntarvo: PASS\n2 failed\n",
                    "dodgy warns\n\nno line end\n",
                    2},
        OutcomeCase{"EmptyOutputStillGivesTwoLines",
                    {{"ruff", "exit 1"}},
                    "ruff: FAIL (1)\n\nbasedpyright: PASS\ndodgy: PASS\npyroma: PASS\n"
                    "tarvo: PASS\n1 failed\n",
                    "\n",
                    1},
        OutcomeCase{"KilledBySignal",
                    {{"basedpyright", "echo started; kill -9 $$"}},
                    "ruff: PASS\nbasedpyright: FAIL (-9)\nstarted\n\ndodgy: PASS\npyroma: PASS\n"
                    "tarvo: PASS\n1 failed\n",
                    "\n",
                    1}),
    [](const auto &info) { return info.param.name; });

TEST_F(LintTest, MegabytesOfOutputFromEveryCheckAtOnce) {
  // More than a pipe holds on both streams, so a runner that read one stream to its end
  // before the other, or waited before reading, would stall. Each check has its own letters
  // and status, so each report must hold its own check's results.
  const std::size_t size = 3 << 20;
  std::string expected = INSTALL_LINES + "Running linters...\n";
  std::string expected_err;
  int status = 0;
  for (std::string name : {"ruff", "basedpyright", "dodgy", "pyroma", "tarvo"}) {
    ++status;
    char out = static_cast<char>('a' + status), err = static_cast<char>('A' + status);
    tool(name, fmt::format("head -c {0} /dev/zero | tr '\\0' {1}\n"
                           "head -c {0} /dev/zero | tr '\\0' {2} >&2\nexit {3}",
                           size, out, err, status));
    expected += fmt::format("{}: FAIL ({})\n{}\n", name, status, std::string(size, out));
    expected_err += std::string(size, err) + "\n";
  }
  int failed = -1;
  auto [out, err] = lint(failed);
  EXPECT_EQ(failed, 5);
  EXPECT_TRUE(out == expected + "5 failed\n") << "standard output of " << out.size() << " bytes";
  EXPECT_TRUE(err == expected_err) << "standard error of " << err.size() << " bytes";
}

TEST_F(LintTest, AllFiveChecksRunAtOnce) {
  // Each check passes only when it sees all five started within five seconds.
  for (std::string name : {"ruff", "basedpyright", "dodgy", "pyroma", "tarvo"}) {
    tool(name, "touch \"$LINT_DIR/started-" + name + "\"\n" + R"sh(i=0
while [ "$(ls "$LINT_DIR" | grep -c '^started-')" -lt 5 ]; do
  i=$((i + 1)); [ $i -gt 100 ] && exit 1; sleep 0.05
done)sh");
  }
  int failed = -1;
  auto [out, err] = lint(failed);
  EXPECT_EQ(failed, 0) << out << err;
}

TEST_F(LintTest, SelfRunPutsModulePathFirstOnPythonPath) {
  // The native build's package folder: two levels above the running executable.
  EXPECT_EQ(MODULE_PATH, tarvo::process::running_executable().parent_path().parent_path());
  tool("tarvo", R"(printf '%s' "$PYTHONPATH" >"$LINT_DIR/pythonpath")");
  using Case = std::pair<std::optional<std::string>, std::string>;
  for (const auto &[pythonpath, seen] :
       std::vector<Case>{{std::nullopt, ":"}, {"", ":"}, {"/a:/b", ":/a:/b"}}) {
    ScopedEnv set("PYTHONPATH", pythonpath);
    int failed = -1;
    lint(failed);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(read_file(dir_.path / "pythonpath"), MODULE_PATH.string() + seen);
  }
}

TEST_F(LintTest, CheckThatCannotStartEndsLintOnceTheOthersHaveFinished) {
  for (std::string name : {"ruff", "basedpyright", "dodgy", "pyroma"}) {
    tool(name, "sleep 0.3; touch \"$LINT_DIR/finished-" + name + "\"");
  }
  // The tarvo found on the search path cannot be started (its interpreter is missing): an
  // error, not a reason to run another.
  write_file(tools_ / "tarvo", "#!/nonexistent/sh\n");
  fs::permissions(tools_ / "tarvo", fs::perms::owner_all);
  std::optional<tarvo::Error> error;
  auto [out, err] = capture_output([&] {
    try {
      run_lint(*venv_, ProjectConfig::from_bytes("[project]\n"), false, false, false);
    } catch (const tarvo::Error &e) {
      error = e;
      for (std::string name : {"ruff", "basedpyright", "dodgy", "pyroma"}) {
        EXPECT_TRUE(fs::exists(dir_.path / ("finished-" + name))) << name;
      }
    }
  });
  ASSERT_TRUE(error) << "lint ended without the start error";
  EXPECT_EQ(error->kind(), tarvo::ErrorKind::FileNotFoundError);
  EXPECT_EQ(error->message(), "[Errno 2] No such file or directory: 'tarvo'");
  // The checks before it in the table are still reported; it is not counted.
  EXPECT_EQ(out, INSTALL_LINES + "Running linters...\nruff: PASS\nbasedpyright: PASS\n"
                                 "dodgy: PASS\npyroma: PASS\n");
  EXPECT_EQ(err, "");
}

// The tools with every group of the project in its order; the project with those of test,
// dev and lint.
TEST_F(LintTest, InstallsTheToolsAndTheProjectWithItsGroups) {
  struct Case {
    std::string pyproject;
    std::string lint_tools; // the arguments after "pip install ruff vulture basedpyright ..."
    std::string project;    // the package argument installed after "--editable"
  };
  for (const auto &c : std::vector<Case>{
           {"[project]\nname = 'p'\n", "", "."},
           {"[project.optional-dependencies]\n", "", "."},
           {"[project.optional-dependencies]\ndocs = []\ndev = []\ntest = ['pytest']\n",
            " -e .[docs,dev,test]", ".[dev,test]"},
           {"[project.optional-dependencies]\nlint = []\nzeta = []\ntest = []\n",
            " -e .[lint,zeta,test]", ".[lint,test]"},
           {"[project.optional-dependencies]\ndocs = ['sphinx']\n", " -e .[docs]", "."},
       }) {
    SCOPED_TRACE(c.pyproject);
    int failed = -1;
    auto [out, err] = lint(failed, c.pyproject);
    EXPECT_EQ(failed, 0) << err;
    auto calls = take_lines(log_);
    ASSERT_GE(calls.size(), 2u);
    auto pip = venv_->pip().string();
    EXPECT_EQ(calls[0], pip + " install ruff vulture basedpyright dodgy pyroma" + c.lint_tools);
    EXPECT_EQ(calls[1], pip + " install --quiet --editable " + c.project);
  }
}

} // namespace
