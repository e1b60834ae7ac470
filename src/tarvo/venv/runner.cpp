#include "tarvo/venv/runner.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/process/timing.hpp"

#include <chrono>

namespace tarvo::venv {

namespace {

using process::CompletedProcess;

// A failed step's output, each stream to its own, so the user sees why it failed. Written as it
// is, never copied: it may be large.
void echo_output(const CompletedProcess &done) {
  for (auto [stream, text] : {std::pair{console::Stream::Out, &done.stdout_text},
                              std::pair{console::Stream::Err, &done.stderr_text}}) {
    if (*text && !(*text)->empty()) {
      console::write(stream, **text);
      console::write(stream, "\n");
    }
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
      process::check_returncode(std::move(done));
    }
  }
  return done;
}

CompletedProcess spinner(std::string_view action, const std::vector<std::string> &args,
                         bool chronic) {
  if (!console::is_terminal(console::Stream::Out)) {
    console::out("{}...\n", action);
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
    process::check_returncode(std::move(done));
  }
  return done;
}

} // namespace tarvo::venv
