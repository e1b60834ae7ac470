#include "tarvo/venv/runner.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/process/timing.hpp"

#include <chrono>

namespace tarvo::venv {

namespace {

using process::CompletedProcess;

// A failed step's output, each stream to its own (standard output's to the progress stream),
// so the user sees why it failed.
void echo_output(const CompletedProcess &done) {
  if (done.stdout_text && !done.stdout_text->empty()) {
    console::write(console::progress_stream(), *done.stdout_text + "\n");
  }
  if (done.stderr_text && !done.stderr_text->empty()) {
    console::err("{}\n", *done.stderr_text);
  }
  console::flush();
}

process::ProcessOptions captured(const std::optional<process::Environment> &env = std::nullopt) {
  return {process::Redirect::Capture, process::Redirect::Capture, env};
}

} // namespace

CompletedProcess chronic(const std::vector<std::string> &args,
                         const std::optional<process::Environment> &env, bool check) {
  auto done = process::run(args, captured(env));
  if (done.returncode != 0) {
    echo_output(done);
    if (check) {
      process::check_returncode(done);
    }
  }
  return done;
}

CompletedProcess spinner(std::string_view action, const std::vector<std::string> &args,
                         bool chronic) {
  if (!console::is_terminal(console::progress_stream())) {
    console::write(console::progress_stream(), fmt::format("{}...\n", action));
    console::flush();
    if (chronic) {
      return venv::chronic(args);
    }
    return process::run(args, captured());
  }

  console::StatusLine line(action);
  std::unique_ptr<process::Child> child;
  try {
    child = process::launcher().start(args, captured());
  } catch (const Error &) {
    // The error follows the status line, which stays as it was.
    line.keep();
    throw;
  }
  while (!child->wait_for(process::timing().frame_period)) {
    line.advance();
  }
  line.clear();
  auto done = child->finish();
  if (chronic && done.returncode != 0) {
    echo_output(done);
    process::check_returncode(done);
  }
  return done;
}

} // namespace tarvo::venv
