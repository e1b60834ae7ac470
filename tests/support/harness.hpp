// Test helpers: temporary folders and files, scoped changes of the environment and the current
// folder, and running a program on pipes or on a pseudo-terminal with its output collected.
#pragma once

#include "tarvo/error.hpp"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvo::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
struct TempDir {
  TempDir();
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  fs::path path;
};

// Sets (or, with no value, removes) a variable of our own environment until destroyed.
struct ScopedEnv {
  ScopedEnv(const char *name, const std::optional<std::string> &value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;
  const char *name;
  std::optional<std::string> old;
};

// Makes `dir` the current folder until destroyed.
struct InDir {
  explicit InDir(const fs::path &dir) : previous(fs::current_path()) { fs::current_path(dir); }
  ~InDir() { fs::current_path(previous); }
  fs::path previous;
};

void write_file(const fs::path &path, const std::string &content);
std::string read_file(const fs::path &path);
// A shell script that only its owner may run.
void write_script(const fs::path &path, const std::string &body);
// The pieces of `text` between separators, the last one included even when empty.
std::vector<std::string> split(const std::string &text, char separator);
// The lines of a log file (none when it does not exist), which is then removed.
std::vector<std::string> take_lines(const fs::path &path);
// The names of a folder's entries, sorted.
std::vector<std::string> names_in(const fs::path &dir);

// Runs `body` with our standard output and error sent to memory files; returns what was
// written to each.
std::pair<std::string, std::string> capture_output(const std::function<void()> &body);

// The built tarvo executable and the folder of stand-in programs.
fs::path tarvo_binary();
fs::path stubs_dir();
fs::path source_dir();

struct RunOptions {
  fs::path cwd = ".";
  // Variables set (or, with no value, removed) in the child's copy of our environment.
  std::map<std::string, std::optional<std::string>> env;
  // The child's standard input (typed into the terminal, for run_in_pty); else /dev/null.
  std::optional<std::string> input;
  // Runs on a thread of its own while the child runs, with the child's id and, for
  // run_in_pty, the terminal (else -1): to type Ctrl-C or send a signal at the right moment.
  std::function<void(pid_t child, int terminal)> meanwhile;
};

struct Output {
  int status = 0; // exit status, or the negative signal number
  std::string out;
  std::string err;
};

// Runs argv (program looked up on PATH) with stdout and stderr on separate pipes.
Output run(const std::vector<std::string> &argv, const RunOptions &options = {});

// Runs tarvo with the given arguments.
Output run_tarvo(const std::vector<std::string> &args, const RunOptions &options = {});

struct Chunk {
  std::chrono::steady_clock::duration at; // since the child started
  std::string bytes;
};

struct PtyOutput {
  int status = 0;
  std::string screen; // everything the child wrote to the terminal (stdin echo included)
  std::string err;    // standard error, kept on a pipe of its own
  std::vector<Chunk> chunks;
};

// Runs argv with a pseudo-terminal as standard input and output. Standard error goes to a
// pipe unless `stderr_on_terminal`.
PtyOutput run_in_pty(const std::vector<std::string> &argv, const RunOptions &options = {},
                     bool stderr_on_terminal = false);

// "Kind: message", as the top level prints an error.
inline std::string error_line(const tarvo::Error &e) {
  return std::string(tarvo::name(e.kind())) + ": " + e.message();
}

// The PATH value with `dir` first.
std::string path_with(const fs::path &dir);

// A small setuptools project as developers lay one out, file name to content: pyproject.toml
// (version 1.0, the MIT licence, a "test" extra with pytest), the package `name` whose
// double(x) doubles, and tests/test_<name>.py, which checks it.
std::map<std::string, std::string> setuptools_project(const std::string &name);

// The project template rendered for "tiny", with ruff's blind-except rule on; without `rated`
// it lacks the metadata that pyroma rates (the template carries it).
std::string tiny_pyproject(bool rated);

// The wheels scripts/fetch-wheels.sh fetched, or an empty path while they are incomplete.
fs::path offline_wheels();

// The variables under which pip installs from `wheels` alone.
std::map<std::string, std::optional<std::string>> offline_pip(const fs::path &wheels);

} // namespace tarvo::testing
