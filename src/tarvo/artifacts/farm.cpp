#include "tarvo/artifacts/farm.hpp"

#include "tarvo/artifacts/farm_log.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/workers.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/text.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <fmt/format.h>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace tarvo::artifacts {

using container::Endpoint;
using container::EngineSeat;
using Clock = std::chrono::steady_clock;

namespace {

// Where a task is, as the farm follows it.
enum class Phase { Waiting, Running, Ended, NotStarted };
// How a task that ran ended.
enum class State { Passed, Failed, Interrupted };

// A task. The farm alone writes `phase`, `engine` and `started`; the worker writes `state`,
// `failure` and `ended` and then sets `done`, and the farm reads them only after it has seen it.
struct Slot {
  TaskOutput output;
  Phase phase = Phase::Waiting;
  std::optional<std::size_t> engine;
  State state = State::Failed;
  std::string failure;
  Clock::time_point started;
  Clock::time_point ended;
  std::atomic<bool> done{false};
  std::unique_ptr<process::Context> context;
  std::unique_ptr<container::Engine> view;
  std::string result; // what the table says of it, once it has ended
};

std::string seconds_since(Clock::time_point start, Clock::time_point end) {
  return duration_text(std::chrono::duration<double>(end - start).count());
}

// What the table's result column says of a task.
std::string result_text(const Slot &slot) {
  switch (slot.state) {
  case State::Passed: {
    std::string text;
    for (const auto &product : slot.output.delivered()) {
      text += (text.empty() ? "" : ", ") + product;
    }
    if (!text.empty()) {
      return text;
    }
    // A wheel test delivers nothing: its counts say what it did.
    if (auto counts = pytest_counts(slot.output.text())) {
      return printable(*counts);
    }
    return slot.output.step();
  }
  case State::Failed:
    return slot.failure;
  case State::Interrupted:
    return "interrupted";
  }
  return "";
}

std::string padded(const std::string &text, std::size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

// Runs one task on a worker thread and records how it ended; nothing escapes.
void run_task(Slot &slot, const FarmTask &task) {
  try {
    task.run(*slot.view);
    slot.state = State::Passed;
  } catch (const process::Interrupted &) {
    slot.state = State::Interrupted;
  } catch (const process::CalledProcessError &e) {
    // The container's last line says more than the docker command that ran it.
    slot.state = State::Failed;
    const std::string said(last_line(slot.output.text()));
    slot.failure = said.empty() ? printable(e.what())
                                : fmt::format("status {}: {}", e.returncode, printable(said));
  } catch (const Error &e) {
    slot.state = State::Failed;
    slot.failure = fmt::format("{}: {}", name(e.kind()), printable(e.what()));
  } catch (const ExitStatus &e) {
    slot.state = State::Failed;
    slot.failure = fmt::format("ended with status {}", e.code);
  } catch (const std::exception &e) {
    slot.state = State::Failed;
    slot.failure = printable(e.what());
  }
  if (slot.state != State::Passed && process::interrupt_signal() != 0) {
    slot.state = State::Interrupted;
  }
  slot.ended = Clock::now();
  slot.done.store(true, std::memory_order_release);
}

// The farm's own thread: it starts the tasks as engines have places, follows them, draws their
// lines and reports.
class Farm {
public:
  Farm(const process::Context &context, std::vector<container::AnsweringEngine> engines,
       std::vector<FarmTask> tasks)
      : context_(context), engines_(std::move(engines)), tasks_(std::move(tasks)),
        busy_(engines_.size(), 0), terminal_(console::is_terminal(console::Stream::Out)) {
    std::vector<container::Target> targets;
    // Labels and engine names come from the command line and the environment: shown escaped.
    for (auto &task : tasks_) {
      task.label = printable(task.label);
      targets.push_back(task.target);
      slots_.push_back(std::make_unique<Slot>());
      label_width_ = std::max(label_width_, task.label.size());
    }
    for (auto &engine : engines_) {
      engine.seat.name = printable(engine.seat.name);
      seats_.push_back(engine.seat);
      engine_width_ = std::max(engine_width_, engine.seat.name.size());
    }
    eligible_ = container::eligible_engines(targets, seats_);
  }

  // The lines said before the targets start.
  void introduce() const {
    std::string list;
    for (const auto &seat : seats_) {
      list += fmt::format("{}{} ({}, {} at a time)", list.empty() ? "" : ", ", seat.name,
                          seat.machine, seat.capacity);
    }
    context_.say(process::Said::Progress,
                 fmt::format("{} target{} on {} engine{}: {}\n", tasks_.size(),
                             tasks_.size() == 1 ? "" : "s", seats_.size(),
                             seats_.size() == 1 ? "" : "s", list));
    std::vector<container::Target> targets;
    for (const auto &task : tasks_) {
      targets.push_back(task.target);
    }
    if (auto line = container::emulation_line(targets, seats_)) {
      context_.say(process::Said::Progress, *line + "\n");
    }
  }

  // Runs every task; returns when all have ended, or, after an interrupt, when those that
  // started have.
  void run() {
    // Leaving this function, however it is left, joins the workers first.
    process::Workers workers;
    console::LiveBlock block;
    std::size_t frame = 0;
    while (follow(workers)) {
      // After an interrupt each target tidies its own containers up; the farm only waits.
      if (terminal_ && process::interrupt_signal() == 0) {
        frame = (frame + 1) % console::SPINNER_FRAMES.size();
        block.draw(lines(frame));
        wait_for_news();
        block.rewind();
      } else {
        wait_for_news();
      }
    }
    workers.join();
    block.finish();
  }

  // The table, the last words after an interrupt (then raised), the failures' output; the
  // command's status.
  int report() const {
    std::size_t result_width = std::string_view("Result").size();
    std::vector<std::string> results;
    for (const auto &slot : slots_) {
      results.push_back(slot->phase == Phase::NotStarted ? "not started" : slot->result);
      result_width = std::max(result_width, results.back().size());
    }
    console::out("{}  {}  {}  {}\n", padded("Target", label_width_),
                 padded("Engine", engine_width_), padded("Result", result_width), "Time");
    std::vector<std::size_t> failed;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      const auto &slot = *slots_[i];
      console::out("{}  {}  {}  {}\n", padded(tasks_[i].label, label_width_),
                   padded(engine_name(slot), engine_width_), padded(results[i], result_width),
                   slot.engine ? seconds_since(slot.started, slot.ended) : "-");
      if (slot.phase == Phase::Ended && slot.state == State::Failed) {
        failed.push_back(i);
      }
    }
    if (process::interrupt_signal() != 0) {
      for (std::size_t i = 0; i < slots_.size(); ++i) {
        for (const auto &word : slots_[i]->output.last_words()) {
          console::err("{} on {}: {}\n", tasks_[i].label, engine_name(*slots_[i]), word);
        }
      }
      process::check_interrupted();
    }
    if (failed.empty()) {
      return 0;
    }
    std::vector<std::string> names;
    for (auto i : failed) {
      console::out("\nOutput of {} on {}:\n", tasks_[i].label, engine_name(*slots_[i]));
      auto text = slots_[i]->output.text();
      console::write(console::Stream::Out,
                     text.empty() || text.ends_with('\n') ? text : text + "\n");
      names.push_back(tasks_[i].label);
    }
    // A long list is cut: the table above names every one.
    console::report_error(fmt::format("{} of {} target{} failed: {}", failed.size(), slots_.size(),
                                      slots_.size() == 1 ? "" : "s", listed(names)));
    return 1;
  }

private:
  // Sleeps for a frame, or until a task ends.
  void wait_for_news() {
    std::unique_lock lock(news_lock_);
    news_.wait_for(lock, context_.timing().frame_period, [this] { return news_flag_; });
    news_flag_ = false;
  }

  // Notes the tasks that ended, starts those that have a place (none after an interrupt);
  // whether any is still waiting or running.
  bool follow(process::Workers &workers) {
    const bool interrupted = process::interrupt_signal() != 0;
    bool active = false;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      auto &slot = *slots_[i];
      if (slot.phase == Phase::Running && slot.done.load(std::memory_order_acquire)) {
        slot.phase = Phase::Ended;
        slot.output.close();
        slot.result = result_text(slot);
        slot.view.reset();
        slot.context.reset();
        --busy_[*slot.engine];
        if (!terminal_) {
          console::out("{}: {} on {} ({})\n", tasks_[i].label,
                       slot.state == State::Passed ? "done" : "FAILED", engine_name(slot),
                       seconds_since(slot.started, slot.ended));
        }
      }
      if (slot.phase == Phase::Waiting) {
        if (interrupted) {
          slot.phase = Phase::NotStarted;
        } else if (auto e = container::pick_engine(eligible_[i], seats_, busy_)) {
          start(workers, i, *e);
        }
      }
      active = active || slot.phase == Phase::Waiting || slot.phase == Phase::Running;
    }
    return active;
  }

  void start(process::Workers &workers, std::size_t i, std::size_t e) {
    auto &slot = *slots_[i];
    slot.engine = e;
    slot.phase = Phase::Running;
    slot.started = Clock::now();
    ++busy_[e];
    try {
      slot.output.open();
    } catch (const Error &e) {
      // Out of descriptors, say: this target fails with its reason, the others go on.
      slot.failure = fmt::format("{}: {}", name(e.kind()), printable(e.what()));
      slot.ended = Clock::now();
      slot.done.store(true, std::memory_order_release);
      return;
    }
    slot.context =
        std::make_unique<process::Context>(*engines_[e].context, process::Overlay{}, &slot.output);
    slot.view = std::make_unique<container::Engine>(*slot.context, *engines_[e].engine);
    if (!terminal_) {
      console::out("{}: started on {}\n", tasks_[i].label, engines_[e].seat.name);
    }
    workers.start([this, &slot, &task = tasks_[i]] {
      run_task(slot, task);
      std::lock_guard lock(news_lock_);
      news_flag_ = true;
      news_.notify_one();
    });
  }

  // One line per task: its label, engine and where it is, no wider than the terminal.
  std::vector<std::string> lines(std::size_t frame) const {
    const auto now = Clock::now();
    const auto columns = console::columns();
    std::vector<std::string> out;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      const auto &slot = *slots_[i];
      std::string status;
      if (slot.phase == Phase::Waiting) {
        status = "waiting for an engine";
      } else if (slot.phase == Phase::Running) {
        status = fmt::format("[{}] {} {}", console::SPINNER_FRAMES[frame], slot.output.step(),
                             seconds_since(slot.started, now));
      } else {
        status = (slot.state == State::Passed ? "done: " : "FAILED: ") + slot.result;
      }
      out.push_back(console::fitted(fmt::format("{}  {}  {}", padded(tasks_[i].label, label_width_),
                                                padded(engine_name(slot), engine_width_), status),
                                    columns));
    }
    return out;
  }

  std::string engine_name(const Slot &slot) const {
    return slot.engine ? engines_[*slot.engine].seat.name : std::string("-");
  }

  const process::Context &context_;
  std::vector<container::AnsweringEngine> engines_;
  std::vector<FarmTask> tasks_;
  std::vector<EngineSeat> seats_;
  std::vector<std::vector<std::size_t>> eligible_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<int> busy_;
  bool terminal_;
  std::size_t label_width_ = std::string_view("Target").size();
  std::size_t engine_width_ = std::string_view("Engine").size();
  std::mutex news_lock_;
  std::condition_variable news_;
  bool news_flag_ = false; // a task ended since the farm last looked
};

} // namespace

std::string duration_text(double seconds) {
  // Rounded first: 59.96 s is "1 min 0 s", never "60.0 s".
  seconds = std::round(seconds * 10) / 10;
  if (seconds < 60) {
    return fmt::format("{:.1f} s", seconds);
  }
  auto whole = static_cast<long>(seconds + 0.5);
  return fmt::format("{} min {} s", whole / 60, whole % 60);
}

int run_farm(const process::Context &context, const std::vector<Endpoint> &endpoints,
             std::vector<FarmTask> tasks) {
  container::require_docker(context);
  Farm farm(context, container::ask_engines(context, endpoints), std::move(tasks));
  farm.introduce();
  // Each target's run makes dist/ when it is missing and removes it again when it made it and
  // leaves it empty; side by side, the run that made it may end first. The farm removes it then.
  struct EmptyDistGoes {
    bool had = files::exists("dist");
    ~EmptyDistGoes() {
      if (!had) {
        ::rmdir("dist");
      }
    }
  } empty_dist_goes;
  farm.run();
  return farm.report();
}

} // namespace tarvo::artifacts
