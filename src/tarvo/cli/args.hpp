// The parsed command line that every command handler receives.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvo::cli {

// One record for all commands; a field that was not given holds its default, and fields of
// other commands keep theirs.
struct Args {
  std::string directory = ".";
  // A complete .venv is used as it stands (--no-sync, or TARVO_NO_SYNC set).
  bool no_sync = false;
  std::string command;
  // requirements
  std::vector<std::string> extras;
  // test and build
  bool wheel = false;
  std::string arch = "x86_64";
  std::string libc = "glibc";
  std::string python = "3.11";
  std::optional<std::string> setup;
  bool verbose = false;
  // test: the test file, folder or node id (absent: the tests folder), and the words after
  // "--", which go to pytest unchanged
  std::optional<std::string> path;
  std::vector<std::string> pytest_args;
  // build
  bool sdist = false;
  bool native_wheel = false;
  bool executable = false;
  bool no_compress = false;
  // status
  bool json = false;
  // lint and config-diff
  bool fix = false;
  bool workflow = false;
  bool colour = false;
  // publish: the files (none: the release's in dist/), where they go, and how
  std::vector<std::string> files;
  std::optional<std::string> repository;
  bool skip_existing = false;
  bool dry_run = false;
  // init
  std::optional<std::string> name;
  std::optional<std::string> description;
  std::optional<std::string> author_name;
  std::optional<std::string> author_email;
  std::optional<std::string> license;
};

} // namespace tarvo::cli
