// Who the project is, for status: its name and version wherever the project keeps them, in
// pyproject.toml's [project] table, in [tool.poetry], or in setup.cfg.
#pragma once

#include "tarvo/process/context.hpp"
#include "tarvo/project/project_config.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace tarvo::project {

struct Identity {
  std::optional<std::string> name;
  std::optional<std::string> version;
  // The version is computed when the project is built: [project] lists it in `dynamic`,
  // setup.cfg names an attr: or file: source, or setuptools-scm is configured.
  bool dynamic_version = false;
  // Where a version the build sets was read without building: "PKG-INFO" (an sdist), "git
  // describe" (hatch-vcs or setuptools-scm at a tag), or the version file an earlier build
  // wrote. Absent for a version given in the metadata, or one not known before the build.
  std::optional<std::string> version_from;
  // Where the name was read: "[project]", "[tool.poetry]" or "setup.cfg"; absent when none
  // of them names the project.
  std::optional<std::string> source;
};

// The identity from `config`, the pyproject.toml in `folder`, or from setup.cfg beside it.
// [project] comes first, since the standard puts the metadata there. A version that is not
// text is a TypeError, as ProjectConfig::version() reports it.
Identity project_identity(const process::Context &context, const ProjectConfig &config,
                          const std::filesystem::path &folder);

// The version that a build will set, and where it was read, when it can be known without
// building: an sdist's PKG-INFO; for hatch-vcs and setuptools-scm, a tag on a clean checkout
// (git describe), or, outside git, the version file an earlier build wrote.
std::optional<std::pair<std::string, std::string>>
version_known_before_build(const ProjectConfig &config, const std::filesystem::path &folder);

} // namespace tarvo::project
