// tarvo lint: with stand-in checks (the stub interpreter runs tools/NAME for "-um NAME") and on
// a pseudo-terminal.
#include "harness.hpp"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

const std::array<std::string, 5> CHECKS = {"ruff", "basedpyright", "dodgy", "pyroma", "tarvo"};

class LintCommand : public ::testing::Test {
protected:
  LintCommand() {
    write_file(tmp.path / "pyproject.toml",
               "[project]\nname = 'demo'\n[project.optional-dependencies]\ndev = []\ntest = []\n");
    fs::create_directories(tools);
    tool("tarvo", R"(printf 'tarvo %s\n' "$*" >>"$STUB_LOG")");
  }

  void tool(const std::string &name, const std::string &body) { write_script(tools / name, body); }

  // No tarvo on the search path but the stand-in in tools/, when there is one.
  RunOptions options() {
    RunOptions o{.cwd = tmp.path};
    o.env = {{"PATH", tools.string() + ":" + stubs_dir().string() + ":/usr/bin:/bin"},
             {"STUB_LOG", log.string()},
             {"STUB_TOOLS", tools.string()}};
    return o;
  }

  TempDir tmp;
  TempDir aux;
  fs::path tools = aux.path / "tools";
  fs::path log = aux.path / "calls";
  std::string venv = (tmp.path / ".venv").string();
};

const std::string SETUP_LINES = "Creating virtual environment...\nEnsuring pip is installed...\n"
                                "Upgrading pip...\n";

TEST_F(LintCommand, FlagsReachTheChecks) {
  struct Case {
    std::vector<std::string> args;
    std::string ruff; // ruff's arguments
    std::string self; // the self-run's arguments
  };
  for (const auto &c : std::vector<Case>{
           {{"lint"}, "check", "config-diff"},
           {{"lint", "--fix"}, "check --fix", "config-diff"},
           {{"lint", "--colour", "--workflow"}, "check", "config-diff --workflow --colour"},
       }) {
    fs::remove_all(venv); // so each run starts from nothing
    auto r = run_tarvo(c.args, options());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, SETUP_LINES + "Installing lint tools...\nInstalling requirements...\n"
                                   "Running linters...\nruff: PASS\nbasedpyright: PASS\n"
                                   "dodgy: PASS\npyroma: PASS\ntarvo: PASS\n");
    auto all = take_lines(log);
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all[3],
              venv + "/bin/pip install ruff vulture basedpyright dodgy pyroma -e .[dev,test]");
    EXPECT_EQ(all[4], venv + "/bin/pip install --quiet --editable .[dev,test]");
    std::vector<std::string> checks(all.begin() + 5, all.end());
    std::sort(checks.begin(), checks.end());
    EXPECT_EQ(checks, (std::vector<std::string>{
                          venv + "/bin/python -P -um basedpyright --project=pyproject.toml",
                          venv + "/bin/python -P -um dodgy --zero-exit",
                          venv + "/bin/python -P -um pyroma .",
                          venv + "/bin/python -P -um ruff " + c.ruff,
                          "tarvo " + c.self,
                      }));
  }
}

// The report's format and its streams are checked on run_lint; here both streams go into one
// file, where each failed check's output must stand in the order it is written.
TEST_F(LintCommand, ExitStatusIsTheNumberOfFailedChecks) {
  tool("ruff", "echo 'F401 unused'; exit 1");
  tool("tarvo", "echo 'ERROR: no licence' >&2; exit 4");
  auto merged = run({"sh", "-c", "exec \"$0\" lint 2>&1", tarvo_binary().string()}, options());
  EXPECT_EQ(merged.status, 2);
  EXPECT_NE(merged.out.find("Running linters...\nruff: FAIL (1)\nF401 unused\n\n\n"
                            "basedpyright: PASS\ndodgy: PASS\npyroma: PASS\ntarvo: FAIL (4)\n\n"
                            "ERROR: no licence\n\n2 failed\n"),
            std::string::npos)
      << merged.out;
}

TEST_F(LintCommand, FailingInstallStepShowsItsOutputOnceAndStartsNoCheck) {
  struct Case {
    std::string fail; // a text of the failing step's command line
    std::string progress;
    std::string command;
  };
  for (const auto &c : std::vector<Case>{
           {"install ruff", "Installing lint tools...\n",
            "'ruff', 'vulture', 'basedpyright', 'dodgy', 'pyroma', '-e', '.[dev,test]'"},
           {"--editable", "Installing lint tools...\nInstalling requirements...\n",
            "'--quiet', '--editable', '.[dev,test]'"},
       }) {
    fs::remove_all(venv);
    auto o = options();
    o.env["STUB_FAIL"] = c.fail;
    auto r = run_tarvo({"lint"}, o);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, SETUP_LINES + c.progress + "stub out\n\n");
    EXPECT_EQ(r.err, "stub err\n\nCalledProcessError: Command '['" + venv +
                         "/bin/pip', 'install', " + c.command +
                         "]' returned non-zero exit status 1.\n");
    for (const auto &call : take_lines(log)) {
      EXPECT_EQ(call.find(" -um "), call.find(" -um ensurepip")) << call;
      EXPECT_NE(call.rfind("tarvo", 0), 0u) << call;
    }
  }
}

TEST_F(LintCommand, SelfRunWithoutTarvoOnThePathChecksWithTheRunningExecutable) {
  fs::remove(tools / "tarvo");
  write_file(tmp.path / "pyproject.toml", "[project]\nname = 'demo'\n");
  auto r = run_tarvo({"lint"}, options());
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("pyroma: PASS\ntarvo: FAIL ("), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("ERROR: 'pyproject.toml' does not specify a 'license' value.\n"),
            std::string::npos)
      << r.err;

  write_file(tmp.path / "pyproject.toml", tiny_pyproject(false));
  r = run_tarvo({"lint"}, options());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("pyroma: PASS\ntarvo: PASS\n"), std::string::npos) << r.out;
}

// The pseudo-terminal's output after the first status line, cut at each erasing run into
// drawings of status lines; the last piece is the report. The stand-ins write "<NAME>" to the
// terminal as they end.
TEST_F(LintCommand, LiveBlockOnATerminal) {
  const std::array<std::string, 10> frames = {"⠋", "⠙", "⠹", "⠸", "⠼", "⠴", "⠦", "⠧", "⠇", "⠏"};
  tool("ruff", "sleep 0.35; printf '<ruff>' >/dev/tty");
  tool("basedpyright",
       "sleep 0.65; echo '1 error'; echo 'bp err' >&2; printf '<basedpyright>' >/dev/tty; exit 1");
  for (std::string name : {"dodgy", "pyroma", "tarvo"}) {
    tool(name, "sleep 0.9");
  }
  const std::array<std::string, 5> statuses = {"ruff: PASS", "basedpyright: FAIL (1)",
                                               "dodgy: PASS", "pyroma: PASS", "tarvo: PASS"};
  // Standard error on the terminal too, so the report shows the order of both streams.
  auto pty = run_in_pty({tarvo_binary().string(), "lint"}, options(), true);
  const std::string &screen = pty.screen;
  EXPECT_EQ(pty.status, 1);
  EXPECT_EQ(screen.find("Running linters..."), std::string::npos);
  auto start = screen.find("\rruff: [");
  ASSERT_NE(start, std::string::npos) << screen;

  auto read_at = [&](std::size_t position) {
    std::size_t offset = 0;
    for (const auto &chunk : pty.chunks) {
      if (position < (offset += chunk.bytes.size())) {
        return chunk.at;
      }
    }
    return pty.chunks.back().at;
  };
  std::string erase;
  for (int i = 0; i < 5; ++i) {
    erase += "\x1b[2K\x1b[1A";
  }
  struct Drawing {
    std::vector<std::string> lines;
    std::chrono::steady_clock::duration at; // when its first line was read
  };
  std::vector<Drawing> drawings(1);
  // For each ended check: the first drawing begun after its end, and when it ended.
  std::map<std::string, std::pair<std::size_t, std::chrono::steady_clock::duration>> ended;
  for (std::size_t i = start; i < screen.size();) {
    auto &current = drawings.back();
    if (screen.compare(i, erase.size(), erase) == 0) {
      drawings.emplace_back();
      i += erase.size();
    } else if (screen[i] == '<') {
      auto end = screen.find('>', i);
      ended[screen.substr(i + 1, end - i - 1)] = {drawings.size() - (current.lines.empty() ? 1 : 0),
                                                  read_at(i)};
      i = end + 1;
    } else {
      if (current.lines.empty()) {
        current.at = read_at(i);
      }
      auto from = screen.compare(i, 2, "\r\n") != 0 && screen[i] == '\r' ? i + 1 : i;
      auto end = screen.find("\r\n", from);
      current.lines.push_back(screen.substr(from, end - from));
      i = end == std::string::npos ? screen.size() : end + 2;
    }
  }
  auto report = drawings.back().lines;
  drawings.pop_back();

  // 0.9 s of checks at ten drawings a second.
  ASSERT_GE(drawings.size(), 5u);
  std::array<bool, 5> finished{};
  for (std::size_t k = 0; k < drawings.size(); ++k) {
    const auto &lines = drawings[k].lines;
    ASSERT_EQ(lines.size(), 5u) << "drawing " << k;
    // The frame advances before each drawing, so the first shows the second frame.
    const auto &frame = frames[(k + 1) % 10];
    for (std::size_t i = 0; i < 5; ++i) {
      if (lines[i] == statuses[i]) {
        finished[i] = true;
      } else {
        EXPECT_FALSE(finished[i]) << "drawing " << k << " shows " << CHECKS[i] << " running again";
        EXPECT_EQ(lines[i], CHECKS[i] + ": [" + frame + "]") << "drawing " << k;
      }
    }
  }
  EXPECT_EQ(drawings[0].lines[0], "ruff: [⠙]");

  // A check's line switches at the first drawing after it ended; one drawn within moments of
  // its end may still show it running, as its worker had not yet seen it exit.
  for (std::size_t i : {0u, 1u}) {
    ASSERT_TRUE(ended.count(CHECKS[i])) << CHECKS[i];
    auto [next, at] = ended[CHECKS[i]];
    for (std::size_t k = 0; k < next; ++k) {
      EXPECT_NE(drawings[k].lines[i], statuses[i]) << "before its end, drawing " << k;
    }
    ASSERT_LT(next + 1, drawings.size()) << CHECKS[i];
    if (drawings[next].at - at < std::chrono::milliseconds(30) &&
        drawings[next].lines[i] != statuses[i]) {
      ++next;
    }
    EXPECT_EQ(drawings[next].lines[i], statuses[i]) << "drawing " << next;
  }

  EXPECT_EQ(report, (std::vector<std::string>{"ruff: PASS", "basedpyright: FAIL (1)", "1 error", "",
                                              "bp err", "", "dodgy: PASS", "pyroma: PASS",
                                              "tarvo: PASS", "1 failed"}));
}

} // namespace
