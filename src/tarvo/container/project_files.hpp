// What one container run keeps in the project folder: the marker that tells whether the engine
// sees the folder, and the fresh folder in dist/ that the run's products arrive in, both
// removed when the run ends, however it ends; and the copy of the project that copy mode
// hands to the engine.
#pragma once

#include "tarvo/files/folder.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::container {

// The files of one run, named ".tarvo-ID" in the project and "dist/.tarvo-ID/". The container
// renames the marker to ".tarvo-ID.seen" before anything else: only a container that sees this
// very folder can, and the marker's time, kept by the renaming, tells which files the run made.
// The folders are held by descriptor from the start: code in the container may put links or
// other folders in their places, and what is delivered or removed is only ever what tarvo made.
class RunFiles {
public:
  // Creates the marker and, for a run with products, the products folder (and dist/ when it is
  // missing, for the project folder's owner). A dist/ that is a link, or no folder, is refused
  // before anything is made.
  explicit RunFiles(bool products);
  ~RunFiles();
  RunFiles(const RunFiles &) = delete;
  RunFiles &operator=(const RunFiles &) = delete;

  // ".tarvo-ID", relative to the project.
  const std::string &marker() const { return marker_; }
  // "dist/.tarvo-ID", relative to the project.
  const std::string &products() const { return products_; }
  // The container has renamed the marker.
  bool seen() const;
  // Moves each file of the products folder into dist/, replacing an entry of its name that is
  // no folder (a link is replaced, never followed); when tarvo runs as root, the files go to
  // the project folder's owner first. dist/ and the products folder must be the very folders
  // made or opened for the run, and every product a regular file, or nothing is moved. Returns
  // the names delivered.
  std::vector<std::string> deliver() const;

private:
  void make(bool products);
  // Opens dist/, making it when it is missing.
  void open_dist();
  // Removes what the run made, passing over what fails.
  void tidy() noexcept;

  files::Folder project_;
  std::optional<files::Folder> dist_;
  std::optional<files::Folder> out_;
  std::string id_;
  std::string marker_;
  std::string products_;
  bool made_dist_ = false; // dist/ was made for this run: removed again when left empty
};

// Whether `name` is a marker that a run leaves in the project (".tarvo-" and 16 hexadecimal
// digits, with ".seen" once a container renamed it, or ".owner", the container's probe of who
// owns what it makes): a run killed outright leaves its own, which clean removes.
bool is_run_marker(std::string_view name);

// The top-level entries that copy mode leaves out: the host's environment and build outputs.
inline const std::vector<std::string> NOT_COPIED = {".venv", "dist", "build"};

// A fresh folder under the system's temporary folder that holds the project as the container
// gets it in copy mode: every entry but NOT_COPIED, links kept as links, files hard-linked
// where the file system allows and copied otherwise, sockets and devices left out, and `extra`
// (paths relative to the project, such as a wheel in dist/) at their places; the .git file of
// a worktree or submodule becomes the repository it names. Removed with everything in it.
class ProjectCopy {
public:
  explicit ProjectCopy(const std::vector<std::filesystem::path> &extra);
  ~ProjectCopy();
  ProjectCopy(const ProjectCopy &) = delete;
  ProjectCopy &operator=(const ProjectCopy &) = delete;

  const std::filesystem::path &path() const { return path_; }

private:
  std::filesystem::path path_;
};

} // namespace tarvo::container
