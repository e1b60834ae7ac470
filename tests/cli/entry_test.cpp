// The built binary: help, version, usage errors, -C and the error line at the top.
#include "harness.hpp"

#include <gtest/gtest.h>

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

  // A standard error that cannot be written still ends with status 1, not a crash.
  auto full =
      run({"sh", "-c", "\"$0\" clean 2>/dev/full; echo $?", tarvo_binary()}, {.cwd = tmp.path});
  EXPECT_EQ(full.out, "Cleaning build artifacts...\n1\n");
}
