#include "tarvo/artifacts/clean.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/container/project_files.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/files/folder.hpp"
#include "tarvo/files/tree.hpp"
#include "tarvo/process/interrupts.hpp"

#include <filesystem>
#include <fnmatch.h>

namespace tarvo::artifacts {

// An interrupt stops the removal at the next entry; what is removed stays removed, and the
// command ends without "Clean complete".
void clean() {
  const files::BeforeEach stop_if_interrupted = process::check_interrupted;
  console::out("Cleaning build artifacts...\n");
  // .pdm-build/ is pdm-backend's staging folder.
  for (const char *name : {"build", "dist", ".venv", "wheelhouse", ".pdm-build"}) {
    if (files::exists(name)) {
      files::remove_tree(name, stop_if_interrupted);
    }
  }
  // A container run's marker, left by a tarvo killed outright (one that ends removes its own).
  for (const auto &name : files::glob(".", ".tarvo-*")) {
    if (container::is_run_marker(name)) {
      files::Folder::current().remove(name);
    }
  }
  // The patterns name folders (setuptools' metadata, Nuitka's build and output): a file that
  // matches is the project's own (meson.build, a template named like config.dist) and stays.
  for (const char *pattern : {"*.egg-info", "*.build", "*.dist"}) {
    for (const auto &match : files::glob(".", pattern)) {
      std::error_code unknown;
      if (std::filesystem::symlink_status(match, unknown).type() ==
          std::filesystem::file_type::regular) {
        continue;
      }
      if (files::exists(match)) {
        files::remove_tree(match, stop_if_interrupted);
      }
    }
  }
  files::walk_tree([&](const files::TreeEntry &entry) {
    process::check_interrupted();
    if (entry.name() != "__pycache__") {
      return true;
    }
    entry.remove_tree(stop_if_interrupted);
    return false;
  });
  files::walk_tree([](const files::TreeEntry &entry) {
    process::check_interrupted();
    if (!entry.is_directory() && ::fnmatch("*.pyc", entry.name().c_str(), 0) == 0) {
      entry.remove_file();
    }
    return true;
  });
  console::out("Clean complete\n");
}

} // namespace tarvo::artifacts
