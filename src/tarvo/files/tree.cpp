#include "tarvo/files/tree.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/platform.hpp"
#include "tarvo/repr.hpp"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#if TARVO_LINUX_CALLS
#include <sys/syscall.h>
#endif
#include <utility>

namespace tarvo::files {

namespace fs = std::filesystem;

namespace {

// Deeper levels give up their descriptor and get it back through "..", checked against the
// directory's identity, when the walk returns to them.
constexpr std::size_t OPEN_LIMIT = 32;

struct Entry {
  std::string name;
  bool directory; // a real directory, not a link to one
};

// Adds an entry unless it is "." or "..". A file system that does not give the type is asked.
void add_entry(std::vector<Entry> &entries, int dir_fd, const char *name, unsigned char type) {
  std::string_view shown = name;
  if (shown == "." || shown == "..") {
    return;
  }
  bool directory = type == DT_DIR;
  if (type == DT_UNKNOWN) {
    struct stat st {};
    directory = ::fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
  }
  entries.push_back({std::string(shown), directory});
}

#if TARVO_LINUX_CALLS

// The record that getdents64 fills: glibc calls it dirent64; musl's dirent has that layout.
#ifdef __GLIBC__
using KernelDirent = dirent64;
#else
using KernelDirent = dirent;
#endif

// The entries of an open directory, read whole before anything in it changes. getdents64 is
// used directly: readdir would add a descriptor copy per folder, and trees can be large. It is
// reached through syscall(): glibc has a wrapper only since 2.30, and release builds run on 2.17.
std::optional<std::vector<Entry>> list(int dir_fd) {
  std::vector<Entry> entries;
  // From the start, also for a folder listed before.
  if (::lseek(dir_fd, 0, SEEK_SET) != 0) {
    return std::nullopt;
  }
  alignas(8) char buffer[32768];
  for (;;) {
    auto n = static_cast<ssize_t>(::syscall(SYS_getdents64, dir_fd, buffer, sizeof buffer));
    if (n == 0) {
      return entries;
    }
    if (n < 0) {
      return std::nullopt;
    }
    for (ssize_t at = 0; at < n;) {
      auto *e = reinterpret_cast<KernelDirent *>(buffer + at);
      at += e->d_reclen;
      add_entry(entries, dir_fd, e->d_name, e->d_type);
    }
  }
}

#else

// The entries of an open directory, read whole before anything in it changes, through a copy
// of its descriptor that readdir owns for as long as the listing takes.
std::optional<std::vector<Entry>> list(int dir_fd) {
  int copy = ::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
  DIR *dir = copy < 0 ? nullptr : ::fdopendir(copy);
  if (dir == nullptr) {
    if (copy >= 0) {
      ::close(copy);
    }
    return std::nullopt;
  }
  // The copy shares the position of `dir_fd`, which an earlier listing may have moved.
  ::rewinddir(dir);
  std::vector<Entry> entries;
  for (;;) {
    errno = 0;
    const dirent *e = ::readdir(dir);
    if (e == nullptr) {
      break;
    }
    add_entry(entries, dir_fd, e->d_name, e->d_type);
  }
  int err = errno;
  ::closedir(dir);
  if (err != 0) {
    errno = err;
    return std::nullopt;
  }
  return entries;
}

#endif

Fd open_directory(int at, const char *name) {
  return Fd(::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

} // namespace

// The directories from the start of a walk down to the current one, each with its listing.
class DirStack {
public:
  // `base` is the directory that the first pushed name is relative to.
  explicit DirStack(int base) : base_(base) {}
  DirStack(const DirStack &) = delete;
  DirStack &operator=(const DirStack &) = delete;

  // Opens the directory `name` of the current one and makes it current; false when it
  // vanished. `shown` is its part of the paths in messages (empty for the start).
  bool push(const std::string &name, const std::string &shown) {
    Fd fd = open_directory(top_fd(), name.c_str());
    if (!fd) {
      int err = errno;
      if (err == ENOENT) {
        return false;
      }
      struct stat st {};
      if (::fstatat(top_fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) {
          throw Error(ErrorKind::OSError,
                      "Cannot call rmtree on a symbolic link: " + repr(path(shown).string()));
        }
        if (!S_ISDIR(st.st_mode)) {
          err = ENOTDIR;
        }
      }
      throw os_error(err, path(shown));
    }
    struct stat st {};
    auto entries = ::fstat(fd.get(), &st) == 0 ? list(fd.get()) : std::nullopt;
    if (!entries) {
      throw os_error(errno != 0 ? errno : EIO, path(shown));
    }
    Frame frame{std::move(fd), 0, 0, name, shown, {}, 0};
    frame.device = st.st_dev;
    frame.inode = st.st_ino;
    frame.entries = std::move(*entries);
    frames_.push_back(std::move(frame));
    if (frames_.size() > OPEN_LIMIT) {
      frames_[frames_.size() - OPEN_LIMIT - 1].fd.close();
    }
    return true;
  }

  // Returns to the directory above the current one, opening it again if it gave up its
  // descriptor.
  void pop() {
    if (frames_.size() > 1 && !frames_[frames_.size() - 2].fd) {
      reopen_parent();
    }
    frames_.pop_back();
  }

  std::size_t depth() const { return frames_.size(); }
  int top_fd() const { return frames_.empty() ? base_ : frames_.back().fd.get(); }

  // The next entry of the current directory, or none when all were taken.
  const Entry *next_entry() {
    auto &frame = frames_.back();
    return frame.next < frame.entries.size() ? &frame.entries[frame.next++] : nullptr;
  }

  // The path of `name` in the current directory, as messages show it.
  fs::path path(std::string_view name) const { return path(frames_.size(), name); }

  // Opens `name` of the current directory and removes it with everything below it.
  void remove_tree(const std::string &name, const fs::path &shown, const BeforeEach &before_each) {
    if (!push(name, shown.string())) {
      return;
    }
    const std::size_t start = depth();
    for (;;) {
      if (before_each) {
        before_each();
      }
      if (const Entry *entry = next_entry()) {
        std::string child = entry->name;
        if (entry->directory) {
          push(child, child);
        } else if (::unlinkat(top_fd(), child.c_str(), 0) != 0 && errno != ENOENT) {
          throw os_error(errno, path(child));
        }
        continue;
      }
      // Empty now: remove it from its parent.
      std::string emptied = frames_.back().name;
      std::string shown_emptied = frames_.back().shown;
      bool done = depth() == start;
      pop();
      if (::unlinkat(top_fd(), emptied.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        throw os_error(errno, path(shown_emptied));
      }
      if (done) {
        return;
      }
    }
  }

private:
  struct Frame {
    Fd fd; // none while given up
    dev_t device;
    ino_t inode;
    std::string name;  // as opened in its parent
    std::string shown; // its part of the paths in messages
    std::vector<Entry> entries;
    std::size_t next;
  };

  fs::path path(std::size_t frames, std::string_view name) const {
    fs::path out;
    for (std::size_t i = 0; i < frames; ++i) {
      if (!frames_[i].shown.empty()) {
        out /= frames_[i].shown;
      }
    }
    return name.empty() ? out : out / name;
  }

  // The parent is reached through "..", and must still be the directory that was left.
  void reopen_parent() {
    Frame &parent = frames_[frames_.size() - 2];
    Fd fd = open_directory(frames_.back().fd.get(), "..");
    int err = fd ? 0 : errno;
    struct stat st {};
    if (fd && ::fstat(fd.get(), &st) == 0 && st.st_dev == parent.device &&
        st.st_ino == parent.inode) {
      parent.fd = std::move(fd);
      return;
    }
    auto shown = path(frames_.size() - 1, "");
    if (err != 0) {
      throw os_error(err, shown);
    }
    throw Error(ErrorKind::OSError,
                "Directory moved while its contents were handled: " + repr(shown.string()));
  }

  int base_;
  std::vector<Frame> frames_;
};

fs::path TreeEntry::path() const { return stack_.path(name_); }

void TreeEntry::remove_tree(const BeforeEach &before_each) const {
  stack_.remove_tree(name_, name_, before_each);
}

void TreeEntry::remove_file() const {
  if (::unlinkat(stack_.top_fd(), name_.c_str(), 0) != 0 && errno != ENOENT) {
    throw os_error(errno, path());
  }
}

void remove_tree(const fs::path &path, const BeforeEach &before_each) {
  DirStack stack(AT_FDCWD);
  stack.remove_tree(path.string(), path, before_each);
}

void remove_tree_at(int dir_fd, const std::string &name, const fs::path &shown,
                    const BeforeEach &before_each) {
  DirStack stack(dir_fd);
  stack.remove_tree(name, shown, before_each);
}

std::vector<std::string> list_names(int dir_fd, const fs::path &shown) {
  auto entries = list(dir_fd);
  if (!entries) {
    throw os_error(errno != 0 ? errno : EIO, shown);
  }
  std::vector<std::string> names;
  for (auto &entry : *entries) {
    names.push_back(std::move(entry.name));
  }
  return names;
}

void walk_tree(const std::function<bool(const TreeEntry &)> &visit) { walk_tree(".", visit); }

void walk_tree(const fs::path &root, const std::function<bool(const TreeEntry &)> &visit) {
  DirStack stack(AT_FDCWD);
  if (!stack.push(root.string(), "")) {
    throw os_error(ENOENT, root);
  }
  for (;;) {
    if (const Entry *entry = stack.next_entry()) {
      std::string name = entry->name;
      bool directory = entry->directory;
      if (visit(TreeEntry(stack, name, directory)) && directory) {
        stack.push(name, name);
      }
      continue;
    }
    if (stack.depth() == 1) {
      return;
    }
    stack.pop();
  }
}

std::vector<std::string> glob(const fs::path &dir, std::string_view pattern) {
  std::vector<std::string> names;
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) {
    return names;
  }
  auto entries = list(fd.get());
  fd.close();
  const std::string wanted(pattern);
  for (auto &entry : entries.value_or(std::vector<Entry>{})) {
    if (::fnmatch(wanted.c_str(), entry.name.c_str(), FNM_PERIOD) == 0) {
      names.push_back(std::move(entry.name));
    }
  }
  return names;
}

} // namespace tarvo::files
