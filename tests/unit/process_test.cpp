#include "tarvo/platform.hpp"
#include "tarvo/process/context.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/processes.hpp"
#include "tarvo/process/programs.hpp"
#include "tarvo/process/system_process.hpp"
#include "tarvo/process/timing.hpp"

#include "harness.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

using namespace tarvo::process;
using namespace std::chrono_literals;

// One search of PATH for the look-up and the start: a folder, or a file that may not be run,
// named like the program is passed over, and what is found is what runs.
TEST(Programs, OneSearchForTheLookUpAndTheStart) {
  tarvo::testing::TempDir dir;
  std::filesystem::create_directories(dir.path / "a" / "python");
  tarvo::testing::write_file(dir.path / "b" / "python", "#!/bin/sh\necho b\n");
  tarvo::testing::write_script(dir.path / "c" / "python", "echo c");
  const auto path = (dir.path / "a").string() + ":" + (dir.path / "b").string();
  EXPECT_FALSE(find_program("python", {{"PATH", path}}));
  EXPECT_EQ(find_program("python", {{"PATH", path + ":" + (dir.path / "c").string()}}),
            dir.path / "c" / "python");
  EXPECT_EQ(find_program("./x/y", {}), "./x/y");
  tarvo::testing::ScopedEnv env("PATH", path + ":" + (dir.path / "c").string());
  auto ran = Context().run({"python"}, {.stdout_mode = Redirect::Capture});
  EXPECT_EQ(ran.stdout_text, "c\n");
  tarvo::testing::ScopedEnv none("PATH", path);
  try {
    Context().run({"python"});
    ADD_FAILURE() << "started";
  } catch (const tarvo::Error &e) {
    EXPECT_EQ(tarvo::testing::error_line(e),
              "FileNotFoundError: [Errno 2] No such file or directory: 'python'");
  }
}
namespace fs = std::filesystem;
using namespace tarvo::testing;

const ProcessOptions CAPTURE_BOTH{Redirect::Capture, Redirect::Capture};

CompletedProcess run(std::vector<std::string> args, const ProcessOptions &options = {}) {
  return Context().run(std::move(args), options);
}

CompletedProcess shell(const std::string &script, const ProcessOptions &options = CAPTURE_BOTH) {
  return run({"sh", "-c", script}, options);
}

std::chrono::nanoseconds thread_cpu_time() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

// Our descriptors that a child would inherit.
std::set<std::string> inheritable_fds() {
  std::set<std::string> fds;
  for (const auto &entry : fs::directory_iterator("/dev/fd")) {
    int fd = std::stoi(entry.path().filename().string());
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
      fds.insert(std::to_string(fd));
    }
  }
  return fds;
}

TEST(ProcessTest, CapturesEachStreamAndTheStatusOrSignal) {
  auto done = shell("printf out; printf err >&2; exit 3");
  EXPECT_EQ(done.args,
            (std::vector<std::string>{"sh", "-c", "printf out; printf err >&2; exit 3"}));
  EXPECT_EQ(done.returncode, 3);
  EXPECT_EQ(done.stdout_text, "out");
  EXPECT_EQ(done.stderr_text, "err");
  EXPECT_EQ(shell("kill -9 $$").returncode, -9);
  EXPECT_EQ(shell("kill -TERM $$").returncode, -SIGTERM);
}

TEST(ProcessTest, CarriageReturnsReadAsLineFeeds) {
  for (const auto &[written, read] : std::vector<std::pair<std::string, std::string>>{
           {"a\r\nb\rc\n", "a\nb\nc\n"}, {"end\r", "end\n"}, {"\r\r\n\n", "\n\n\n"}, {"", ""}}) {
    auto done =
        run({"sh", "-c", "printf %s \"$1\"; printf %s \"$1\" >&2", "sh", written}, CAPTURE_BOTH);
    EXPECT_EQ(done.stdout_text, read);
    EXPECT_EQ(done.stderr_text, read);
  }
}

TEST(ProcessTest, StartFailuresNameTheProgram) {
  TempDir dir;
  auto not_executable = dir.path / "tool";
  write_file(not_executable, "#!/bin/sh\n");
  fs::permissions(not_executable, fs::perms::owner_read | fs::perms::owner_write);

  struct Case {
    std::string program;
    std::string kind;
    std::string message;
  };
  for (const auto &c : {
           Case{"tarvo-no-such-program", "FileNotFoundError",
                "[Errno 2] No such file or directory: 'tarvo-no-such-program'"},
           Case{not_executable.string(), "PermissionError",
                "[Errno 13] Permission denied: '" + not_executable.string() + "'"},
       }) {
    try {
      run({c.program, "--version"});
      ADD_FAILURE() << c.program << " started";
    } catch (const tarvo::Error &e) {
      EXPECT_EQ(tarvo::name(e.kind()), c.kind);
      EXPECT_EQ(e.message(), c.message);
    }
  }
  try {
    run({});
    ADD_FAILURE() << "an empty argument vector started";
  } catch (const tarvo::Error &e) {
    EXPECT_EQ(e.kind(), tarvo::ErrorKind::ValueError);
  }
}

TEST(ProcessTest, EnvironmentIsCompleteOrInherited) {
  auto own = run({"env"}, {Redirect::Capture, Redirect::Capture, Environment{{"ONLY", "x"}}});
  EXPECT_EQ(own.stdout_text, "ONLY=x\n");

  auto inherited = shell("printf %s \"$PATH\"");
  EXPECT_EQ(inherited.stdout_text, std::getenv("PATH"));
  EXPECT_EQ(current_environment().at("PATH"), std::getenv("PATH"));
}

// The shell reports where its standard output leads, before any redirection of its own.
TEST(ProcessTest, StandardOutputLeadsWhereAsked) {
  if (!fs::exists("/proc/self/fd")) {
    GTEST_SKIP() << "only /proc shows where a process's descriptor leads";
  }
  using Case = std::tuple<Redirect, std::string, std::optional<std::string>>;
  for (const auto &[mode, target, captured] : std::vector<Case>{
           {Redirect::Inherit, fs::read_symlink("/proc/self/fd/1").string() + "\n", std::nullopt},
           {Redirect::Discard, "/dev/null\n", std::nullopt},
           {Redirect::Capture, "pipe:", ""},
       }) {
    auto done = run({"sh", "-c", "target=$(readlink /proc/$$/fd/1); echo \"$target\" >&2"},
                    {mode, Redirect::Capture});
    EXPECT_TRUE(done.stderr_text.value().starts_with(target)) << *done.stderr_text;
    EXPECT_EQ(done.stdout_text, captured);
  }
}

TEST(ProcessTest, InheritingChildWritesAfterOurBufferedText) {
  auto [out, err] = capture_output([] {
    fmt::print(stdout, "ours ");
    run({"echo", "child"});
    fmt::print(stdout, "after\n");
  });
  EXPECT_EQ(out, "ours child\nafter\n");
}

TEST(ProcessTest, LargeOutputOnBothStreamsIsKeptWhole) {
  TempDir dir;
  std::string data;
  data.reserve(20'000'000);
  for (int i = 0; data.size() < 20'000'000; ++i) {
    data += fmt::format("line {} of the captured text\n", i);
  }
  write_file(dir.path / "data", data);
  // Both streams are written at once, so neither pipe may be left unread.
  auto done =
      run({"sh", "-c", "cat \"$1\" >&2 & cat \"$1\"; wait", "sh", (dir.path / "data").string()},
          CAPTURE_BOTH);
  EXPECT_EQ(done.returncode, 0);
  EXPECT_TRUE(done.stdout_text == data) << done.stdout_text->size();
  EXPECT_TRUE(done.stderr_text == data) << done.stderr_text->size();
}

TEST(ProcessTest, TimedWaitSleepsAndReturnsWhenTheChildEnds) {
  SystemProcess slow({"sleep", "5"}, CAPTURE_BOTH);
  auto cpu = thread_cpu_time();
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(slow.wait_for(300ms));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 300ms);
  EXPECT_LT(waited, 800ms);
  EXPECT_LT(thread_cpu_time() - cpu, 20ms);
  kill(slow.pid(), SIGKILL);
  EXPECT_TRUE(slow.wait_for(5s));
  EXPECT_EQ(slow.finish().returncode, -SIGKILL);

  SystemProcess quick({"sh", "-c", "printf done"}, CAPTURE_BOTH);
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(quick.wait_for(5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(quick.finish().stdout_text, "done");
}

// A child is named by a pidfd where the system gives one, so that a signal can only reach it;
// run preloaded with tests/support/no_pidfd, by its id alone.
TEST(ProcessTest, SignalsGoThroughAPidfdWhereThereIsOne) {
  const char *preload = std::getenv("LD_PRELOAD");
  bool refused = !TARVO_LINUX_CALLS ||
                 (preload != nullptr && std::string(preload).find("no_pidfd") != std::string::npos);
  SystemProcess child({"sleep", "5"}, {});
  int pidfds = 0;
  for (const auto &entry : fs::directory_iterator("/dev/fd")) {
    std::error_code ec;
    pidfds += fs::read_symlink(entry.path(), ec).string() == "anon_inode:[pidfd]";
  }
  EXPECT_EQ(pidfds, refused ? 0 : 1);
  kill(child.pid(), SIGKILL);
  EXPECT_EQ(child.finish().returncode, -SIGKILL);
}

// An error that unwinds past a running child: it is asked to end, killed if it will not, and
// reaped, so that none is left running or unreaped.
TEST(ProcessTest, ChildLeftBehindByAnErrorIsEndedAndReaped) {
  const Timing quick{.grace_period = 300ms};
  for (const std::string script : {"exec sleep 30", "trap '' TERM; exec sleep 30"}) {
    pid_t pid = -1;
    std::chrono::steady_clock::time_point start;
    try {
      SystemProcess child({"sh", "-c", script}, CAPTURE_BOTH, quick);
      pid = child.pid();
      EXPECT_FALSE(child.wait_for(200ms)); // time for the shell to set its trap
      start = std::chrono::steady_clock::now();
      throw std::runtime_error("unwinding");
    } catch (const std::runtime_error &) {
    }
    EXPECT_NE(kill(pid, 0), 0) << script;
    // The stubborn one only after the grace period.
    EXPECT_EQ(std::chrono::steady_clock::now() - start >= quick.grace_period,
              script.starts_with("trap"));
  }
}

// A signal to tarvo is passed on; a child that ignores it is killed once the grace period is
// over, and the wait then ends as interrupted.
TEST(ProcessTest, ChildIgnoringAnInterruptIsKilledAfterTheGracePeriod) {
  const Timing quick{.grace_period = 300ms};
  Interrupts interrupts;
  SystemProcess stubborn({"sh", "-c", "trap '' TERM; exec sleep 30"}, CAPTURE_BOTH, quick);
  EXPECT_FALSE(stubborn.wait_for(200ms)); // time for the shell to set its trap
  auto start = std::chrono::steady_clock::now();
  raise(SIGTERM);
  EXPECT_THROW(stubborn.finish(), Interrupted);
  EXPECT_GE(std::chrono::steady_clock::now() - start, quick.grace_period);
  EXPECT_NE(kill(stubborn.pid(), 0), 0);
}

// Once a command is interrupted no child starts but a tidy-up step, which the interrupt does
// not end.
TEST(ProcessTest, OnlyTidyUpStepsStartAfterAnInterrupt) {
  Interrupts interrupts;
  raise(SIGTERM);
  EXPECT_THROW(SystemProcess({"true"}, CAPTURE_BOTH), Interrupted);
  ProcessOptions tidy = CAPTURE_BOTH;
  tidy.tidy_up = true;
  auto done = SystemProcess({"sh", "-c", "sleep 0.2; echo tidied"}, tidy).finish();
  EXPECT_EQ(done.returncode, 0);
  EXPECT_EQ(done.stdout_text, "tidied\n");
}

TEST(ProcessTest, ChildrenInheritNoDescriptorOfOtherChildren) {
  if (!fs::exists("/proc/self/fd")) {
    GTEST_SKIP() << "only /proc lists another process's descriptors";
  }
  auto before = inheritable_fds();
  SystemProcess running({"sleep", "5"}, CAPTURE_BOTH);
  // "exit" keeps the shell from replacing itself with ls, so the list is the shell's own.
  auto done = shell("ls /proc/$$/fd; exit");
  ASSERT_EQ(done.returncode, 0) << *done.stderr_text;
  auto seen = split(done.stdout_text.value(), '\n');
  seen.pop_back();
  for (const auto &fd : seen) {
    EXPECT_TRUE(fd == "0" || fd == "1" || fd == "2" || before.count(fd)) << "leaked " << fd;
  }
  kill(running.pid(), SIGKILL);
}

TEST(ProcessTest, ConcurrentChildrenKeepTheirOwnOutput) {
  auto fds_before = std::distance(fs::directory_iterator("/dev/fd"), {});
  std::atomic<int> wrong = 0;
  std::vector<std::thread> workers;
  for (int worker = 0; worker < 5; ++worker) {
    workers.emplace_back([worker, &wrong] {
      for (int i = 0; i < 20; ++i) {
        auto text = fmt::format("{}-{}", worker, i);
        auto done = shell(fmt::format("printf {}; printf {} >&2", text, text));
        wrong += done.stdout_text != text || done.stderr_text != text;
      }
    });
  }
  for (auto &worker : workers) {
    worker.join();
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator("/dev/fd"), {}), fds_before);
}

TEST(ProcessTest, CalledProcessErrorCarriesTheRecord) {
  for (const auto &[returncode, how] : std::vector<std::pair<int, std::string>>{
           {1, "returned non-zero exit status 1."}, {-9, "died with signal 9."}}) {
    CompletedProcess done{{"pip", "install"}, returncode, "out", std::nullopt};
    try {
      check_returncode(done);
      ADD_FAILURE() << "no error";
    } catch (const CalledProcessError &e) {
      EXPECT_EQ(e.kind(), tarvo::ErrorKind::CalledProcessError);
      EXPECT_EQ(e.message(), "Command '['pip', 'install']' " + how);
      EXPECT_EQ(e.returncode, returncode);
      EXPECT_EQ(e.args, done.args);
      EXPECT_EQ(e.stdout_text, "out");
      EXPECT_FALSE(e.stderr_text);
    }
  }
}

} // namespace

namespace {

// A step's group as the system lists it: the leader and what it started, each in the group.
TEST(ProcessTest, GroupMembersAreTheProcessesOfTheGroup) {
  SystemProcess step({"sh", "-c", "sleep 30 & sleep 30 & wait"}, CAPTURE_BOTH);
  std::vector<pid_t> members;
  for (int i = 0; i < 100 && members.size() < 3; ++i) {
    members = group_members(step.pid());
    if (members.empty()) {
      GTEST_SKIP() << "this system does not list a process group's members";
    }
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_EQ(members.size(), 3u);
  EXPECT_NE(std::find(members.begin(), members.end(), step.pid()), members.end());
  for (pid_t member : members) {
    EXPECT_EQ(getpgid(member), step.pid()) << member;
  }
}

} // namespace
