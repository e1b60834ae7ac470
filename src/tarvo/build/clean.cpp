#include "tarvo/build/clean.hpp"

#include "tarvo/error.hpp"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <fnmatch.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvo {

namespace fs = std::filesystem;

namespace {

struct Entry {
  std::string name;
  bool directory; // a real directory, not a link to one
};

class Fd {
public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};

// The entries of an open directory, read whole before anything in it changes. Returns false
// when the directory cannot be read. getdents64 is used directly: the tree may hold hundreds
// of thousands of entries, and readdir would add a stat and a descriptor copy per folder.
bool list(int dir_fd, std::vector<Entry> &entries) {
  alignas(8) char buffer[32768];
  for (;;) {
    ssize_t n = ::getdents64(dir_fd, buffer, sizeof buffer);
    if (n == 0) {
      return true;
    }
    if (n < 0) {
      return false;
    }
    for (ssize_t at = 0; at < n;) {
      auto *e = reinterpret_cast<dirent64 *>(buffer + at);
      at += e->d_reclen;
      std::string_view name = e->d_name;
      if (name == "." || name == "..") {
        continue;
      }
      bool directory = e->d_type == DT_DIR;
      if (e->d_type == DT_UNKNOWN) {
        struct stat st {};
        directory =
            ::fstatat(dir_fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      }
      entries.push_back({std::string(name), directory});
    }
  }
}

void remove_tree_at(int parent_fd, const std::string &name, const fs::path &path) {
  Fd fd(::openat(parent_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    int err = errno;
    struct stat st {};
    if (::fstatat(parent_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(st.st_mode)) {
        throw Error("OSError",
                    fmt::format("Cannot call rmtree on a symbolic link: '{}'", path.string()));
      }
      if (!S_ISDIR(st.st_mode)) {
        err = ENOTDIR;
      }
    }
    throw os_error(err, path);
  }
  std::vector<Entry> entries;
  if (!list(fd.get(), entries)) {
    throw os_error(errno ? errno : EIO, path);
  }
  for (const auto &entry : entries) {
    if (entry.directory) {
      remove_tree_at(fd.get(), entry.name, path / entry.name);
    } else if (::unlinkat(fd.get(), entry.name.c_str(), 0) != 0) {
      throw os_error(errno, path / entry.name);
    }
  }
  if (::unlinkat(parent_fd, name.c_str(), AT_REMOVEDIR) != 0) {
    throw os_error(errno, path);
  }
}

bool present(const fs::path &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Top-level names matching `pattern`; names beginning with "." never match.
std::vector<std::string> top_level_matches(const char *pattern) {
  std::vector<Entry> entries;
  std::vector<std::string> out;
  Fd top(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (top.get() < 0 || !list(top.get(), entries)) {
    return out;
  }
  for (const auto &entry : entries) {
    if (::fnmatch(pattern, entry.name.c_str(), FNM_PERIOD) == 0) {
      out.push_back(entry.name);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Visits every entry below the open directory, depth first; `visit` returns whether to
// descend into a directory entry. Links to directories are never descended into, and
// directories that cannot be read are skipped.
template <typename Visit> void walk(int dir_fd, const fs::path &path, Visit &visit) {
  std::vector<Entry> entries;
  if (!list(dir_fd, entries)) {
    return;
  }
  for (const auto &entry : entries) {
    if (!visit(dir_fd, entry, path / entry.name) || !entry.directory) {
      continue;
    }
    Fd child(::openat(dir_fd, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (child.get() >= 0) {
      walk(child.get(), path / entry.name, visit);
    }
  }
}

template <typename Visit> void walk_tree(Visit visit) {
  Fd top(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (top.get() >= 0) {
    walk(top.get(), fs::path(), visit);
  }
}

} // namespace

void remove_tree(const fs::path &path) { remove_tree_at(AT_FDCWD, path.string(), path); }

void clean() {
  fmt::print("Cleaning build artifacts...\n");
  for (const char *name : {"build", "dist", ".venv", "wheelhouse"}) {
    if (present(name)) {
      remove_tree(name);
    }
  }
  for (const char *pattern : {"*.egg-info", "*.build", "*.dist"}) {
    for (const auto &match : top_level_matches(pattern)) {
      if (present(match)) {
        remove_tree(match);
      }
    }
  }
  walk_tree([](int dir_fd, const Entry &entry, const fs::path &path) {
    if (entry.name != "__pycache__") {
      return true;
    }
    remove_tree_at(dir_fd, entry.name, path);
    return false;
  });
  walk_tree([](int dir_fd, const Entry &entry, const fs::path &path) {
    if (!entry.directory && ::fnmatch("*.pyc", entry.name.c_str(), 0) == 0 &&
        ::unlinkat(dir_fd, entry.name.c_str(), 0) != 0) {
      throw os_error(errno, path);
    }
    return true;
  });
  fmt::print("Clean complete\n");
}

} // namespace tarvo
