// Test helpers: temporary folders, files, and running a program on pipes or on a
// pseudo-terminal with its output collected.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  fs::path path;
};

void write_file(const fs::path &path, const std::string &content);
std::string read_file(const fs::path &path);

// The built tarvo executable and the folder of stand-in programs.
fs::path tarvo_binary();
fs::path stubs_dir();
fs::path source_dir();

struct RunOptions {
  fs::path cwd = ".";
  // Variables set (or, with no value, removed) in the child's copy of our environment.
  std::map<std::string, std::optional<std::string>> env;
  // Written to the child's standard input, which is then closed; without it stdin is /dev/null.
  std::optional<std::string> input;
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

// Runs argv with a pseudo-terminal as standard input and output; `input` is typed into it
// at once. Standard error goes to a pipe unless `stderr_on_terminal`.
PtyOutput run_in_pty(const std::vector<std::string> &argv, const RunOptions &options = {},
                     bool stderr_on_terminal = false);

// The PATH value with `dir` first.
std::string path_with(const fs::path &dir);

} // namespace tarvo::testing
