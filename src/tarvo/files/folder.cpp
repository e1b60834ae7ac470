#include "tarvo/files/folder.hpp"

#include "tarvo/error.hpp"
#include "tarvo/files/tree.hpp"
#include "tarvo/repr.hpp"

#include <cerrno>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::files {

namespace fs = std::filesystem;

namespace {

// What is at `name` in the folder `dir_fd`, links not followed; nullopt when nothing is.
std::optional<struct stat> entry_at(int dir_fd, const std::string &name, const fs::path &shown) {
  struct stat st {};
  if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    return st;
  }
  if (errno == ENOENT) {
    return std::nullopt;
  }
  throw os_error(errno, shown);
}

// Where a link points, for the message that refuses it.
std::string link_target(int dir_fd, const std::string &name) {
  char target[4096];
  auto n = ::readlinkat(dir_fd, name.c_str(), target, sizeof target);
  return n < 0 ? std::string("?") : std::string(target, static_cast<std::size_t>(n));
}

} // namespace

Folder::Folder(Fd fd, fs::path path) : fd_(std::move(fd)), path_(std::move(path)) {
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) {
    throw os_error(errno, path_.empty() ? fs::path(".") : path_);
  }
  device_ = st.st_dev;
  inode_ = st.st_ino;
  uid_ = st.st_uid;
  gid_ = st.st_gid;
}

Folder Folder::current() {
  Fd fd(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) {
    throw os_error(errno, ".");
  }
  return Folder(std::move(fd), {});
}

Folder Folder::open(const Folder &parent, const std::string &name) {
  const auto shown = parent.path_ / name;
  Fd fd(::openat(parent.fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    const int err = errno;
    auto st = entry_at(parent.fd(), name, shown);
    if (st && S_ISLNK(st->st_mode)) {
      throw Error(ErrorKind::NotADirectoryError,
                  fmt::format("{} is a symbolic link (to {}), not a folder of the project: tarvo "
                              "writes only into real folders of the project",
                              repr(shown.string()), repr(link_target(parent.fd(), name))));
    }
    throw os_error(st && !S_ISDIR(st->st_mode) ? ENOTDIR : err, shown);
  }
  return Folder(std::move(fd), shown);
}

Folder Folder::make(const Folder &parent, const std::string &name, mode_t mode) {
  if (::mkdirat(parent.fd(), name.c_str(), mode) != 0) {
    throw os_error(errno, parent.path_ / name);
  }
  return open(parent, name);
}

bool Folder::still_at(const Folder &parent, const std::string &name) const {
  auto st = entry_at(parent.fd(), name, parent.path_ / name);
  return st && S_ISDIR(st->st_mode) && st->st_dev == device_ && st->st_ino == inode_;
}

void Folder::check_still_at(const Folder &parent, const std::string &name) const {
  if (!still_at(parent, name)) {
    throw Error(ErrorKind::RuntimeError,
                fmt::format("{} was replaced while the container ran (by a link or another "
                            "folder): nothing was taken from it",
                            repr((parent.path_ / name).string())));
  }
}

std::vector<std::string> Folder::names() const { return list_names(fd(), path_); }

bool Folder::has(const std::string &name) const {
  return entry_at(fd(), name, path_ / name).has_value();
}

void Folder::remove(const std::string &name) const {
  auto st = entry_at(fd(), name, path_ / name);
  if (!st) {
    return;
  }
  if (S_ISDIR(st->st_mode)) {
    remove_tree_at(fd(), name, path_ / name);
  } else if (::unlinkat(fd(), name.c_str(), 0) != 0 && errno != ENOENT) {
    throw os_error(errno, path_ / name);
  }
}

void hand_back(const fs::path &root, const Owner &owner, std::time_t since) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(
           root, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::end(it); it.increment(ec)) {
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) == 0 && st.st_uid == 0 && st.st_ctime >= since) {
      ::lchown(it->path().c_str(), owner.uid, owner.gid);
    }
  }
}

std::vector<std::string> move_files(const Folder &from, const Folder &to,
                                    const std::optional<Owner> &owner) {
  const auto names = from.names();
  for (const auto &name : names) {
    auto st = entry_at(from.fd(), name, from.path() / name);
    if (st && !S_ISREG(st->st_mode)) {
      throw Error(ErrorKind::RuntimeError,
                  fmt::format("{} is not a regular file: only files are products, and nothing "
                              "was moved into {}",
                              repr((from.path() / name).string()), repr(to.path().string())));
    }
    if (auto there = entry_at(to.fd(), name, to.path() / name); there && S_ISDIR(there->st_mode)) {
      throw os_error(EISDIR, to.path() / name);
    }
  }
  for (const auto &name : names) {
    if (owner &&
        ::fchownat(from.fd(), name.c_str(), owner->uid, owner->gid, AT_SYMLINK_NOFOLLOW) != 0) {
      throw os_error(errno, from.path() / name);
    }
    if (::renameat(from.fd(), name.c_str(), to.fd(), name.c_str()) != 0) {
      throw os_error(errno, to.path() / name);
    }
  }
  return names;
}

} // namespace tarvo::files
