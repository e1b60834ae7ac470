// One tarvo at a time in a project: status waits for a command that holds the project, from any
// folder of it, and says what holds it; a --no-sync status that only reads does not wait; a tarvo
// that the running command itself started works under its lock, also through Python's
// subprocess, which closes descriptors; and neither a forged token nor Ctrl-C lets a waiting one
// in. The holder is a `requirements` whose stand-in pip stays until the test releases it.
#include "harness.hpp"

#include <csignal>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using namespace tarvo::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr const char *WAITING = "Waiting for ";

class ProjectLock : public ::testing::Test {
protected:
  ProjectLock() {
    write_file(tmp.path / "pyproject.toml", "[project]\nname = 'demo'\nversion = '1.0'\n");
    fs::create_directories(tmp.path / "demo");
    fs::create_directories(tools);
    // The editable install marks that it runs, then stays until released.
    write_script(tools / "pip", "case \"$*\" in *--editable*)\n  touch \"$MARKS/started\"\n"
                                "  while [ ! -e \"$MARKS/release\" ]; do sleep 0.05; done ;;\n"
                                "esac\n");
  }

  RunOptions options() {
    RunOptions o{.cwd = tmp.path};
    o.env = {{"PATH", stubs_dir().string() + ":/usr/bin:/bin"},
             {"STUB_TOOLS", tools.string()},
             {"MARKS", marks.path.string()},
             {"TARVO", tarvo_binary().string()}};
    return o;
  }

  // Runs `requirements`, which holds the project until release(), and `while_held` once its
  // step has started.
  Output hold(const std::function<void()> &while_held) {
    auto o = options();
    o.meanwhile = [&](pid_t, int) {
      wait_for(marks.path / "started");
      while_held();
      release();
    };
    return run_tarvo({"requirements"}, o);
  }

  void release() { write_file(marks.path / "release", ""); }

  // Ready for the next holder: no mark of the last one is left to mislead the waits.
  void reset() {
    for (const char *mark : {"started", "release", "err"}) {
      fs::remove(marks.path / mark);
    }
  }

  static void wait_for(const fs::path &mark, const std::string &text = "") {
    for (int i = 0; i < 1200; ++i) {
      if (fs::exists(mark) && read_file(mark).find(text) != std::string::npos) {
        return;
      }
      std::this_thread::sleep_for(25ms);
    }
    FAIL() << mark << " never held " << text;
  }

  // Starts `args` with its standard error written to a file, and returns once it waits for
  // the lock.
  std::future<Output> start_waiting(const std::vector<std::string> &args,
                                    std::map<std::string, std::optional<std::string>> env = {}) {
    auto o = options();
    for (auto &[name, value] : env) {
      o.env[name] = value;
    }
    auto err = marks.path / "err";
    std::vector<std::string> argv = {"sh", "-c", "exec \"$@\" 2>\"$MARKS/err\"", "sh",
                                     tarvo_binary().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    auto waiting = std::async(std::launch::async, [argv, o] { return run(argv, o); });
    wait_for(err, WAITING);
    return waiting;
  }

  TempDir tmp;
  TempDir marks;
  fs::path tools = marks.path / "tools";
};

} // namespace

TEST_F(ProjectLock, StatusWaitsForACommandThatHoldsTheProject) {
  std::future<Output> status;
  auto held = hold([&] { status = start_waiting({"status"}); });
  EXPECT_EQ(held.status, 0) << held.err;
  auto waited = status.get();
  EXPECT_EQ(waited.status, 0) << waited.err;
  EXPECT_TRUE(waited.out.ends_with("Project: demo-1.0\nDocker: installed\nVenv: installed\n"))
      << waited.out;
  // The line names the holder.
  auto err = read_file(marks.path / "err");
  EXPECT_TRUE(err.starts_with("Waiting for another tarvo in this project to finish (pid ")) << err;
  EXPECT_TRUE(err.ends_with(": " + tarvo_binary().string() + " requirements)...\n")) << err;
}

// The lock is the project's, not the current folder's: a command in a folder of the project
// waits too.
TEST_F(ProjectLock, CommandInAFolderOfTheProjectWaits) {
  std::future<Output> clean;
  auto held = hold([&] {
    clean = start_waiting({"-C", "demo", "clean"});
    EXPECT_EQ(clean.wait_for(300ms), std::future_status::timeout);
  });
  EXPECT_EQ(held.status, 0) << held.err;
  EXPECT_EQ(clean.get().status, 0);
}

TEST_F(ProjectLock, StatusThatOnlyReadsNeverWaits) {
  release();
  ASSERT_EQ(run_tarvo({"requirements"}, options()).status, 0);
  reset();
  Output status;
  auto held = hold([&] { status = run_tarvo({"--no-sync", "status"}, options()); });
  EXPECT_EQ(held.status, 0) << held.err;
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(status.out, "Project: demo-1.0\nDocker: installed\nVenv: installed\n");
  EXPECT_EQ(status.err, "");
}

// pytest running tarvo in the project it tests: the inner tarvo is a descendant of the lock's
// holder, which it proves by holding the lock's own descriptor.
TEST_F(ProjectLock, TarvoStartedByTheRunningCommandWorksUnderItsLock) {
  write_script(tools / "pytest", "exec \"$TARVO\" clean");
  fs::create_directories(tmp.path / "tests");
  auto o = options();
  auto r = run_tarvo({"test"}, o);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.ends_with("Cleaning build artifacts...\nClean complete\n")) << r.out;
  EXPECT_EQ(r.err.find("Waiting"), std::string::npos) << r.err;
}

// pytest's own subprocess.run closes every descriptor but the standard ones: the inner tarvo
// (in a folder of the project) is known by its ancestry instead.
TEST_F(ProjectLock, TarvoStartedThroughPythonsSubprocessWorksUnderItsLock) {
  write_script(tools / "pytest",
               "exec python3 -c 'import os, subprocess, sys; sys.exit(subprocess.run("
               "[os.environ[\"TARVO\"], \"-C\", \"demo\", \"clean\"]).returncode)'");
  fs::create_directories(tmp.path / "tests");
  auto o = options();
  o.env["PATH"] = stubs_dir().string() + ":/usr/local/bin:/usr/bin:/bin";
  auto r = run_tarvo({"test"}, o);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.ends_with("Cleaning build artifacts...\nClean complete\n")) << r.out;
  EXPECT_EQ(r.err.find("Waiting"), std::string::npos) << r.err;
}

// A test server that daemonizes leaves the step's group with the lock's descriptor; the next
// command must not wait for it.
TEST_F(ProjectLock, DaemonLeftByAStepDoesNotHoldTheProject) {
  write_script(tools / "pip", "case \"$*\" in *--editable*)\n"
                              "  setsid sh -c 'echo $$ >\"$MARKS/daemon\"; exec sleep 30' &\n"
                              "  while [ ! -s \"$MARKS/daemon\" ]; do sleep 0.01; done ;;\nesac\n");
  ASSERT_EQ(run_tarvo({"requirements"}, options()).status, 0);
  auto again = run_tarvo({"clean"}, options());
  ::kill(std::stoi(read_file(marks.path / "daemon")), SIGKILL);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err, "");
}

// Killed outright, a tarvo leaves the lock with what its steps left running: the next one says
// which process holds it, and goes on once that ends.
TEST_F(ProjectLock, LockLeftByAKilledTarvoNamesItsHolder) {
#if !defined(__linux__)
  GTEST_SKIP() << "only Linux tells which process holds a folder open (/proc)";
#endif
  write_script(tools / "pip", "case \"$*\" in *--editable*)\n"
                              "  setsid sh -c 'echo $$ >\"$MARKS/daemon\"; exec sleep 30' &\n"
                              "  while [ ! -s \"$MARKS/daemon\" ]; do sleep 0.01; done\n"
                              "  echo $$ >\"$MARKS/step\"; touch \"$MARKS/started\"\n"
                              "  exec sleep 30 ;;\nesac\n");
  auto o = options();
  // The step goes with tarvo (Linux's parent-death signal does that; elsewhere the test does):
  // only the daemon it started holds the lock then.
  o.meanwhile = [&](pid_t tarvo, int) {
    wait_for(marks.path / "started");
    ::kill(tarvo, SIGKILL);
    ::kill(std::stoi(read_file(marks.path / "step")), SIGKILL);
  };
  EXPECT_EQ(run_tarvo({"requirements"}, o).status, -SIGKILL);
  const auto daemon = std::stoi(read_file(marks.path / "daemon"));
  auto clean = start_waiting({"clean"});
  auto err = read_file(marks.path / "err");
  EXPECT_EQ(err, "Waiting for the project's lock, held by pid " + std::to_string(daemon) +
                     " (sleep 30), which an earlier tarvo left running: the lock is free once it "
                     "ends...\n");
  ::kill(daemon, SIGKILL);
  EXPECT_EQ(clean.get().out, "Cleaning build artifacts...\nClean complete\n");
}

TEST_F(ProjectLock, ForgedTokenWaitsAndCtrlCEndsTheWait) {
  struct stat folder {};
  ASSERT_EQ(::stat(tmp.path.c_str(), &folder), 0);
  const auto names_the_folder =
      ":" + std::to_string(folder.st_dev) + ":" + std::to_string(folder.st_ino) + ":77";
  // A descriptor of the project folder that holds no lock, one that names nothing, and an
  // ancestor that holds no lock (init, and the test itself).
  for (const std::string &token : std::vector<std::string>{
           "3", "77", "1" + names_the_folder, std::to_string(::getpid()) + names_the_folder}) {
    SCOPED_TRACE(token);
    reset();
    std::future<Output> clean;
    auto held = hold([&] {
      clean = start_waiting({"clean"}, {{"TARVO_PROJECT_LOCK", token}});
      EXPECT_EQ(clean.wait_for(300ms), std::future_status::timeout);
    });
    EXPECT_EQ(held.status, 0) << held.err;
    EXPECT_EQ(clean.get().out, "Cleaning build artifacts...\nClean complete\n");
  }
  // Opened on the folder by the shell that starts tarvo.
  reset();
  auto o = options();
  o.env["TARVO_PROJECT_LOCK"] = "3";
  Output waiter;
  auto held = hold([&] {
    auto err = marks.path / "err";
    o.meanwhile = [&](pid_t, int terminal) {
      wait_for(err, WAITING);
      ASSERT_EQ(write(terminal, "\x03", 1), 1);
    };
    auto r = run_in_pty({"sh", "-c", "exec 3<. && exec \"$TARVO\" clean 2>\"$MARKS/err\""}, o);
    waiter = {r.status, r.screen, r.err};
  });
  EXPECT_EQ(held.status, 0) << held.err;
  EXPECT_EQ(waiter.status, 130) << waiter.out;
  EXPECT_EQ(waiter.out.find("Cleaning"), std::string::npos) << waiter.out;
}
