#include "tarvo/container/container.hpp"

#include "tarvo/container/script.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/random.hpp"

#include <cerrno>
#include <cstdint>
#include <fmt/format.h>
#include <memory>

namespace tarvo::container {

namespace {

void show(const process::Context &context, const std::vector<std::string> &args) {
  if (!context.verbose()) {
    return;
  }
  std::string line = "+";
  for (const auto &arg : args) {
    line += " " + shell_word(arg);
  }
  context.say(process::Said::Detail, line + "\n");
}

// A tidy-up step: quiet, started even while the command is being interrupted, and bounded by
// the clean-up's deadline; how it ended, with what it said on standard error.
process::CompletedProcess tidy_step(const process::Context &context,
                                    std::vector<std::string> args) {
  process::ProcessOptions options{.stdout_mode = process::Redirect::Discard,
                                  .stderr_mode = process::Redirect::Capture};
  options.tidy_up = true;
  return context.run(std::move(args), options);
}

// After an interrupt, a second Ctrl-C or the clean-up's deadline gives the clean-up up.
bool given_up(const process::Context &context) {
  return process::interrupt_signal() != 0 && process::cleanup_abandoned(context.timing());
}

} // namespace

std::string container_name() { return fmt::format("tarvo-{:016x}", random_bits()); }

std::vector<std::string> shown_in_errors(const std::vector<std::string> &args) {
  // docker VERB [options] IMAGE SHELL -ec SCRIPT
  if (args.size() < 6 || args.back().find('\n') == std::string::npos) {
    return args;
  }
  auto image = args.end()[-4];
  if (image.size() > 45) {
    image = image.substr(0, 42) + "...";
  }
  return {args[0],
          args[1],
          "[options]",
          image,
          args.end()[-3],
          args.end()[-2],
          "<script: --verbose shows it>"};
}

Container::Container(const process::Context &context, std::string what)
    : context_(&context), what_(std::move(what)) {}

Container::~Container() {
  // After the last word of an interrupt nothing more is done.
  if (!may_exist_ || reported_) {
    return;
  }
  try {
    const bool removed = tidy_up();
    if (process::interrupt_signal() != 0) {
      report_interrupt(removed);
    }
  } catch (...) {
    // Nothing may escape a destructor.
  }
}

bool Container::tidy_up() {
  try {
    if (given_up(*context_)) {
      return false;
    }
    auto removed = tidy_step(*context_, {"docker", "rm", "--force", "--volumes", name_});
    // Older engines refuse to remove what is not there.
    if (removed.returncode == 0 ||
        removed.stderr_text.value_or("").find("No such container") != std::string::npos) {
      may_exist_ = false;
      return true;
    }
  } catch (const Error &) {
    // Not started (no docker at all): nothing is confirmed.
  }
  return false;
}

void Container::report_interrupt(bool removed) {
  if (reported_) {
    return;
  }
  reported_ = true;
  if (removed) {
    context_->say(process::Said::LastWord,
                  fmt::format("Interrupted: stopped and removed {} (container {}); nothing was "
                              "written to the project\n",
                              what_, name_));
  } else {
    context_->say(process::Said::LastWord,
                  fmt::format("Interrupted: {} was not confirmed stopped: its container {} may "
                              "still be running; remove it with: docker rm --force --volumes {}\n",
                              what_, name_, name_));
  }
}

process::CompletedProcess Container::run(std::vector<std::string> args,
                                         const process::ProcessOptions &options) {
  show(*context_, args);
  const bool existed = may_exist_;
  may_exist_ = true;
  std::unique_ptr<process::Child> child;
  try {
    child = context_->start(std::move(args), options);
  } catch (...) {
    // Refused before it started (an interrupt came first): it made nothing.
    may_exist_ = existed;
    throw;
  }
  bool tidied = false;
  // Waits in frames: the wait itself does not end at an interrupt. The container is stopped at
  // once, while its client may still be running.
  while (!child->wait_for(context_->timing().frame_period)) {
    if (!tidied && process::interrupt_signal() != 0) {
      tidy_up();
      tidied = true;
    }
  }
  // Once the client has ended, again: it may have made the container only after the first
  // removal. Only then is the last word said.
  if (process::interrupt_signal() != 0) {
    report_interrupt(tidy_up());
  }
  auto done = child->finish();
  process::check_interrupted();
  return done;
}

process::CompletedProcess Container::run_quietly(std::vector<std::string> args) {
  auto done = run(std::move(args), {.stdout_mode = process::Redirect::Capture,
                                    .stderr_mode = process::Redirect::Capture});
  if (done.returncode != 0) {
    context_->say(process::Said::Detail, done.stderr_text.value_or(""));
    throw process::CalledProcessError(done.returncode, shown_in_errors(done.args));
  }
  return done;
}

void Container::remove() {
  run_quietly({"docker", "rm", "--force", "--volumes", name_});
  may_exist_ = false;
}

} // namespace tarvo::container
