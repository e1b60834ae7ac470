// clean run by the built binary on a tree with links to folders outside it.
#include "harness.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

TEST(CleanCommand, LinksAreRemovedNeverFollowed) {
  TempDir outside;
  write_file(outside.path / "precious" / "data.pyc", "keep");
  write_file(outside.path / "precious" / "__pycache__" / "c.pyc", "keep");
  write_file(outside.path / "precious" / "build" / "keep", "keep");
  TempDir tmp;
  fs::create_directories(tmp.path / "dist");
  fs::create_directory_symlink(outside.path / "precious", tmp.path / "dist" / "link");
  fs::create_directory_symlink(outside.path / "precious", tmp.path / "linked");
  fs::create_directory_symlink(outside.path / "precious", tmp.path / "src.egg-info");
  fs::create_symlink(outside.path / "precious" / "data.pyc", tmp.path / "alias.pyc");
  fs::create_directories(tmp.path / "pkg" / "__pycache__");
  fs::create_directory_symlink(outside.path / "precious", tmp.path / "pkg" / "__pycache__" / "l");

  auto r = run_tarvo({"clean"}, {.cwd = tmp.path});
  // The link named like an artifact is refused, and nothing outside is touched.
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "OSError: Cannot call rmtree on a symbolic link: 'src.egg-info'\n");
  fs::remove(tmp.path / "src.egg-info");
  r = run_tarvo({"clean"}, {.cwd = tmp.path});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Cleaning build artifacts...\nClean complete\n");

  for (const char *kept : {"data.pyc", "__pycache__/c.pyc", "build/keep"}) {
    EXPECT_EQ(read_file(outside.path / "precious" / kept), "keep") << kept;
  }
  EXPECT_FALSE(fs::exists(tmp.path / "dist"));
  EXPECT_FALSE(fs::exists(tmp.path / "pkg" / "__pycache__"));
  EXPECT_FALSE(fs::is_symlink(tmp.path / "alias.pyc"));
  EXPECT_TRUE(fs::is_symlink(tmp.path / "linked"));
}
