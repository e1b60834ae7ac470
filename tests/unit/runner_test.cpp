#include "tarvo/venv/runner.hpp"

#include "harness.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/process/programs.hpp"
#include "tarvo/repr.hpp"

#include <cstdlib>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace tarvo::venv;
using namespace std::chrono_literals;
using namespace tarvo::testing;
namespace fs = std::filesystem;

std::string repr(const std::optional<std::string> &text) {
  return text ? tarvo::repr(*text) : "None";
}

// The runners decide by our own standard output whether it is a terminal, so these tests run
// them in a process of their own: with TARVO_RUNNER_DRIVER set, this test binary makes one
// runner call before any test starts, reports on standard error and exits.
//   TARVO_RUNNER_DRIVER  "spinner" or "chronic"
//   TARVO_RUNNER_ACTION  the status text
//   TARVO_RUNNER_ARGS    the argument vector, one argument per line
//   TARVO_RUNNER_CHECK   "1" for spinner's chronic or chronic's check
// The report is "returncode=N stdout=TEXT stderr=TEXT", or "Kind: message" for an error.
const bool runner_driver = [] {
  const char *mode = std::getenv("TARVO_RUNNER_DRIVER");
  if (mode == nullptr) {
    return false;
  }
  auto args = split(std::getenv("TARVO_RUNNER_ARGS"), '\n');
  bool check = std::string(std::getenv("TARVO_RUNNER_CHECK")) == "1";
  int status = 0;
  try {
    auto done =
        std::string(mode) == "spinner"
            ? spinner(tarvo::process::Context(), std::getenv("TARVO_RUNNER_ACTION"), args, check)
            : chronic(tarvo::process::Context(), args, std::nullopt, check);
    std::fflush(stdout);
    fmt::print(stderr, "returncode={} stdout={} stderr={}\n", done.returncode,
               repr(done.stdout_text), repr(done.stderr_text));
  } catch (const tarvo::Error &e) {
    std::fflush(stdout);
    fmt::print(stderr, "{}\n", error_line(e));
    status = 1;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}();

struct Call {
  std::string mode;
  std::string action;
  std::vector<std::string> args;
  bool check = true;
};

tarvo::testing::RunOptions driver(const Call &call) {
  std::string args;
  for (const auto &arg : call.args) {
    args += (args.empty() ? "" : "\n") + arg;
  }
  tarvo::testing::RunOptions options;
  options.env = {{"TARVO_RUNNER_DRIVER", call.mode},
                 {"TARVO_RUNNER_ACTION", call.action},
                 {"TARVO_RUNNER_ARGS", args},
                 {"TARVO_RUNNER_CHECK", call.check ? "1" : "0"}};
  return options;
}

std::vector<std::string> self() { return {tarvo::process::running_executable().string()}; }

std::vector<std::string> shell(const std::string &script) { return {"sh", "-c", script}; }

std::string failure(const std::string &script, int status) {
  return fmt::format("CalledProcessError: Command '['sh', '-c', {}]' returned non-zero exit "
                     "status {}.\n",
                     tarvo::repr(script), status);
}

struct PipeCase {
  std::string name;
  Call call;
  std::string out;
  std::string err;
};

class RunnerOnPipeTest : public ::testing::TestWithParam<PipeCase> {};

TEST_P(RunnerOnPipeTest, WritesProgressAndFailuresOnly) {
  auto result = run(self(), driver(GetParam().call));
  EXPECT_EQ(result.out, GetParam().out);
  EXPECT_EQ(result.err, GetParam().err);
}

const std::string FAILING = "echo out; echo err >&2; exit 4";

// pip's words as a build step passes them on: indented and wrapped. The script has them on one
// line (the driver takes one argument a line), for printf to break.
const std::string NONE_FOUND_ERR =
    "  ERROR: Could not find a version that satisfies the requirement\n  editables~=0.3 (from "
    "versions: none)\n  ERROR: No matching distribution found for editables~=0.3\n";
const std::string NONE_FOUND =
    "echo 'Looking in links: /w'; printf '  ERROR: Could not find a version that satisfies the "
    "requirement\\n  editables~=0.3 (from versions: none)\\n  ERROR: No matching distribution "
    "found for editables~=0.3\\n' >&2; exit 1";

INSTANTIATE_TEST_SUITE_P(
    Calls, RunnerOnPipeTest,
    ::testing::Values(PipeCase{"SpinnerSucceeds",
                               {"spinner", "Upgrading pip", shell("echo out; echo err >&2")},
                               "Upgrading pip...\n",
                               "returncode=0 stdout='out\\n' stderr='err\\n'\n"},
                      PipeCase{"SpinnerFailsWithErrorTextOnly",
                               {"spinner", "Upgrading pip", shell("echo err >&2; exit 2")},
                               "Upgrading pip...\n",
                               "err\n\n" + failure("echo err >&2; exit 2", 2)},
                      PipeCase{"SpinnerWithoutChronicReturnsFailure",
                               {"spinner", "Upgrading pip", shell(FAILING), false},
                               "Upgrading pip...\n",
                               "returncode=4 stdout='out\\n' stderr='err\\n'\n"},
                      PipeCase{"SpinnerSignalIsAFailure",
                               {"spinner", "Installing", shell("kill -9 $$")},
                               "Installing...\n",
                               "CalledProcessError: Command '['sh', '-c', 'kill -9 $$']' died "
                               "with signal 9.\n"},
                      PipeCase{"ChronicSucceedsSilently",
                               {"chronic", "", shell("echo out; echo err >&2")},
                               "",
                               "returncode=0 stdout='out\\n' stderr='err\\n'\n"},
                      PipeCase{"ChronicFailureIsEchoedAndRaised",
                               {"chronic", "", shell(FAILING)},
                               "out\n\n",
                               "err\n\n" + failure(FAILING, 4)},
                      PipeCase{"ChronicWithoutCheckEchoesAndReturns",
                               {"chronic", "", shell(FAILING), false},
                               "out\n\n",
                               "err\n\nreturncode=4 stdout='out\\n' stderr='err\\n'\n"},
                      // pip found no version at all: it names the requirement and the way in.
                      PipeCase{"SpinnerNamesWhatNoIndexOffered",
                               {"spinner", "Installing test tools", shell(NONE_FOUND)},
                               "Installing test tools...\nLooking in links: /w\n\n",
                               NONE_FOUND_ERR +
                                   "\nHint: no wheel of editables~=0.3 is at hand "
                                   "(no package index here?): download it into a "
                                   "folder and add the folder to PIP_FIND_LINKS\n" +
                                   failure(NONE_FOUND, 1)},
                      PipeCase{"ChronicSkipsEmptyOutput",
                               {"chronic", "", shell("exit 1")},
                               "",
                               failure("exit 1", 1)}),
    [](const auto &info) { return info.param.name; });

TEST(RunnerTest, ChronicGivesTheChildExactlyTheEnvironment) {
  auto done =
      chronic(tarvo::process::Context(), {"env"}, tarvo::process::Environment{{"ONLY", "x"}});
  EXPECT_EQ(done.stdout_text, "ONLY=x\n");
}

std::string blank(std::size_t width) { return "\r" + std::string(width, ' ') + "\r"; }

struct BlankCase {
  std::string action;
  std::size_t spaces;
};

class SpinnerBlankingTest : public ::testing::TestWithParam<BlankCase> {};

// A child that ends within the first period shows the first frame only, then a blank line
// exactly as wide as the status line.
TEST_P(SpinnerBlankingTest, QuickChildShowsFirstFrameThenBlanks) {
  const auto &action = GetParam().action;
  auto result = run_in_pty(self(), driver({"spinner", action, {"true"}}));
  EXPECT_EQ(result.screen, action + ": [⠋]" + blank(GetParam().spaces));
  EXPECT_EQ(result.err, "returncode=0 stdout='' stderr=''\n");
}

INSTANTIATE_TEST_SUITE_P(Actions, SpinnerBlankingTest,
                         ::testing::Values(BlankCase{"Upgrading pip", 18}, BlankCase{"Prüfe ✓", 12},
                                           BlankCase{"x", 6}));

TEST(SpinnerTest, FramesAdvanceInOrderAtMostTenTimesASecond) {
  auto result = run_in_pty(self(), driver({"spinner", "Spin", {"sleep", "1.3"}}));
  ASSERT_EQ(result.status, 0) << result.err;

  auto parts = split(result.screen, '\r');
  ASSERT_GE(parts.size(), 3u) << result.screen;
  EXPECT_EQ(parts.back(), "");
  EXPECT_EQ(parts[parts.size() - 2], std::string(9, ' '));
  std::size_t drawings = parts.size() - 2;
  EXPECT_GE(drawings, 12u) << result.screen; // the frame wraps round to the first
  EXPECT_LE(drawings, 15u) << result.screen;
  for (std::size_t i = 0; i < drawings; ++i) {
    EXPECT_EQ(parts[i], fmt::format("Spin: [{}]", tarvo::console::SPINNER_FRAMES[i % 10]));
  }

  // The n-th redraw comes no sooner than n periods after the first status line.
  ASSERT_FALSE(result.chunks.empty());
  auto first = result.chunks.front().at;
  std::size_t redraws = 0;
  for (const auto &chunk : result.chunks) {
    for (std::size_t at = 0; (at = chunk.bytes.find("\rSpin: [", at)) != std::string::npos; ++at) {
      ++redraws;
    }
    EXPECT_GE(chunk.at - first + 15ms, redraws * 100ms) << "redraw " << redraws;
  }
  EXPECT_EQ(redraws, drawings - 1);
}

TEST(SpinnerTest, FailureIsEchoedAfterTheBlankLine) {
  const std::string script = "echo out; echo err >&2; exit 3";
  auto result = run_in_pty(self(), driver({"spinner", "Installing", shell(script)}));
  EXPECT_EQ(result.screen, "Installing: [⠋]" + blank(15) + "out\r\n\r\n");
  EXPECT_EQ(result.err, "err\n\n" + failure(script, 3));
  EXPECT_EQ(result.status, 1);
}

TEST(SpinnerTest, ProgramThatCannotStartLeavesTheStatusLine) {
  auto result =
      run_in_pty(self(), driver({"spinner", "Installing", {"tarvo-no-such-program", "x"}}));
  EXPECT_EQ(result.screen, "Installing: [⠋]");
  EXPECT_EQ(result.err, "FileNotFoundError: [Errno 2] No such file or directory: "
                        "'tarvo-no-such-program'\n");
}

} // namespace
