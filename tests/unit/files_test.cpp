#include "tarvo/files/files.hpp"
#include "tarvo/files/tree.hpp"

#include "harness.hpp"
#include "tarvo/error.hpp"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace tarvo::testing;
namespace files = tarvo::files;
namespace fs = std::filesystem;

template <class F> std::string failure(F &&f) {
  try {
    f();
  } catch (const tarvo::Error &e) {
    return error_line(e);
  }
  return "no error";
}

// A chain `depth` folders deep below `top`, made through descriptors since its path outgrows
// PATH_MAX; the deepest holds a __pycache__ with a .pyc in it.
void make_chain(const fs::path &top, int depth) {
  fs::create_directories(top);
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth; ++i) {
    mkdirat(fd, "d", 0755);
    int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  mkdirat(fd, "__pycache__", 0755);
  close(openat(fd, "__pycache__/m.pyc", O_WRONLY | O_CREAT, 0644));
  close(fd);
}

// Lowers the soft limit on open descriptors until destroyed.
struct DescriptorLimit {
  explicit DescriptorLimit(rlim_t limit) {
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit lowered = saved;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved); }
  rlimit saved{};
};

TEST(Files, ReadingRefusesWhatIsNotAPlainFileBeforeReadingAByte) {
  TempDir dir;
  InDir in(dir.path);
  ASSERT_EQ(mkfifo("fifo", 0600), 0);
  fs::create_symlink("/dev/zero", "zero");
  fs::create_directory("folder");
  // Sparse: it takes no room, but reads as 65 MB.
  { std::ofstream("big"); }
  fs::resize_file("big", files::MAX_FILE_SIZE + 1);
  write_file("plain", "a = 1\n");

  EXPECT_EQ(failure([] { files::read_file("fifo"); }), "OSError: Not a regular file: 'fifo'");
  EXPECT_EQ(failure([] { files::read_file("zero"); }), "OSError: Not a regular file: 'zero'");
  EXPECT_EQ(failure([] { files::read_file("folder"); }),
            "IsADirectoryError: [Errno 21] Is a directory: 'folder'");
  EXPECT_EQ(failure([] { files::read_file("big"); }), "OSError: [Errno 27] File too large: 'big'");
  EXPECT_EQ(failure([] { files::read_file("missing"); }),
            "FileNotFoundError: [Errno 2] No such file or directory: 'missing'");
  EXPECT_EQ(files::read_file("plain"), "a = 1\n");
}

TEST(Files, CreatedFileAppearsWholeAndNeverReplacesAnEntry) {
  TempDir dir;
  InDir in(dir.path);
  files::create_file("new.toml", "content");
  EXPECT_EQ(read_file("new.toml"), "content");
  fs::create_symlink("nowhere", "dangling");
  write_file("kept", "old");
  for (const char *taken : {"new.toml", "dangling", "kept"}) {
    EXPECT_EQ(failure([&] { files::create_file(taken, "new"); }),
              std::string("FileExistsError: [Errno 17] File exists: '") + taken + "'");
  }
  EXPECT_EQ(read_file("kept"), "old");
  EXPECT_TRUE(fs::is_symlink("dangling"));
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 3);

  files::make_directories("a/b/c");
  files::make_directories("a/b");
  EXPECT_EQ(failure([] { files::make_directories("kept/x"); }),
            "FileExistsError: [Errno 17] File exists: 'kept'");
}

TEST(Files, DeepTreesNeedFewDescriptors) {
  TempDir dir;
  InDir in(dir.path);
  // Four times deeper than the descriptors allowed below.
  make_chain("build", 256);
  make_chain("src", 256);
  DescriptorLimit limit(64);

  int pycache = 0;
  files::walk_tree([&](const files::TreeEntry &entry) {
    if (entry.name() == "__pycache__") {
      ++pycache;
      entry.remove_tree();
      return false;
    }
    return true;
  });
  EXPECT_EQ(pycache, 2);
  files::remove_tree("build");
  files::remove_tree("src");
  EXPECT_TRUE(fs::is_empty(dir.path));
}

TEST(Files, TreeErrorsNameTheEntry) {
  TempDir outside;
  TempDir dir;
  InDir in(dir.path);
  fs::create_directory_symlink(outside.path, "link");
  write_file("file", "x");
  EXPECT_EQ(failure([] { files::remove_tree("link"); }),
            "OSError: Cannot call rmtree on a symbolic link: 'link'");
  EXPECT_EQ(failure([] { files::remove_tree("file"); }),
            "NotADirectoryError: [Errno 20] Not a directory: 'file'");
  // What vanished is no error.
  EXPECT_EQ(failure([] { files::remove_tree("missing"); }), "no error");
  EXPECT_TRUE(fs::exists(outside.path));
}

TEST(Files, GlobKeepsTheListingOrderAndSkipsHiddenNames) {
  TempDir dir;
  for (const char *name : {"b.whl", ".h.whl", "a_x86_64.whl", "c.txt"}) {
    write_file(dir.path / name, "");
  }
  auto listed = files::glob(dir.path, "*.whl");
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"a_x86_64.whl", "b.whl"}));
  EXPECT_TRUE(files::glob(dir.path / "missing", "*").empty());
}

} // namespace
