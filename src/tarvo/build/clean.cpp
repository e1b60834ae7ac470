#include "tarvo/build/clean.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/fs/files.hpp"
#include "tarvo/fs/tree.hpp"

#include <fnmatch.h>

namespace tarvo {

void clean() {
  console::out("Cleaning build artifacts...\n");
  for (const char *name : {"build", "dist", ".venv", "wheelhouse"}) {
    if (files::exists(name)) {
      files::remove_tree(name);
    }
  }
  for (const char *pattern : {"*.egg-info", "*.build", "*.dist"}) {
    for (const auto &match : files::glob(".", pattern)) {
      if (files::exists(match)) {
        files::remove_tree(match);
      }
    }
  }
  files::walk_tree([](const files::TreeEntry &entry) {
    if (entry.name() != "__pycache__") {
      return true;
    }
    entry.remove_tree();
    return false;
  });
  files::walk_tree([](const files::TreeEntry &entry) {
    if (!entry.is_directory() && ::fnmatch("*.pyc", entry.name().c_str(), 0) == 0) {
      entry.remove_file();
    }
    return true;
  });
  console::out("Clean complete\n");
}

} // namespace tarvo
