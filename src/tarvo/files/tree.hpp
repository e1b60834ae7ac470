// Directory trees: removing one, walking one, and matching the names of one directory, never
// following a symbolic link. Descriptors, memory and time stay linear in the tree (a chain of
// folders any number of levels deep holds a bounded number of descriptors).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::files {

// Called before each entry a removal deletes; it may throw to stop the removal there (an
// interrupt), leaving what is not yet removed in place.
using BeforeEach = std::function<void()>;

// Removes the directory at `path` with everything below it. A link at `path` is refused
// ("Cannot call rmtree on a symbolic link"), links inside are removed, not followed. Entries
// that vanish meanwhile are passed over; any other failure is an error naming the entry.
void remove_tree(const std::filesystem::path &path, const BeforeEach &before_each = {});

class DirStack;

// One entry met by walk_tree, valid during the visit.
class TreeEntry {
public:
  TreeEntry(DirStack &stack, const std::string &name, bool directory)
      : stack_(stack), name_(name), directory_(directory) {}

  const std::string &name() const { return name_; }
  // A real directory, not a link to one.
  bool is_directory() const { return directory_; }
  // The entry's path relative to where the walk started.
  std::filesystem::path path() const;
  // Removes the entry as remove_tree does; it is then not descended into.
  void remove_tree(const BeforeEach &before_each = {}) const;
  // Removes the entry, which is not a directory.
  void remove_file() const;

private:
  DirStack &stack_;
  const std::string &name_;
  bool directory_;
};

// Visits every entry below `root` (the current directory unless given), depth first, hidden
// ones included, never descending through a link. `visit` returns whether to descend into a
// directory. A directory that cannot be opened or read is an error naming it; one that vanished
// meanwhile is passed over.
void walk_tree(const std::function<bool(const TreeEntry &)> &visit);
void walk_tree(const std::filesystem::path &root,
               const std::function<bool(const TreeEntry &)> &visit);

// The names in the open folder `dir_fd` ("." and ".." left out), in the order it lists them; a
// folder that cannot be read is an error naming `shown`.
std::vector<std::string> list_names(int dir_fd, const std::filesystem::path &shown);

// Removes the folder `name` of the open folder `dir_fd` as remove_tree does; `shown` is its path
// in messages.
void remove_tree_at(int dir_fd, const std::string &name, const std::filesystem::path &shown,
                    const BeforeEach &before_each = {});

// The names in `dir` that match the shell pattern (a wildcard never matches a leading "."), in
// the order the directory lists them; none when it cannot be read.
std::vector<std::string> glob(const std::filesystem::path &dir, std::string_view pattern);

} // namespace tarvo::files
