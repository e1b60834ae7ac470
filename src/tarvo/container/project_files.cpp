#include "tarvo/container/project_files.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/files/copy.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/files/tree.hpp"
#include "tarvo/platform.hpp"
#include "tarvo/random.hpp"

#include <cerrno>
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
  const auto repository = copy / ".git";
  if (::unlink(repository.c_str()) != 0) {
    throw os_error(errno, repository);
  }
  if (::mkdir(repository.c_str(), 0755) != 0) {
    throw os_error(errno, repository);
  }
  files::copy_tree(gitdir, repository, {"commondir", "gitdir"});
  if (files::exists(gitdir / "commondir")) {
    auto common = files::read_file(gitdir / "commondir");
    common = common.substr(0, common.find('\n'));
    files::copy_tree(fs::absolute(gitdir / common), repository, {"worktrees"});
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
  // Side by side (a farm's targets), the run that made dist/ removes it again when it ends and
  // leaves it empty, which may be at any moment while this run opens it: then it is made again.
  for (int attempt = 1; products; ++attempt) {
    try {
      open_dist();
      // A fresh name: nothing there can redirect what arrives.
      out_.emplace(files::Folder::make(*dist_, out_name, 0700));
      products_ = "dist/" + out_name;
      break;
    } catch (const Error &e) {
      if (e.kind() != ErrorKind::FileNotFoundError || attempt == 5) {
        throw;
      }
      dist_.reset();
      made_dist_ = false;
    }
  }
  Fd marker(::openat(project_.fd(), marker_.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!marker) {
    throw os_error(errno, marker_);
  }
}

void RunFiles::open_dist() {
  if (!project_.has("dist")) {
    try {
      dist_.emplace(files::Folder::make(project_, "dist", 0777));
      made_dist_ = true;
      if (auto owner = project_owner(project_);
          owner && ::fchown(dist_->fd(), owner->uid, owner->gid) != 0) {
        throw os_error(errno, "dist");
      }
    } catch (const Error &e) {
      // Another run of this command (a target beside this one) made it meanwhile.
      if (e.kind() != ErrorKind::FileExistsError) {
        throw;
      }
    }
  }
  if (!dist_) {
    dist_.emplace(files::Folder::open(project_, "dist"));
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

std::vector<std::string> RunFiles::deliver() const {
  if (!out_) {
    return {};
  }
  dist_->check_still_at(project_, "dist");
  out_->check_still_at(*dist_, ".tarvo-" + id_);
  return files::move_files(*out_, *dist_, project_owner(project_));
}

bool is_run_marker(std::string_view name) {
  for (std::string_view suffix : {".seen", ".owner"}) {
    if (name.ends_with(suffix)) {
      name.remove_suffix(suffix.size());
      break;
    }
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
    files::copy_tree(".", path_, NOT_COPIED);
    place_git_repository(path_);
    for (const auto &file : extra) {
      const auto to = path_ / file;
      if (!fs::exists(fs::symlink_status(to))) {
        files::make_directories(to.parent_path());
        files::copy_entry(file, to);
      }
    }
  } catch (...) {
    remove_quietly(path_);
    throw;
  }
}

ProjectCopy::~ProjectCopy() { remove_quietly(path_); }

} // namespace tarvo::container
