// Interrupts with real signals: Ctrl-C typed on a pseudo-terminal and signals sent to tarvo
// alone, with stand-in children that record their ids and, once signalled, whether tarvo was
// still waiting for them when they ended. pidfds only name the children that tarvo signals by
// themselves (those that share its process group): the cases that once lost races under load,
// and the one where such a child is signalled, run with pidfd_open working and refused
// (InterruptRaces, which tests/stress/stress.sh repeats); the others with it working.
#include "harness.hpp"
#include "tarvo/platform.hpp"

#include <csignal>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace tarvo::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> CHECKS = {"ruff", "basedpyright", "dodgy", "pyroma", "tarvo"};

// A column of ps(1) for process `pid` ("stat": its state, first letter "R", "S", "Z"...;
// "command": its command line), or "" once it is gone (ps then fails with status 1). ps says
// the same on Linux, macOS and the BSDs, where there may be no /proc.
std::string ps(const std::string &pid, const std::string &column) {
  auto r = run({"ps", "-o", column + "=", "-p", pid});
  EXPECT_TRUE(r.status == 0 || (r.status == 1 && r.out.empty())) << "ps: " << r.err;
  auto first = r.out.find_first_not_of(" \t\n");
  return first == std::string::npos ? "" : r.out.substr(first);
}

// The process has ended (gone, or a zombie not yet waited for).
bool ended(const std::string &pid) {
  auto state = ps(pid, "stat");
  return state.empty() || state[0] == 'Z';
}

// Ends 0.3 s after any of the three signals, noting tarvo's state ("S", "R": still waiting;
// "Z": already gone) in $MARKS/late. Its own output is `output` and, once signalled, `last`.
std::string patient(const std::string &output = "", const std::string &last = "") {
  return fmt::format(R"(echo $$ >>"$MARKS/pids"
printf '{}'
trap 'sleep 0.3; printf "{}"
s=$(ps -o stat= -p $PPID | sed -n "s/^ *\(.\).*/\1/p")
echo "${{s:-gone}}" >>"$MARKS/late"; exit 130' INT TERM HUP
while :; do sleep 0.05; done)",
                     output, last);
}

// Ignores `signals` and sleeps on.
std::string stubborn(const std::string &signals) {
  return "trap '' " + signals + "\necho $$ >>\"$MARKS/pids\"\nexec sleep 30";
}

class Interrupts : public ::testing::TestWithParam<bool> {
protected:
  Interrupts() {
    write_file(tmp.path / "pyproject.toml", "[project]\nname = 'demo'\n");
    fs::create_directories(tmp.path / "tests");
    fs::create_directories(tools);
  }
  // A stand-in that a failing case left behind would loop forever; an id now used by another
  // program is left alone.
  ~Interrupts() override {
    for (const auto &pid : lines("pids")) {
      if (ps(pid, "command").find(tools.string()) != std::string::npos) {
        kill(std::stoi(pid), SIGKILL);
      }
    }
  }

  void tool(const std::string &name, const std::string &body) { write_script(tools / name, body); }

  RunOptions options(std::function<void(pid_t, int)> meanwhile) {
    RunOptions o{.cwd = tmp.path};
    o.env = {{"PATH", tools.string() + ":" + stubs_dir().string() + ":/usr/bin:/bin"},
             {"STUB_TOOLS", tools.string()},
             {"MARKS", marks.path.string()}};
    if (GetParam()) {
      o.env["LD_PRELOAD"] = NO_PIDFD_SHIM;
    }
    o.meanwhile = std::move(meanwhile);
    return o;
  }

  std::vector<std::string> lines(const std::string &name) {
    auto path = marks.path / name;
    if (!fs::exists(path)) {
      return {};
    }
    auto out = split(read_file(path), '\n');
    out.pop_back();
    return out;
  }

  // Waits until `count` stand-ins have started, and a little more for the display to draw.
  void wait_for_start(std::size_t count) {
    for (int i = 0; i < 200 && lines("pids").size() < count; ++i) {
      std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(250ms);
  }

  // Every stand-in that tarvo started has ended.
  void expect_no_child_left() {
    for (const auto &pid : lines("pids")) {
      EXPECT_TRUE(ended(pid)) << "stand-in " << pid << " still runs";
    }
  }

  // Each signalled stand-in saw tarvo still waiting when it ended.
  void expect_tarvo_waited(std::size_t count) {
    auto late = lines("late");
    EXPECT_EQ(late.size(), count);
    for (const auto &state : late) {
      EXPECT_TRUE(state == "S" || state == "R") << "tarvo was " << state;
    }
  }

  // Types Ctrl-C on the terminal once `started` stand-ins run, a second time after 0.5 s.
  std::function<void(pid_t, int)> ctrl_c(std::size_t started, int times = 1) {
    return [this, started, times](pid_t, int terminal) {
      wait_for_start(started);
      for (int i = 0; i < times; ++i) {
        if (i > 0) {
          std::this_thread::sleep_for(500ms);
        }
        ASSERT_EQ(write(terminal, "\x03", 1), 1);
        signalled = std::chrono::steady_clock::now();
      }
    };
  }

  // Sends `signal` to tarvo alone once `started` stand-ins run.
  std::function<void(pid_t, int)> send(int signal, std::size_t started) {
    return [this, signal, started](pid_t tarvo, int) {
      wait_for_start(started);
      signalled = std::chrono::steady_clock::now();
      kill(tarvo, signal);
    };
  }

  // How long tarvo ran after the last signal.
  std::chrono::steady_clock::duration since_signal() const {
    return std::chrono::steady_clock::now() - signalled;
  }

  std::chrono::steady_clock::time_point signalled;
  TempDir tmp;
  TempDir marks;
  fs::path tools = marks.path / "tools";
};

} // namespace

class InterruptRaces : public Interrupts {};

TEST_P(Interrupts, CtrlCDuringLintWaitsForEveryCheckAndClearsTheBlock) {
  for (const auto &name : CHECKS) {
    tool(name, patient());
  }
  auto r = run_in_pty({tarvo_binary().string(), "lint"}, options(ctrl_c(5)));
  EXPECT_EQ(r.status, 130) << r.screen << r.err;
  expect_tarvo_waited(5);
  expect_no_child_left();
  // The live block was drawn, then erased line by line, ending on a clean first line.
  EXPECT_NE(r.screen.find("ruff: ["), std::string::npos) << r.screen;
  EXPECT_TRUE(r.screen.ends_with("\x1b[2K\r")) << r.screen;
  EXPECT_EQ(r.screen.find("PASS"), std::string::npos) << r.screen;
}

TEST_P(Interrupts, CtrlCDuringTestShowsTheTestRunnersLastWordsFirst) {
  tool("pytest", patient("collected 1 item\\n", "== 1 interrupted ==\\n"));
  auto r = run_in_pty({tarvo_binary().string(), "test"}, options(ctrl_c(1)));
  // pytest's own status would be 2; the command was interrupted.
  EXPECT_EQ(r.status, 130) << r.screen << r.err;
  EXPECT_NE(r.screen.find("== 1 interrupted ==\r\n"), std::string::npos) << r.screen;
  expect_tarvo_waited(1);
  expect_no_child_left();
}

TEST_P(Interrupts, CtrlCDuringAnInstallationStepBlanksTheSpinner) {
  tool("pip", "case \"$*\" in *--editable*) ;; *) exit 0 ;; esac\n" + patient());
  auto r = run_in_pty({tarvo_binary().string(), "requirements"}, options(ctrl_c(1)));
  EXPECT_EQ(r.status, 130) << r.screen << r.err;
  EXPECT_NE(r.screen.find("Installing requirements: ["), std::string::npos) << r.screen;
  EXPECT_TRUE(r.screen.ends_with("\r" + std::string(28, ' ') + "\r")) << r.screen;
  EXPECT_EQ(r.err, "");
  expect_tarvo_waited(1);
  expect_no_child_left();
}

TEST_P(Interrupts, SecondCtrlCKillsChildrenThatIgnoredTheFirst) {
  for (const auto &name : CHECKS) {
    tool(name, stubborn("INT"));
  }
  auto r = run_in_pty({tarvo_binary().string(), "lint"}, options(ctrl_c(5, 2)));
  EXPECT_EQ(r.status, 130) << r.screen << r.err;
  // At once, not after the grace period.
  EXPECT_LT(since_signal(), 3s);
  expect_no_child_left();
}

TEST_P(Interrupts, SignalsSentToTarvoAloneAreForwarded) {
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    fs::remove_all(tmp.path / ".venv");
    for (const auto &file : {"pids", "late"}) {
      fs::remove(marks.path / file);
    }
    for (const auto &name : CHECKS) {
      tool(name, patient());
    }
    auto r = run({tarvo_binary().string(), "lint"}, options(send(signal, 5)));
    EXPECT_EQ(r.status, 128 + signal) << r.out << r.err;
    expect_tarvo_waited(5);
    expect_no_child_left();
    EXPECT_EQ(r.out.find("PASS"), std::string::npos) << r.out;
  }
}

// SIGINT from a program to tarvo's whole process group, as a terminal's Ctrl-C reaches it but
// not marked as the terminal's: passed on to the checks, which run in groups of their own.
TEST_P(InterruptRaces, SigintToTarvosGroupDuringLint) {
  for (const auto &name : CHECKS) {
    tool(name, patient());
  }
  auto r = run_in_pty({tarvo_binary().string(), "lint"}, options([this](pid_t tarvo, int) {
                        wait_for_start(5);
                        signalled = std::chrono::steady_clock::now();
                        kill(-tarvo, SIGINT);
                      }));
  EXPECT_EQ(r.status, 130) << r.screen << r.err;
  expect_tarvo_waited(5);
  expect_no_child_left();
}

// pip's build steps and a linter's helpers run below the child that tarvo started: the signal
// reaches them through the child's own process group, and nothing holds the capture open.
TEST_P(InterruptRaces, SignalReachesWhatACapturedStepStarted) {
  tool("pip", "case \"$*\" in *--editable*) ;; *) exit 0 ;; esac\n"
              "echo $$ >>\"$MARKS/pids\"\nsleep 30 &\necho $! >>\"$MARKS/pids\"\nwait\n");
  auto r = run({tarvo_binary().string(), "requirements"}, options(send(SIGTERM, 2)));
  EXPECT_EQ(r.status, 143) << r.out << r.err;
  // Well within the grace period.
  EXPECT_LT(since_signal(), 3s);
  expect_no_child_left();
}

// Killing a docker client leaves its container running: the container is stopped and removed
// by the name its run was given.
TEST_P(Interrupts, InterruptedContainerIsStoppedByName) {
  // An engine that does not tell its architecture: this machine's decides.
  tool("docker", "case $1 in version) exit 1 ;; esac\n"
                 "case $1 in run) echo \"$1 $2\" ;; *) echo \"$*\" ;; esac >>\"$MARKS/docker\"\n"
                 "case $1 in run) ;; *) exit 0 ;; esac\n" +
                     patient());
  auto r = run({tarvo_binary().string(), "build", "--wheel"}, options(send(SIGTERM, 1)));
  EXPECT_EQ(r.status, 143) << r.out << r.err;
  auto calls = lines("docker");
  // Removed at the interrupt, and once more after its client has ended, in case the client
  // made it only then.
  ASSERT_EQ(calls.size(), 4u) << ::testing::PrintToString(calls);
  ASSERT_TRUE(calls[1].starts_with("run --name=tarvo-")) << calls[1];
  auto name = calls[1].substr(11);
  for (int i : {2, 3}) {
    EXPECT_EQ(calls[i], "rm --force --volumes " + name);
  }
  EXPECT_TRUE(r.err.ends_with("Interrupted: stopped and removed the wheel build (container " +
                              name + "); nothing was written to the project\n"))
      << r.err;
  expect_tarvo_waited(1);
  expect_no_child_left();
}

// An engine that takes 20 s for every stop and remove, and a container that ignores signals:
// the clean-up ends at its deadline, or at once with a second Ctrl-C, and the last line says
// the container may still run, with the command that removes it. Nothing of the clean-up is
// left running, nor finishes after tarvo.
TEST_P(Interrupts, SlowEngineCleanUpIsBoundedAndSaysWhatIsLeft) {
  tool("docker", "case $1 in --version) exit 0 ;; version) exit 1 ;; run) echo \"$1 $2\" "
                 ">>\"$MARKS/docker\" ;; "
                 "*) echo \"$*\" "
                 ">>\"$MARKS/docker\"; echo $$ >>\"$MARKS/pids\"; sleep 20; touch "
                 "\"$MARKS/tidied\"; exit 0 ;; esac\n" +
                     stubborn("INT TERM HUP"));
  for (int times : {2, 1}) {
    SCOPED_TRACE(times);
    fs::remove(marks.path / "docker");
    auto r = run_in_pty({tarvo_binary().string(), "build", "--wheel"}, options(ctrl_c(1, times)));
    EXPECT_EQ(r.status, 130) << r.screen << r.err;
    auto calls = lines("docker");
    ASSERT_FALSE(calls.empty());
    ASSERT_TRUE(calls[0].starts_with("run --name=tarvo-")) << calls[0];
    auto name = calls[0].substr(11);
    EXPECT_TRUE(r.err.ends_with("Interrupted: the wheel build was not confirmed stopped: its "
                                "container " +
                                name +
                                " may still be running; remove it with: docker rm --force "
                                "--volumes " +
                                name + "\n"))
        << r.err;
    expect_no_child_left();
    EXPECT_FALSE(fs::exists(marks.path / "tidied"));
  }
}

// What a step's leader leaves in its group ends with it, holding our pipe or not; what left the
// group (a daemon) is read from for a short drain only, and outlives tarvo.
TEST_P(Interrupts, StepLeftoversEndWithTheStep) {
  tool("linger", "echo $$ >>\"$MARKS/$1\"\nwhile :; do sleep 0.05; done");
  tool("pip", "case \"$*\" in *--editable*) ;; *) exit 0 ;; esac\n"
              "echo $$ >>\"$MARKS/pids\"\n\"$STUB_TOOLS/linger\" pids &\n"
              "setsid \"$STUB_TOOLS/linger\" daemon </dev/null 2>/dev/null &\n"
              "until [ -s \"$MARKS/daemon\" ] && [ \"$(wc -l <\"$MARKS/pids\")\" -eq 2 ]; do\n"
              "  sleep 0.01\ndone\n");
  auto r = run({tarvo_binary().string(), "requirements"}, options({}));
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(lines("pids").size(), 2u);
  expect_no_child_left();
  // The daemon is outside the rule: it lives on, and is ended here.
  auto daemon = lines("daemon");
  ASSERT_EQ(daemon.size(), 1u);
  EXPECT_EQ(kill(std::stoi(daemon[0]), SIGKILL), 0);
}

// Background jobs of a shell ignore SIGINT: when the step's leader has gone, the rest of its
// group is asked to end (SIGTERM) at once instead of being killed after the grace period.
TEST_P(InterruptRaces, CtrlCEndsWhatTheStepLeftInTheBackground) {
  tool("job", "echo $$ >>\"$MARKS/pids\"\ntrap 'echo TERM >>\"$MARKS/late\"; exit 143' TERM\n"
              "while :; do sleep 0.05; done");
  tool("pip", "case \"$*\" in *--editable*) ;; *) exit 0 ;; esac\n"
              "echo $$ >>\"$MARKS/pids\"\n\"$STUB_TOOLS/job\" &\nwait\n");
  auto r = run_in_pty({tarvo_binary().string(), "requirements"}, options(ctrl_c(2)));
  EXPECT_EQ(r.status, 130) << r.screen << r.err;
  EXPECT_EQ(lines("late"), std::vector<std::string>{"TERM"});
  expect_no_child_left();
}

// A captured step that reads the terminal (a password prompt) is lent it: the prompt and the
// typed answer pass, and the spinner is gone meanwhile.
TEST_P(Interrupts, StepThatReadsTheTerminalGetsItsAnswer) {
  tool("pip", "case \"$*\" in *--editable*) ;; *) exit 0 ;; esac\n"
              "printf 'Password: ' >/dev/tty\nread answer </dev/tty\n"
              "echo \"$answer\" >\"$MARKS/answer\"\n");
  auto o = options({});
  o.input = "secret\n";
  auto r = run_in_pty({tarvo_binary().string(), "requirements"}, o);
  EXPECT_EQ(r.status, 0) << r.screen << r.err;
  EXPECT_EQ(lines("answer"), std::vector<std::string>{"secret"});
  // The spinner's line made way: its 28 characters were deleted, leaving the prompt at the start
  // of the line and the cursor after it.
  EXPECT_NE(r.screen.find("]Password: \x1b"
                          "7\r\x1b[28P\x1b"
                          "8\x1b[28D"),
            std::string::npos)
      << r.screen;
}

// Where tarvo does not hold the terminal (started in a process group of its own, in the
// background), a step stopped for it cannot be answered: it is ended, and the error names it.
TEST_P(Interrupts, StepThatReadsATerminalTarvoDoesNotHoldIsEnded) {
  tool("pip", "case \"$*\" in *--editable*) ;; *) exit 0 ;; esac\n"
              "echo $$ >>\"$MARKS/pids\"\nread answer </dev/tty\n");
  const char *in_background = "import os, sys\n"
                              "pid = os.fork()\n"
                              "if pid == 0:\n"
                              "    os.setpgid(0, 0)\n"
                              "    os.execv(sys.argv[1], sys.argv[1:])\n"
                              "sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))\n";
  auto r = run_in_pty({"python3", "-c", in_background, tarvo_binary().string(), "requirements"},
                      options({}));
  EXPECT_EQ(r.status, 1) << r.screen << r.err;
  EXPECT_TRUE(r.err.starts_with("RuntimeError: Command '['" +
                                (tmp.path / ".venv/bin/pip").string() +
                                "', 'install', '--quiet', '--editable', '.']' stopped to use the "
                                "terminal"))
      << r.err;
  expect_no_child_left();
}

// Without a terminal (CI), pytest runs in a process group of its own: a signal to tarvo reaches
// what pytest started too.
TEST_P(Interrupts, TestWithoutATerminalSignalsWhatPytestStarted) {
  tool("pytest", "echo $$ >>\"$MARKS/pids\"\nsleep 30 &\necho $! >>\"$MARKS/pids\"\nwait\n");
  auto r = run({tarvo_binary().string(), "test"}, options(send(SIGTERM, 2)));
  EXPECT_EQ(r.status, 143) << r.out << r.err;
  expect_no_child_left();
}

// Killed outright, tarvo takes its running step with it.
TEST_P(Interrupts, KilledTarvoTakesItsStepWithIt) {
  if (!TARVO_LINUX_CALLS) {
    GTEST_SKIP() << "only Linux kills a child when its parent is killed outright";
  }
  tool("pip", "case \"$*\" in *--editable*) ;; *) exit 0 ;; esac\n" + patient());
  auto r = run({tarvo_binary().string(), "requirements"}, options(send(SIGKILL, 1)));
  EXPECT_EQ(r.status, -SIGKILL);
  for (int i = 0; i < 100 && !lines("pids").empty() && !ended(lines("pids")[0]); ++i) {
    std::this_thread::sleep_for(50ms);
  }
  expect_no_child_left();
}

// A test runner on the terminal shares tarvo's process group: a signal sent to tarvo alone is
// passed on to it by its pidfd, or by its id where there is none.
TEST_P(InterruptRaces, SignalsSentToTarvoAloneReachATestOnTheTerminal) {
  tool("pytest", patient());
  auto r = run_in_pty({tarvo_binary().string(), "test"}, options(send(SIGTERM, 1)));
  EXPECT_EQ(r.status, 143) << r.screen << r.err;
  expect_tarvo_waited(1);
  expect_no_child_left();
}

auto wait_name = [](const auto &info) { return info.param ? "WithoutPidfd" : "Pidfd"; };
INSTANTIATE_TEST_SUITE_P(Waits, Interrupts, ::testing::Values(false), wait_name);
INSTANTIATE_TEST_SUITE_P(Waits, InterruptRaces, ::testing::Values(false, true), wait_name);
