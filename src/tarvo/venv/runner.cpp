#include "tarvo/venv/runner.hpp"

#include <chrono>
#include <cstdio>
#include <fmt/format.h>
#include <unistd.h>

namespace tarvo::venv {

namespace {

// The wait between two redraws, and so also the animation's frame period.
constexpr auto FRAME_PERIOD = std::chrono::milliseconds(100);

// Code points, which is what the terminal shows as characters.
std::size_t characters(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) {
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }
  return count;
}

// A failed step's output, each stream to its own, so the user sees why it failed.
void echo_output(const CompletedProcess &done) {
  if (done.stdout_text && !done.stdout_text->empty()) {
    fmt::print(stdout, "{}\n", *done.stdout_text);
  }
  std::fflush(stdout);
  if (done.stderr_text && !done.stderr_text->empty()) {
    fmt::print(stderr, "{}\n", *done.stderr_text);
    std::fflush(stderr);
  }
}

ProcessOptions captured(const std::optional<Environment> &env = std::nullopt) {
  return {Stream::Capture, Stream::Capture, env};
}

} // namespace

CompletedProcess chronic(const std::vector<std::string> &args,
                         const std::optional<Environment> &env, bool check) {
  auto done = run_process(args, captured(env));
  if (done.returncode != 0) {
    echo_output(done);
    if (check) {
      check_returncode(done);
    }
  }
  return done;
}

CompletedProcess spinner(std::string_view action, const std::vector<std::string> &args,
                         bool chronic) {
  if (isatty(STDOUT_FILENO) == 0) {
    fmt::print(stdout, "{}...\n", action);
    std::fflush(stdout);
    if (chronic) {
      return venv::chronic(args);
    }
    return run_process(args, captured());
  }

  std::size_t frame = 0;
  fmt::print(stdout, "{}: [{}]", action, SPINNER_FRAMES[frame]);
  std::fflush(stdout);
  Process process(args, captured());
  while (!process.wait_for(FRAME_PERIOD)) {
    frame = (frame + 1) % SPINNER_FRAMES.size();
    fmt::print(stdout, "\r{}: [{}]", action, SPINNER_FRAMES[frame]);
    std::fflush(stdout);
  }
  // Blank exactly the status line's width so the next line starts on a clean one.
  auto width = characters(action) + 4 + characters(SPINNER_FRAMES[frame]);
  fmt::print(stdout, "\r{:{}}\r", "", width);
  std::fflush(stdout);

  auto done = process.finish();
  if (chronic && done.returncode != 0) {
    echo_output(done);
    check_returncode(done);
  }
  return done;
}

} // namespace tarvo::venv
