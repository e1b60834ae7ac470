// clean run by the built binary on a tree with links to folders outside it.
#include "harness.hpp"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

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
  // What a container run killed outright leaves: its marker, renamed or not; a name that only
  // looks alike stays.
  for (const char *name : {".tarvo-0123456789abcdef", ".tarvo-fedcba9876543210.seen",
                           ".tarvo-00112233445566ff.owner", ".tarvo-notarunsmarker"}) {
    write_file(tmp.path / name, "");
  }

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
  EXPECT_EQ(names_in(tmp.path),
            (std::vector<std::string>{".tarvo-notarunsmarker", "linked", "pkg"}));
}

// A folder clean cannot read is an error, never "Clean complete" with artifacts left in it. The
// command runs as an unprivileged user, for whom the folder is locked (root reads any).
TEST(CleanCommand, FolderItCannotReadIsAnError) {
  TempDir tmp;
  fs::permissions(tmp.path, fs::perms::all);
  write_file(tmp.path / "locked" / "__pycache__" / "m.pyc", "x");
  write_file(tmp.path / "open" / "__pycache__" / "m.pyc", "x");
  fs::permissions(tmp.path / "locked", fs::perms::none);
  std::vector<std::string> argv = {tarvo_binary().string(), "clean"};
  TempDir bin; // a copy of tarvo that the unprivileged user can reach
  if (geteuid() == 0) {
    fs::permissions(bin.path, fs::perms::all);
    fs::copy_file(tarvo_binary(), bin.path / "tarvo");
    argv = {"setpriv",
            "--reuid=65534",
            "--regid=65534",
            "--clear-groups",
            (bin.path / "tarvo").string(),
            "clean"};
  }
  auto r = run(argv, {.cwd = tmp.path});
  fs::permissions(tmp.path / "locked", fs::perms::owner_all);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Cleaning build artifacts...\n");
  EXPECT_EQ(r.err, "PermissionError: [Errno 13] Permission denied: 'locked'\n");
  EXPECT_TRUE(fs::exists(tmp.path / "locked" / "__pycache__"));
}

// SIGTERM in the middle of a removal ends clean at the next entry: the rest stays, and it does
// not say it is complete.
TEST(CleanCommand, StopsAtTheNextEntryOnSigterm) {
  TempDir tmp;
  // Every entry of build/ is a link to one file outside it, whose link count then says at a
  // glance how many are left: the signal comes at the first removal, and most entries stay.
  constexpr int ENTRIES = 5000;
  auto anchor = tmp.path / "anchor";
  write_file(anchor, "");
  fs::create_directories(tmp.path / "project" / "build");
  for (int i = 0; i < ENTRIES; ++i) {
    fs::create_hard_link(anchor, tmp.path / "project" / "build" / std::to_string(i));
  }
  write_file(tmp.path / "project" / "wheelhouse" / "pkg-1.0-py3-none-any.whl", "");
  auto left = [&] { return fs::hard_link_count(anchor) - 1; };
  auto r = run_tarvo({"clean"}, {.cwd = tmp.path / "project", .meanwhile = [&](pid_t tarvo, int) {
                                   while (left() == ENTRIES) {
                                     std::this_thread::sleep_for(std::chrono::microseconds(200));
                                   }
                                   kill(tarvo, SIGTERM);
                                 }});
  EXPECT_EQ(r.status, 143) << r.err;
  EXPECT_EQ(r.out, "Cleaning build artifacts...\n");
  EXPECT_GT(left(), 0u);
  EXPECT_TRUE(fs::exists(tmp.path / "project" / "wheelhouse" / "pkg-1.0-py3-none-any.whl"));
}
