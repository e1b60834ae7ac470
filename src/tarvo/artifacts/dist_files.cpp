#include "tarvo/artifacts/dist_files.hpp"

#include "tarvo/error.hpp"
#include "tarvo/files/tree.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/text.hpp"

#include <algorithm>
#include <cctype>
#include <fmt/format.h>

namespace tarvo::artifacts {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view SDIST = ".tar.gz";
constexpr std::string_view WHEEL = ".whl";

packaging::Version version_in(std::string_view text) {
  if (auto version = packaging::try_parse_version(text)) {
    return *version;
  }
  throw Error(ErrorKind::ValueError, fmt::format("{} is no valid version (PEP 440)", repr(text)));
}

struct Found {
  fs::path path;
  DistFile dist;
};

} // namespace

DistFile read_dist_name(std::string_view filename) {
  DistFile file;
  if (filename.ends_with(SDIST)) {
    const auto stem = filename.substr(0, filename.size() - SDIST.size());
    const auto dash = stem.rfind('-');
    if (dash == std::string_view::npos || !packaging::is_valid_name(stem.substr(0, dash))) {
      throw Error(ErrorKind::ValueError, "not named as an sdist is: {name}-{version}.tar.gz");
    }
    file.name = stem.substr(0, dash);
    file.version = version_in(stem.substr(dash + 1));
    return file;
  }
  if (!filename.ends_with(WHEEL)) {
    throw Error(ErrorKind::ValueError, "neither an sdist (.tar.gz) nor a wheel (.whl)");
  }
  const auto wheel = packaging::parse_wheel_filename(filename);
  if (!wheel) {
    throw Error(ErrorKind::ValueError, "not named as a wheel is: "
                                       "{name}-{version}(-{build})?-{python}-{abi}-{platform}.whl");
  }
  file.wheel = true;
  file.name = wheel->name;
  file.version = version_in(wheel->version);
  for (auto platform : split(wheel->platform, '.')) {
    file.platforms.emplace_back(platform);
  }
  return file;
}

Release choose_release(const std::string &name, const std::optional<std::string> &version,
                       const std::vector<std::string> &given, const fs::path &dist) {
  Release release;
  release.name = name;
  auto problem = [&](const fs::path &path, const std::string &what) {
    release.problems.push_back(printable(path.string()) + ": " + what);
  };
  std::vector<Found> found;
  for (const auto &text : given) {
    const fs::path path(text);
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::is_regular_file(status)) {
      problem(path, fs::exists(status) ? "not a file" : "no such file");
      continue;
    }
    try {
      found.push_back({path, read_dist_name(path.filename().string())});
    } catch (const Error &e) {
      problem(path, e.message());
    }
  }
  if (given.empty()) {
    for (const auto *pattern : {"*.tar.gz", "*.whl"}) {
      for (const auto &entry : files::glob(dist, pattern)) {
        try {
          found.push_back({dist / entry, read_dist_name(entry)});
        } catch (const Error &) {
          ++release.left_alone;
        }
      }
    }
  }

  const auto project = packaging::canonicalize_name(name);
  auto ours = [&](const DistFile &file) {
    return packaging::canonicalize_name(file.name) == project;
  };
  std::optional<packaging::Version> wanted;
  if (version) {
    wanted = packaging::try_parse_version(*version);
    if (!wanted) {
      throw Error(ErrorKind::ValueError,
                  fmt::format("The project's version {} is no valid version (PEP 440), which "
                              "package indexes refuse",
                              repr(*version)));
    }
  } else {
    for (const auto &f : found) {
      if (ours(f.dist) && (!wanted || f.dist.version > *wanted)) {
        wanted = f.dist.version;
      }
    }
    release.version_from_files = wanted.has_value();
  }
  release.version = wanted ? packaging::to_string(*wanted) : "";
  auto of_release = [&](const DistFile &file) {
    return ours(file) && wanted && packaging::to_string(file.version) == release.version;
  };

  std::vector<Found> chosen;
  for (auto &f : found) {
    if (!given.empty() || of_release(f.dist)) {
      chosen.push_back(std::move(f));
    } else {
      ++release.left_alone;
    }
  }
  if (given.empty() && chosen.empty()) {
    throw Error(
        ErrorKind::FileNotFoundError,
        fmt::format("No sdist or wheel of {}{} in {}/: tarvo build --sdist makes the sdist, "
                    "--wheel a pure wheel, --native-wheel platform wheels",
                    printable(name), wanted ? " " + release.version : "",
                    printable(dist.string())));
  }
  // The sdist goes first, so that an index shows the release's sources from its first file on.
  std::stable_sort(chosen.begin(), chosen.end(), [](const Found &a, const Found &b) {
    return std::pair(a.dist.wheel, a.path.filename()) < std::pair(b.dist.wheel, b.path.filename());
  });
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const auto &[path, file] = chosen[i];
    if (i > 0 && path.filename() == chosen[i - 1].path.filename()) {
      // The same file named twice goes once; two files of one name cannot both reach an index.
      if (path.lexically_normal() != chosen[i - 1].path.lexically_normal()) {
        problem(path, "a second file of this name, and an index takes one");
      }
      continue;
    }
    if (!ours(file)) {
      problem(path, fmt::format("a file of {}, not of {}", printable(file.name), printable(name)));
    } else if (!of_release(file)) {
      problem(path, fmt::format("version {}, not {}'s {}", packaging::to_string(file.version),
                                printable(name), release.version));
    }
    for (const auto &platform : file.platforms) {
      if (platform.starts_with("linux_")) {
        problem(path, fmt::format("platform tag {}, which package indexes refuse: tarvo build "
                                  "--native-wheel makes a manylinux wheel",
                                  printable(platform)));
      }
    }
    release.files.push_back(path);
    release.sdists += file.wheel ? 0 : 1;
  }
  if (wanted && !wanted->local.empty()) {
    release.problems.push_back(
        fmt::format("{} {} is a local version (+{}), which package indexes refuse", printable(name),
                    release.version, packaging::local_text(*wanted)));
  }
  if (!release.files.empty() && release.sdists == 0) {
    release.warnings.push_back(fmt::format("no sdist of {} {} among the files: tarvo build --sdist "
                                           "makes one",
                                           printable(name), release.version));
  }
  return release;
}

} // namespace tarvo::artifacts
