#include "tarvo/lint/lint.hpp"

#include "harness.hpp"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace tarvo::testing {
std::pair<std::string, std::string> capture_output(const std::function<void()> &body);
} // namespace tarvo::testing

namespace {

using namespace tarvo::lint;
using tarvo::ProjectConfig;
using tarvo::testing::capture_output;
using tarvo::testing::read_file;
using tarvo::testing::stubs_dir;
using tarvo::testing::TempDir;
using tarvo::testing::write_file;
using tarvo::venv::VirtualEnvironment;
namespace fs = std::filesystem;

class ScopedEnv {
public:
  ScopedEnv(const char *name, const std::optional<std::string> &value) : name_(name) {
    if (const char *old = std::getenv(name)) {
      old_ = old;
    }
    set(value);
  }
  ~ScopedEnv() { set(old_); }

private:
  void set(const std::optional<std::string> &value) {
    value ? setenv(name_, value->c_str(), 1) : unsetenv(name_);
  }
  const char *name_;
  std::optional<std::string> old_;
};

const std::string INSTALL_LINES = "Installing lint tools...\nInstalling requirements...\n";

// run_lint in a project folder of its own, on stand-in tools: the stub interpreter runs
// tools/NAME for "-um NAME", and tools/tarvo is the self-run found on PATH (never this test
// binary). A check without a script of its own passes.
class LintTest : public ::testing::Test {
protected:
  LintTest() {
    fs::create_directories(tools_);
    fs::current_path(dir_.path);
    tool("tarvo", R"(printf 'tarvo %s\n' "$*" >>"$STUB_LOG")");
    capture_output([&] { venv_.emplace(".venv"); });
    take_calls();
  }
  ~LintTest() override { fs::current_path(cwd_); }

  void tool(const std::string &name, const std::string &body) {
    write_file(tools_ / name, "#!/bin/sh\n" + body + "\n");
    fs::permissions(tools_ / name, fs::perms::owner_all);
  }

  // Runs lint on a project of the given pyproject.toml; returns standard output and error.
  std::pair<std::string, std::string> lint(int &failed,
                                           const std::string &pyproject = "[project]\n") {
    auto config = ProjectConfig::from_bytes(pyproject);
    return capture_output([&] { failed = run_lint(*venv_, config, false, false, false); });
  }

  std::vector<std::string> take_calls() {
    std::vector<std::string> out;
    if (!fs::exists(log_)) {
      return out;
    }
    auto text = read_file(log_);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      out.push_back(text.substr(start, end - start));
    }
    fs::remove(log_);
    return out;
  }

  fs::path cwd_ = fs::current_path();
  TempDir dir_;
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

INSTANTIATE_TEST_SUITE_P(
    Outcomes, LintOutcomeTest,
    ::testing::Values(
        OutcomeCase{"AllPass",
                    {},
                    "ruff: PASS\nbasedpyright: PASS\ndodgy: PASS\npyroma: PASS\ntarvo: PASS\n",
                    "",
                    0},
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
                    1},
        OutcomeCase{"EveryCheckFails",
                    {{"ruff", "exit 1"},
                     {"basedpyright", "exit 2"},
                     {"dodgy", "exit 3"},
                     {"pyroma", "exit 4"},
                     {"tarvo", "echo 'ERROR: x' >&2; exit 5"}},
                    "ruff: FAIL (1)\n\nbasedpyright: FAIL (2)\n\ndodgy: FAIL (3)\n\n"
                    "pyroma: FAIL (4)\n\ntarvo: FAIL (5)\n\n5 failed\n",
                    "\n\n\n\nERROR: x\n\n",
                    5}),
    [](const auto &info) { return info.param.name; });

TEST_F(LintTest, MegabytesOfOutputFromEveryCheckAtOnce) {
  // More than a pipe holds on both streams, so a runner that read one stream to its end
  // before the other, or waited before reading, would stall.
  const std::size_t size = 3 << 20;
  std::string expected = INSTALL_LINES + "Running linters...\n";
  std::string expected_err;
  for (std::string name : {"ruff", "basedpyright", "dodgy", "pyroma", "tarvo"}) {
    tool(name, "head -c " + std::to_string(size) + " /dev/zero | tr '\\0' o\n" + "head -c " +
                   std::to_string(size) + " /dev/zero | tr '\\0' e >&2\nexit 1");
    expected += name + ": FAIL (1)\n" + std::string(size, 'o') + "\n";
    expected_err += std::string(size, 'e') + "\n";
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

struct SelfRunCase {
  std::string name;
  std::optional<std::string> pythonpath;
  std::string seen; // after MODULE_PATH
};

void PrintTo(const SelfRunCase &c, std::ostream *out) { *out << c.name; }

class LintSelfRunTest : public LintTest, public ::testing::WithParamInterface<SelfRunCase> {};

TEST_P(LintSelfRunTest, PutsModulePathFirstOnPythonPath) {
  ScopedEnv pythonpath("PYTHONPATH", GetParam().pythonpath);
  tool("tarvo", R"(printf '%s' "$PYTHONPATH" >"$LINT_DIR/pythonpath")");
  int failed = -1;
  lint(failed);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(read_file(dir_.path / "pythonpath"), MODULE_PATH.string() + GetParam().seen);
  // The native build's package folder: two levels above the running executable.
  EXPECT_EQ(MODULE_PATH, fs::read_symlink("/proc/self/exe").parent_path().parent_path());
}

INSTANTIATE_TEST_SUITE_P(PythonPath, LintSelfRunTest,
                         ::testing::Values(SelfRunCase{"Unset", std::nullopt, ":"},
                                           SelfRunCase{"Empty", "", ":"},
                                           SelfRunCase{"TwoFolders", "/a:/b", ":/a:/b"}),
                         [](const auto &info) { return info.param.name; });

TEST_F(LintTest, CheckThatCannotStartEndsLintOnceTheOthersHaveFinished) {
  for (std::string name : {"ruff", "basedpyright", "dodgy", "pyroma"}) {
    tool(name, "sleep 0.3; touch \"$LINT_DIR/finished-" + name + "\"");
  }
  // A tarvo on the search path that cannot be run is an error, not a reason to run another.
  fs::permissions(tools_ / "tarvo", fs::perms::owner_read | fs::perms::owner_write);
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
  EXPECT_EQ(error->kind(), "PermissionError");
  EXPECT_EQ(error->message(), "[Errno 13] Permission denied: 'tarvo'");
  // The checks before it in the table are still reported; it is not counted.
  EXPECT_EQ(out, INSTALL_LINES + "Running linters...\nruff: PASS\nbasedpyright: PASS\n"
                                 "dodgy: PASS\npyroma: PASS\n");
  EXPECT_EQ(err, "");
}

struct InstallCase {
  std::string name;
  std::string pyproject;
  std::string lint_tools; // the arguments after "pip install ruff vulture basedpyright ..."
  std::string project;    // the package spec installed after "--editable"
};

void PrintTo(const InstallCase &c, std::ostream *out) { *out << c.name; }

class LintInstallTest : public LintTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(LintInstallTest, InstallsTheToolsAndTheProjectWithItsGroups) {
  int failed = -1;
  auto [out, err] = lint(failed, GetParam().pyproject);
  EXPECT_EQ(failed, 0) << err;
  auto calls = take_calls();
  ASSERT_GE(calls.size(), 2u);
  auto pip = venv_->pip().string();
  EXPECT_EQ(calls[0],
            pip + " install ruff vulture basedpyright dodgy pyroma" + GetParam().lint_tools);
  EXPECT_EQ(calls[1], pip + " install --quiet --editable " + GetParam().project);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, LintInstallTest,
    ::testing::Values(
        InstallCase{"NoGroupsTable", "[project]\nname = 'p'\n", "", "."},
        InstallCase{"EmptyGroupsTable", "[project.optional-dependencies]\n", "", "."},
        InstallCase{"DocsDevTest",
                    "[project.optional-dependencies]\ndocs = []\ndev = []\ntest = ['pytest']\n",
                    " -e .[docs,dev,test]", ".[dev,test]"},
        InstallCase{"ProjectOrderKept",
                    "[project.optional-dependencies]\nlint = []\nzeta = []\ntest = []\n",
                    " -e .[lint,zeta,test]", ".[lint,test]"},
        InstallCase{"NoneOfTestDevLint", "[project.optional-dependencies]\ndocs = ['sphinx']\n",
                    " -e .[docs]", "."}),
    [](const auto &info) { return info.param.name; });

} // namespace
