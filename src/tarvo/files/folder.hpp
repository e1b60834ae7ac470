// Folders held by descriptor: the folders tarvo makes in the project for a container's products,
// opened once and checked by identity afterwards, so that nothing done meanwhile to their paths
// (a link put in a folder's place by code in a container) can make tarvo move, write or remove
// anything outside them.
#pragma once

#include "tarvo/fd.hpp"

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvo::files {

class Folder {
public:
  // The current directory, whose path in messages is empty.
  static Folder current();
  // The folder `name` of `parent`, never reached through a link: a link there, or anything but
  // a folder, is an error that names it.
  static Folder open(const Folder &parent, const std::string &name);
  // Makes the folder `name` in `parent`, which must not exist yet, and opens it.
  static Folder make(const Folder &parent, const std::string &name, mode_t mode);

  int fd() const { return fd_.get(); }
  // Its path from where the first folder was opened, as messages show it.
  const std::filesystem::path &path() const { return path_; }
  uid_t owner_uid() const { return uid_; }
  gid_t owner_gid() const { return gid_; }

  // Whether the entry `name` of `parent` is this very folder still, not a link or another
  // folder put in its place.
  bool still_at(const Folder &parent, const std::string &name) const;
  // Raises an error that names the folder unless still_at(parent, name).
  void check_still_at(const Folder &parent, const std::string &name) const;

  // The names of its entries, in the order the folder lists them.
  std::vector<std::string> names() const;

  // Whether an entry `name` exists in it, links not followed.
  bool has(const std::string &name) const;
  // Removes the entry `name` (a folder with everything below it, never following a link);
  // nothing there is not an error.
  void remove(const std::string &name) const;

private:
  Folder(Fd fd, std::filesystem::path path);

  Fd fd_;
  std::filesystem::path path_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
};

// The user and group that files are handed to.
struct Owner {
  uid_t uid;
  gid_t gid;
};

// Gives every entry below `root` that belongs to the superuser and changed at or after `since`
// to `owner`, links themselves (never followed): what a tarvo run as root made in a project of
// another user's (.venv, an sdist, an editable install's metadata). Entries that vanish meanwhile
// and folders that cannot be read are passed over.
void hand_back(const std::filesystem::path &root, const Owner &owner, std::time_t since);

// Moves every entry of `from` into `to` under its own name: what is there is replaced, a link
// included (never followed), unless it is a folder. Every entry must be a regular file, checked
// before anything moves: anything else is an error that names it, and nothing is moved. With
// `owner`, each file is handed to that user and group first. Returns the names moved.
std::vector<std::string> move_files(const Folder &from, const Folder &to,
                                    const std::optional<Owner> &owner);

} // namespace tarvo::files
