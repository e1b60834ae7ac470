#include "harness.hpp"
#include "tarvo/artifacts/clean.hpp"
#include "tarvo/error.hpp"

#include <gtest/gtest.h>
#include <set>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

std::set<std::string> tree(const fs::path &root) {
  std::set<std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    out.insert(fs::relative(it->path(), root).string());
  }
  return out;
}

std::string clean_error() {
  try {
    testing::internal::CaptureStdout();
    tarvo::artifacts::clean();
  } catch (const tarvo::Error &e) {
    testing::internal::GetCapturedStdout();
    return error_line(e);
  }
  return "output: " + testing::internal::GetCapturedStdout();
}

} // namespace

TEST(Clean, RemovesTheArtifactsAndNothingElse) {
  TempDir tmp;
  for (const char *dir :
       {"build/lib", "dist", ".venv/bin", "wheelhouse", "pkg.egg-info", "main.build", "main.dist",
        "src/pkg/__pycache__", ".hidden.egg-info", "docs/notes.build", ".git/__pycache__",
        "a/b/c/__pycache__/deeper", ".pdm-build/pkg"}) {
    fs::create_directories(tmp.path / dir);
  }
  for (const char *file :
       {"build/lib/x.py", "tests/test_x.pyc", "src/pkg/__pycache__/m.pyc", "src/pkg/mod.py",
        ".hidden/.x.pyc", "keep.pyc.txt", "top.pyc", "a/b/c/__pycache__/deeper/y",
        // The project's own files, named like the folders the patterns are for.
        "meson.build", "config.dist", "old.egg-info"}) {
    write_file(tmp.path / file, "x");
  }
  InDir in(tmp.path);
  EXPECT_EQ(clean_error(), "output: Cleaning build artifacts...\nClean complete\n");
  EXPECT_EQ(tree(tmp.path),
            (std::set<std::string>{".git", ".hidden", ".hidden.egg-info", "a", "a/b", "a/b/c",
                                   "config.dist", "docs", "docs/notes.build", "keep.pyc.txt",
                                   "meson.build", "old.egg-info", "src", "src/pkg",
                                   "src/pkg/mod.py", "tests"}));
  // Nothing left to do: the same two lines and no change.
  EXPECT_EQ(clean_error(), "output: Cleaning build artifacts...\nClean complete\n");
}

TEST(Clean, FailuresAreReportedAndLaterStepsDoNotRun) {
  TempDir outside;
  TempDir tmp;
  InDir in(tmp.path);
  fs::create_directory_symlink(outside.path, tmp.path / "build");
  fs::create_directories(tmp.path / "dist");
  EXPECT_EQ(clean_error(), "OSError: Cannot call rmtree on a symbolic link: 'build'");
  EXPECT_TRUE(fs::exists(outside.path));
  EXPECT_TRUE(fs::exists(tmp.path / "dist"));
  fs::remove(tmp.path / "build");

  write_file(tmp.path / "x" / "__pycache__", "a file");
  write_file(tmp.path / "y.pyc", "x");
  EXPECT_EQ(clean_error(), "NotADirectoryError: [Errno 20] Not a directory: 'x/__pycache__'");
  EXPECT_FALSE(fs::exists(tmp.path / "dist"));
  EXPECT_TRUE(fs::exists(tmp.path / "y.pyc"));
}
