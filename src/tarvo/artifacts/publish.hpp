// Publishing a release with the twine of .venv: every file checked by twine check --strict, beside
// the checks made before, and nothing sent while any problem stands; then the files uploaded one
// at a time, the sdist first, each with a line of its own, stopping at the first failure.
// Credentials reach twine through its environment alone, never its command line.
#pragma once

#include "tarvo/artifacts/dist_files.hpp"
#include "tarvo/venv/virtual_environment.hpp"

#include <optional>
#include <string>
#include <vector>

namespace tarvo::artifacts {

// Where the files go, as twine is told and as the lines name it.
struct Destination {
  std::vector<std::string> options; // twine's; none for its default, PyPI
  std::string shown;
};

// A value with "://" is an index's upload URL, any other the name of a repository in ~/.pypirc
// ("testpypi"); absent, twine's default (PyPI). An empty value, or a URL with credentials in it,
// which would put them on twine's command line, is a ValueError.
Destination destination(const std::optional<std::string> &repository);

// The lines that say what is to be published, and the release's warnings.
void announce(const Release &release);

struct PublishOptions {
  // A file that the index holds already is left there, and the next one goes: a second run after
  // a failed one completes the set.
  bool skip_existing = false;
  // Stop after the checks.
  bool dry_run = false;
};

// Checks the release and uploads it; returns the command's exit status: 1 when a check found a
// problem (then nothing was sent) or an upload failed (the files before it stay on the index).
int publish(const venv::VirtualEnvironment &venv, const Release &release,
            const Destination &destination, const PublishOptions &options);

} // namespace tarvo::artifacts
