// What one container run keeps in the project folder: the marker that tells whether the engine
// sees the folder and names the containers the run starts, and the fresh folder in dist/ that
// the run's products are written into, both removed when the run ends, however it ends; the
// copy of the project that copy mode hands to the engine; and the removal of what a tarvo killed
// outright left running.
#pragma once

#include "tarvo/container/docker.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/files/folder.hpp"
#include "tarvo/files/unpack.hpp"
#include "tarvo/process/context.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::container {

// The files of one run, named ".tarvo-ID" in the project and "dist/.tarvo-ID/". The container
// looks for the marker before anything else: only a container that sees this very folder finds
// it. The folders are held by descriptor from the start, and what is delivered or removed is
// only ever what tarvo made.
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
  // Writes the container's name into the marker, with the engine that `context`'s docker
  // commands reach, before the container can exist: a tarvo killed outright leaves the names
  // of what it started, which the next command removes (remove_left_containers).
  void record(const std::string &container, const process::Context &context);
  // Writes the products in the tar stream that `read` gives (a container's products folder)
  // into the products folder, then moves them into dist/, replacing an entry of its name that
  // is no folder; when tarvo runs as root, they go to the project folder's owner first. dist/
  // and the products folder must be the very folders made or opened for the run. Returns what
  // was delivered and what was left out.
  files::Unpacked deliver(const files::ReadSome &read, const Products &products) const;

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
  Fd record_;              // the marker, open for appending
  bool made_dist_ = false; // dist/ was made for this run: removed again when left empty
};

// Whether `name` is a marker that a run leaves in the project (".tarvo-" and 16 hexadecimal
// digits, or with ".seen" or ".owner" as older versions left them): a run killed outright leaves
// its own, which clean removes.
bool is_run_marker(std::string_view name);

// Removes the containers that the markers in the project name (runs of a tarvo killed outright),
// each on its engine, saying so in one line each; a marker whose containers are all gone is
// removed. Only a command that took the project's lock itself calls it: no run of another tarvo
// is then under way in the project.
void remove_left_containers(const process::Context &context);

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
