#include "tarvo/container/project_files.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/files/copy.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/files/tree.hpp"
#include "tarvo/platform.hpp"
#include "tarvo/random.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/text.hpp"

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
      break;
    } catch (const Error &e) {
      if (e.kind() != ErrorKind::FileNotFoundError || attempt == 5) {
        throw;
      }
      dist_.reset();
      made_dist_ = false;
    }
  }
  record_ = Fd(::openat(project_.fd(), marker_.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!record_) {
    throw os_error(errno, marker_);
  }
}

void RunFiles::record(const std::string &container, const process::Context &context) {
  // One line a container: its name and the engine's DOCKER_HOST and DOCKER_CONTEXT, blank when
  // unset. A value that a line cannot hold is left blank: the default engine is asked then.
  std::string line = container;
  for (const char *variable : {"DOCKER_HOST", "DOCKER_CONTEXT"}) {
    auto value = context.variable(variable).value_or("");
    if (value.find_first_of(std::string_view("\t\n\0", 3)) != std::string::npos) {
      value.clear();
    }
    line += "\t" + value;
  }
  files::write_all(record_.get(), line + "\n", marker_);
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
  if (out_) {
    quietly([&] { dist_->remove(".tarvo-" + id_); });
  }
  quietly([&] {
    if (made_dist_ && dist_->still_at(project_, "dist")) {
      ::unlinkat(project_.fd(), "dist", AT_REMOVEDIR);
    }
  });
}

files::Unpacked RunFiles::deliver(const files::ReadSome &read, const Products &products) const {
  dist_->check_still_at(project_, "dist");
  out_->check_still_at(*dist_, ".tarvo-" + id_);
  auto unpacked = files::unpack_files(read, *out_, products.accepts, "the products of the run");
  unpacked.taken = files::move_files(*out_, *dist_, project_owner(project_));
  return unpacked;
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

namespace {

// A container's name as tarvo makes them.
bool is_container_name(std::string_view name) {
  return name.size() == 22 && name.starts_with("tarvo-") &&
         name.find_first_not_of("0123456789abcdef", 6) == std::string_view::npos;
}

// Removes one container a marker names; false when its engine could not be asked to.
bool remove_left_container(const process::Context &context, std::string_view line) {
  const auto fields = split(line, '\t');
  if (fields.size() != 3 || !is_container_name(fields[0])) {
    return true;
  }
  const std::string name(fields[0]);
  auto value = [](std::string_view text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
  };
  process::Context engine(
      context, {{"DOCKER_HOST", value(fields[1])}, {"DOCKER_CONTEXT", value(fields[2])}});
  const std::string_view shown = !fields[2].empty()   ? fields[2]
                                 : !fields[1].empty() ? fields[1]
                                                      : "default";
  std::optional<process::CompletedProcess> done;
  try {
    done = ask_engine(engine, {"docker", "rm", "--force", "--volumes", name});
  } catch (const Error &) {
    // No docker to ask: the line below says how to remove it.
  }
  const auto said = done ? done->stderr_text.value_or("") : std::string();
  if (done && (done->returncode == 0 || said.find("No such container") != std::string::npos)) {
    // docker names what it removed; a container that was gone already is not mentioned.
    if (done->stdout_text.value_or("").find(name) != std::string::npos) {
      context.say(process::Said::Progress,
                  fmt::format("Removed container {} on engine {}: a tarvo that was killed left "
                              "it behind\n",
                              name, printable(shown)));
    }
    return true;
  }
  auto why =
      !done ? std::string("the engine did not answer") : printable(said.substr(0, said.find('\n')));
  context.say(process::Said::Detail,
              fmt::format("Could not remove container {} on engine {}, left behind by a tarvo "
                          "that was killed ({}): remove it with: docker rm --force --volumes {}\n",
                          name, printable(shown), why, name));
  return false;
}

} // namespace

void remove_left_containers(const process::Context &context) {
  const auto project = files::Folder::current();
  for (const auto &name : files::glob(".", ".tarvo-*")) {
    if (!is_run_marker(name) || name.ends_with(".seen") || name.ends_with(".owner")) {
      continue;
    }
    std::string text;
    try {
      text = files::read_file(name);
    } catch (const Error &) {
      continue;
    }
    bool all_gone = true;
    for (const auto &line : split(text, '\n')) {
      if (!line.empty()) {
        all_gone = remove_left_container(context, line) && all_gone;
      }
    }
    if (all_gone) {
      project.remove(name);
      // The run's products folder, which that tarvo would have removed.
      try {
        files::Folder::open(project, "dist").remove(name);
      } catch (const Error &) {
        // No dist/, or none that tarvo writes into: nothing of the run is there.
      }
    }
  }
}

ProjectCopy::ProjectCopy(const std::vector<fs::path> &extra) {
  std::string pattern = files::temporary_folder() + "/tarvo-copy-XXXXXX";
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
