// A launcher that starts nothing: it records every child it is asked for, in order, and
// answers with what the test scripted. Passed to a tarvo::process::Context.
#pragma once

#include "tarvo/process/process.hpp"

#include <functional>
#include <mutex>
#include <unistd.h>

namespace tarvo::testing {

struct Launched {
  std::vector<std::string> args;
  process::ProcessOptions options;
};

class RecordingLauncher : public process::Launcher {
public:
  // The child's return code and what it writes to each stream (kept only where captured);
  // it may also throw, as a program that cannot be started does. By default: 0, no output.
  struct Answer {
    int returncode = 0;
    std::string out;
    std::string err;
  };
  std::function<Answer(const std::vector<std::string> &args)> answer;
  // Instead of `answer`, where the answer depends on the options too (a child's environment).
  std::function<Answer(const Launched &call)> answer_call;
  // How many waits of each child time out before it has ended (it never runs on its own).
  int waits_before_end = 0;

  std::unique_ptr<process::Child> start(std::vector<std::string> args,
                                        const process::ProcessOptions &options) override {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({args, options});
    }
    Answer reply = answer_call ? answer_call({args, options}) : answer ? answer(args) : Answer{};
    process::CompletedProcess done{std::move(args), reply.returncode, std::nullopt, std::nullopt};
    if (options.stdout_mode == process::Redirect::Capture) {
      done.stdout_text = reply.out;
    }
    if (options.stderr_mode == process::Redirect::Capture) {
      done.stderr_text = reply.err;
    }
    // A stream read as it comes (process::OutputStream) gets the output at once: it must fit in
    // the pipe.
    if (options.stdout_mode == process::Redirect::File && options.file >= 0) {
      for (std::size_t at = 0; at < reply.out.size();) {
        auto n = ::write(options.file, reply.out.data() + at, reply.out.size() - at);
        if (n <= 0) {
          break;
        }
        at += static_cast<std::size_t>(n);
      }
    }
    return std::make_unique<Finished>(std::move(done), waits_before_end);
  }

  std::vector<Launched> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  // The argument vectors alone, in order.
  std::vector<std::vector<std::string>> commands() const {
    std::vector<std::vector<std::string>> out;
    for (const auto &call : calls()) {
      out.push_back(call.args);
    }
    return out;
  }

private:
  struct Finished : process::Child {
    Finished(process::CompletedProcess done, int waits) : done(std::move(done)), waits(waits) {}
    bool wait_for(std::chrono::nanoseconds) override { return waits-- <= 0; }
    process::CompletedProcess finish() override { return std::move(done); }
    process::CompletedProcess done;
    int waits;
  };

  mutable std::mutex mutex_;
  std::vector<Launched> calls_;
};

} // namespace tarvo::testing
