// The built binary: help, version, usage errors, -C and the error line at the top.
#include "harness.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// POSIX leaves declaring it to the program (glibc declares it, macOS does not).
extern char **environ;

using namespace tarvo::testing;

TEST(Entry, VersionAndHelpOnStandardOutput) {
  auto v = run_tarvo({"--version", "status"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "tarvo " TARVO_TEST_VERSION "\n");
  EXPECT_EQ(v.err, "");

  auto h = run_tarvo({"--help"});
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out.rfind("usage: tarvo ", 0), 0u);
  EXPECT_EQ(h.err, "");
  auto c = run_tarvo({"config-diff", "-h"});
  EXPECT_EQ(c.status, 0);
  EXPECT_NE(c.out.find("Force colour output even when not on a tty"), std::string::npos);
}

TEST(Entry, UsageErrorsExit2BeforeAnyDirectoryChange) {
  TempDir tmp;
  for (const auto &args : std::vector<std::vector<std::string>>{
           {}, {"status", "-C", "sub"}, {"build", "--libc", "uclibc"}, {"-C", "missing"}}) {
    auto r = run_tarvo(args, {.cwd = tmp.path});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("usage: tarvo", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(": error: "), std::string::npos) << r.err;
  }
  EXPECT_EQ(run_tarvo({"build", "--libc", "musl", "-h"}).status, 0);
}

TEST(Entry, DirectoryOptionChangesBeforeTheHandler) {
  TempDir tmp;
  std::filesystem::create_directories(tmp.path / "sub" / "build");
  for (const auto &args : std::vector<std::vector<std::string>>{
           {"-C", "sub", "clean"}, {"--directory=sub", "clean"}, {"-Csub", "clean"}}) {
    std::filesystem::create_directories(tmp.path / "sub" / "build");
    auto r = run_tarvo(args, {.cwd = tmp.path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(tmp.path / "sub" / "build"));
  }

  // An empty name is the current directory.
  std::filesystem::create_directories(tmp.path / "build");
  EXPECT_EQ(run_tarvo({"--directory=", "clean"}, {.cwd = tmp.path}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(tmp.path / "build"));

  auto missing = run_tarvo({"-C", "does-not-exist", "clean"}, {.cwd = tmp.path});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err,
            "FileNotFoundError: [Errno 2] No such file or directory: 'does-not-exist'\n");
}

TEST(Entry, EscapedErrorIsTheLastLineWithStatus1) {
  TempDir tmp;
  write_file(tmp.path / "build", "a file where a folder is expected");
  auto r = run_tarvo({"clean"}, {.cwd = tmp.path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Cleaning build artifacts...\n");
  EXPECT_EQ(r.err, "NotADirectoryError: [Errno 20] Not a directory: 'build'\n");
  EXPECT_TRUE(std::filesystem::exists(tmp.path / "build"));
}

// Output that could not be written is an error with status 1, reported on standard error; a
// standard error that cannot be written still ends with status 1, not a crash.
TEST(Entry, OutputThatCannotBeWrittenIsAnError) {
  if (!std::filesystem::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full here (Linux's device that every write fails on, out of space)";
  }
  TempDir tmp;
  write_file(tmp.path / "build", "a file where a folder is expected");
  auto full =
      run({"sh", "-c", "\"$0\" clean 2>/dev/full; echo $?", tarvo_binary()}, {.cwd = tmp.path});
  EXPECT_EQ(full.out, "Cleaning build artifacts...\n1\n");
  std::filesystem::remove(tmp.path / "build");
  for (const auto &args : std::vector<std::vector<std::string>>{
           {"--version"}, {"--help"}, {"build", "-h"}, {"clean"}}) {
    std::vector<std::string> argv = {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full",
                                     tarvo_binary().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    auto r = run(argv, {.cwd = tmp.path});
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, "OSError: [Errno 28] No space left on device: '<stdout>'\n") << args[0];
  }
}

// A reader that closed the pipe before tarvo wrote is no error, and nothing is said.
TEST(Entry, OutputToAClosedPipeIsNoError) {
  TempDir tmp;
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  close(out[0]);
  auto err = tmp.path / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT, 0600);
  std::string program = tarvo_binary().string();
  std::vector<char *> argv = {program.data(), const_cast<char *>("--help"), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  int status;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(read_file(err), "");
}
