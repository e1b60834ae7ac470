#include "tarvo/container/project_files.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/files/tree.hpp"
#include "tarvo/platform.hpp"
#include "tarvo/random.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::container {

namespace fs = std::filesystem;

namespace {

std::string random_id() { return fmt::format("{:016x}", random_bits()); }

// Run as root, tarvo hands what it makes in the project to the project folder's owner, who can
// then clean it.
std::optional<files::Owner> project_owner(const files::Folder &project) {
  if (::geteuid() != 0) {
    return std::nullopt;
  }
  return files::Owner{project.owner_uid(), project.owner_gid()};
}

void remove_quietly(const fs::path &path) {
  std::error_code ignored;
  if (fs::is_directory(fs::symlink_status(path, ignored))) {
    try {
      files::remove_tree(path);
    } catch (const Error &) {
    }
  } else {
    fs::remove(path, ignored);
  }
}

// Copies what is left of `in` to `out` within the kernel, with Linux's copy_file_range; false
// where the two files' systems cannot do so, or the system has no such call, and read and write
// then copy the rest.
bool copied_in_kernel([[maybe_unused]] int in, [[maybe_unused]] int out,
                      [[maybe_unused]] const fs::path &to) {
#if TARVO_LINUX_CALLS
  for (;;) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n == 0) {
      return true;
    }
    if (n > 0 || errno == EINTR) {
      continue;
    }
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      throw os_error(errno, to);
    }
    return false;
  }
#else
  return false;
#endif
}

void copy_contents(const fs::path &from, const fs::path &to, mode_t mode) {
  Fd in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in) {
    throw os_error(errno, from);
  }
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (!out) {
    throw os_error(errno, to);
  }
  if (copied_in_kernel(in.get(), out.get(), to)) {
    return;
  }
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(in.get(), buffer, sizeof buffer);
    if (got == 0) {
      return;
    }
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw os_error(errno, from);
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(out.get(), buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) {
          continue;
        }
        throw os_error(errno, to);
      }
      done += put;
    }
  }
}

// Puts the entry at `from` (relative to the project) at `to` in the copy.
void place(const fs::path &from, const fs::path &to) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) {
    if (errno == ENOENT) {
      return; // gone meanwhile
    }
    throw os_error(errno, from);
  }
  if (S_ISDIR(st.st_mode)) {
    // Writable for us, to be filled; the engine's side is root and reads it regardless.
    if (::mkdir(to.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) {
      throw os_error(errno, to);
    }
  } else if (S_ISLNK(st.st_mode)) {
    std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
    auto n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0) {
      throw os_error(errno, from);
    }
    target.resize(static_cast<std::size_t>(n));
    if (::symlink(target.c_str(), to.c_str()) != 0) {
      throw os_error(errno, to);
    }
  } else if (S_ISREG(st.st_mode)) {
    if (::link(from.c_str(), to.c_str()) != 0) {
      copy_contents(from, to, st.st_mode & 07777);
    }
  }
}

// Places the tree at `from` under `to`, but for the top-level names in `skip` and those already
// there.
void place_tree(const fs::path &from, const fs::path &to, const std::vector<std::string> &skip) {
  for (auto it = fs::recursive_directory_iterator(from); it != fs::end(it); ++it) {
    const auto relative = it->path().lexically_relative(from);
    const auto target = to / relative;
    const auto there = fs::symlink_status(target);
    if ((it.depth() == 0 && std::find(skip.begin(), skip.end(), relative.string()) != skip.end()) ||
        (fs::exists(there) && !fs::is_directory(there))) {
      it.disable_recursion_pending();
      continue;
    }
    // A folder there already gets what it lacks.
    if (!fs::exists(there)) {
      place(it->path(), target);
    }
  }
}

// A worktree's or a submodule's .git is a file naming the repository elsewhere, which the
// engine would not have: the copy gets a repository of its own instead, the worktree's HEAD and
// index over the shared objects and references, so that a version taken from git is the same.
void place_git_repository(const fs::path &copy) {
  struct stat st {};
  if (::lstat(".git", &st) != 0 || !S_ISREG(st.st_mode)) {
    return;
  }
  const auto text = files::read_file(".git");
  if (!text.starts_with("gitdir: ")) {
    return;
  }
  auto line = text.substr(8, text.find('\n') - 8);
  const fs::path gitdir = fs::absolute(line);
  if (!fs::is_directory(gitdir)) {
    return;
  }
  ::unlink((copy / ".git").c_str());
  ::mkdir((copy / ".git").c_str(), 0755);
  place_tree(gitdir, copy / ".git", {"commondir", "gitdir"});
  if (files::exists(gitdir / "commondir")) {
    auto common = files::read_file(gitdir / "commondir");
    common = common.substr(0, common.find('\n'));
    place_tree(fs::absolute(gitdir / common), copy / ".git", {"worktrees"});
  }
}

} // namespace

RunFiles::RunFiles(bool products)
    : project_(files::Folder::current()), id_(random_id()), marker_(".tarvo-" + id_) {
  try {
    make(products);
  } catch (...) {
    tidy();
    throw;
  }
}

void RunFiles::make(bool products) {
  const std::string out_name = ".tarvo-" + id_;
  if (products) {
    if (project_.has("dist")) {
      dist_.emplace(files::Folder::open(project_, "dist"));
    } else {
      dist_.emplace(files::Folder::make(project_, "dist", 0777));
      made_dist_ = true;
      if (auto owner = project_owner(project_);
          owner && ::fchown(dist_->fd(), owner->uid, owner->gid) != 0) {
        throw os_error(errno, "dist");
      }
    }
    products_ = "dist/" + out_name;
    // A fresh name: nothing there can redirect what arrives.
    out_.emplace(files::Folder::make(*dist_, out_name, 0700));
  }
  Fd marker(::openat(project_.fd(), marker_.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!marker) {
    throw os_error(errno, marker_);
  }
}

RunFiles::~RunFiles() { tidy(); }

void RunFiles::tidy() noexcept {
  // Passed over where it fails: the entries may be gone already.
  auto quietly = [](const auto &step) {
    try {
      step();
    } catch (...) {
    }
  };
  quietly([&] { project_.remove(marker_); });
  quietly([&] { project_.remove(marker_ + ".seen"); });
  if (out_) {
    quietly([&] { dist_->remove(".tarvo-" + id_); });
  }
  quietly([&] {
    if (made_dist_ && dist_->still_at(project_, "dist")) {
      ::unlinkat(project_.fd(), "dist", AT_REMOVEDIR);
    }
  });
}

bool RunFiles::seen() const { return project_.has(marker_ + ".seen"); }

void RunFiles::deliver() const {
  if (!out_) {
    return;
  }
  dist_->check_still_at(project_, "dist");
  out_->check_still_at(*dist_, ".tarvo-" + id_);
  files::move_files(*out_, *dist_, project_owner(project_));
}

bool is_run_marker(std::string_view name) {
  if (name.ends_with(".seen")) {
    name.remove_suffix(5);
  }
  return name.size() == 23 && name.starts_with(".tarvo-") &&
         name.find_first_not_of("0123456789abcdef", 7) == std::string_view::npos;
}

ProjectCopy::ProjectCopy(const std::vector<fs::path> &extra) {
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tarvo-copy-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw os_error(errno, pattern);
  }
  path_ = pattern;
  try {
    files::walk_tree([&](const files::TreeEntry &entry) {
      const auto relative = entry.path();
      if (!relative.has_parent_path() &&
          std::find(NOT_COPIED.begin(), NOT_COPIED.end(), entry.name()) != NOT_COPIED.end()) {
        return false;
      }
      place(relative, path_ / relative);
      return entry.is_directory();
    });
    place_git_repository(path_);
    for (const auto &file : extra) {
      const auto to = path_ / file;
      if (!fs::exists(fs::symlink_status(to))) {
        files::make_directories(to.parent_path());
        place(file, to);
      }
    }
  } catch (...) {
    remove_quietly(path_);
    throw;
  }
}

ProjectCopy::~ProjectCopy() { remove_quietly(path_); }

} // namespace tarvo::container
