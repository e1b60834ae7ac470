// The files of a release: an sdist's or a wheel's file name read as the standards spell it, the
// files of the project's version chosen from dist/, and the checks that need no tool, all made
// before anything leaves the machine.
#pragma once

#include "tarvo/packaging/version.hpp"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::artifacts {

// An sdist or a wheel, as its file name tells.
struct DistFile {
  bool wheel = false;
  std::string name; // as the file name spells it
  packaging::Version version;
  std::vector<std::string> platforms; // a wheel's platform tags: "any", "manylinux_2_17_x86_64"
};

// Reads "{name}-{version}.tar.gz" or "{name}-{version}(-{build})?-{python}-{abi}-{platform}.whl";
// any other name is a ValueError that says what it lacks.
DistFile read_dist_name(std::string_view filename);

// What is to be published, and what stands in its way.
struct Release {
  std::string name;    // the project's, as it spells it
  std::string version; // normalised
  // The build sets the version and it was not known before: the newest found was taken.
  bool version_from_files = false;
  std::vector<std::filesystem::path> files; // the sdists first, then the wheels, each once
  std::size_t sdists = 0;
  std::vector<std::string> problems; // each one stops the upload
  std::vector<std::string> warnings;
  // Distributions in dist/ that are not of this release (older versions), left where they are.
  std::size_t left_alone = 0;
};

// The release of the project `name` at `version`: the `given` files, or else the sdist and the
// wheels of that version in `dist`. Without a version (the build sets it, and it is not known
// before building) the newest version among those files is taken. Then the checks: every file
// exists and is named for the project's normalised name and version, no wheel has a platform tag
// that package indexes refuse (linux_*), the version is no local version, and an sdist comes
// with the wheels (a warning). No file of the project at all is a FileNotFoundError that says
// which build makes them.
Release choose_release(const std::string &name, const std::optional<std::string> &version,
                       const std::vector<std::string> &given, const std::filesystem::path &dist);

} // namespace tarvo::artifacts
