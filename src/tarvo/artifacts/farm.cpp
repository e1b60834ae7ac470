#include "tarvo/artifacts/farm.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/workers.hpp"
#include "tarvo/repr.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
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

std::string without_line_end(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

std::string last_line(std::string_view text) {
  auto line = without_line_end(text);
  auto end = line.rfind('\n');
  return end == std::string::npos ? line : line.substr(end + 1);
}

// One target's log: a file that is already unlinked, opened when the target starts and closed,
// its text kept, when it ends, which its children append to and its lines go to; and what the
// farm shows of it: the step it is at, what it delivered, its last words. A target that waits
// holds no descriptor.
class TaskOutput final : public process::Output {
public:
  void open() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tarvo-log-XXXXXX";
    Fd fd(::mkostemp(pattern.data(), O_APPEND | O_CLOEXEC));
    if (!fd) {
      throw os_error(errno, pattern);
    }
    ::unlink(pattern.c_str());
    std::lock_guard lock(lock_);
    fd_ = std::move(fd);
  }

  // Keeps the log's text and closes it.
  void close() {
    std::lock_guard lock(lock_);
    text_ = read_log();
    fd_.close();
  }

  void say(process::Said kind, std::string_view text) override {
    std::lock_guard lock(lock_);
    // What the farm's lines and table show comes from the container: escaped, as the rest of
    // tarvo's output.
    if (kind == process::Said::Delivered) {
      delivered_.push_back(printable(without_line_end(text)));
      return;
    }
    try {
      files::write_all(fd_.get(), text, "the target's log");
    } catch (const Error &) {
      // A log that cannot be written loses lines, never the target.
    }
    if (kind == process::Said::Progress) {
      step_ = printable(last_line(text));
    } else if (kind == process::Said::LastWord) {
      last_words_.push_back(printable(without_line_end(text)));
    }
  }

  int file() const override { return fd_.get(); }

  std::string step() const {
    std::lock_guard lock(lock_);
    return step_;
  }
  std::vector<std::string> delivered() const {
    std::lock_guard lock(lock_);
    return delivered_;
  }
  std::vector<std::string> last_words() const {
    std::lock_guard lock(lock_);
    return last_words_;
  }

  // Everything written to the log.
  std::string text() const {
    std::lock_guard lock(lock_);
    return fd_ ? read_log() : text_;
  }

private:
  // The log from its start; the caller holds the lock.
  std::string read_log() const {
    std::string out;
    char buffer[65536];
    for (off_t at = 0; fd_;) {
      auto n = ::pread(fd_.get(), buffer, sizeof buffer, at);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        break;
      }
      out.append(buffer, static_cast<std::size_t>(n));
      at += n;
    }
    return out;
  }

  Fd fd_;
  std::string text_; // once closed
  mutable std::mutex lock_;
  std::string step_ = "starting";
  std::vector<std::string> delivered_;
  std::vector<std::string> last_words_;
};

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

// An engine of the farm: its answer, the context its docker commands run through (with its
// environment), and what the targets' views of it share.
struct FarmEngine {
  EngineSeat seat;
  std::unique_ptr<process::Context> context;
  std::unique_ptr<container::Engine> engine;
};

// Asks every engine at once for its architecture and processors. One that does not answer is
// left out, saying why; none answering is an error.
// How many engines are asked at once: a long list starts a bounded number of docker clients.
constexpr std::size_t ASKED_AT_ONCE = 8;

std::vector<FarmEngine> ask_engines(const process::Context &context,
                                    const std::vector<Endpoint> &endpoints) {
  const auto count = endpoints.size();
  std::vector<std::unique_ptr<process::Context>> contexts;
  for (const auto &endpoint : endpoints) {
    contexts.push_back(std::make_unique<process::Context>(context, endpoint.overlay));
  }
  std::vector<std::optional<EngineSeat>> seats(count);
  std::vector<std::string> why(count, "no answer");
  std::atomic<std::size_t> next{0};
  {
    process::Workers workers;
    for (std::size_t w = 0; w < std::min(count, ASKED_AT_ONCE); ++w) {
      workers.start([&] {
        for (std::size_t i = next++; i < count && process::interrupt_signal() == 0; i = next++) {
          try {
            auto done = container::ask_engine(
                *contexts[i], {"docker", "info", "--format", "{{.Architecture}} {{.NCPU}}"});
            if (!done) {
              why[i] = "no answer within " +
                       duration_text(
                           std::chrono::duration<double>(context.timing().answer_period).count());
              continue;
            }
            if (done->returncode == 0) {
              seats[i] =
                  container::parse_engine_answer(endpoints[i].name, done->stdout_text.value_or(""));
            }
            if (auto said = last_line(done->stderr_text.value_or("")); !said.empty()) {
              why[i] = said;
            }
          } catch (const Error &e) {
            why[i] = e.what();
          } catch (const process::Interrupted &) {
            return;
          }
        }
      });
    }
  }
  process::check_interrupted();
  std::vector<FarmEngine> engines;
  std::string silent;
  for (std::size_t i = 0; i < count; ++i) {
    if (!seats[i]) {
      context.say(process::Said::Progress,
                  fmt::format("Engine {} did not answer ({}): left out\n",
                              printable(endpoints[i].name), printable(why[i])));
      silent += (silent.empty() ? "" : ", ") + printable(endpoints[i].name);
      continue;
    }
    auto engine = std::make_unique<container::Engine>(*contexts[i]);
    engine->know_machine(seats[i]->machine);
    engines.push_back({std::move(*seats[i]), std::move(contexts[i]), std::move(engine)});
  }
  if (engines.empty()) {
    throw Error(ErrorKind::RuntimeError, "No docker engine answered: " + silent);
  }
  return engines;
}

std::string seconds_since(Clock::time_point start, Clock::time_point end) {
  return duration_text(std::chrono::duration<double>(end - start).count());
}

// What pytest's last summary line in `log` counts ("2 passed, 1 skipped"), or none: its line
// reads "===== 2 passed, 1 skipped in 0.12s =====".
std::optional<std::string> pytest_counts(std::string_view log) {
  for (auto end = log.size(); end > 0;) {
    auto start = log.rfind('\n', end - 1);
    start = start == std::string_view::npos ? 0 : start + 1;
    auto line = log.substr(start, end - start);
    end = start == 0 ? 0 : start - 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
      line.remove_suffix(1);
    }
    const auto in = line.rfind(" in ");
    if (line.starts_with("=") && line.ends_with("=") && in != std::string_view::npos) {
      auto counts = line.substr(0, in);
      counts.remove_prefix(std::min(counts.find_first_not_of("= "), counts.size()));
      if (!counts.empty()) {
        return std::string(counts);
      }
    }
  }
  return std::nullopt;
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

// A line no wider than the terminal, which a live block's rewind needs.
std::string fitted(std::string line, std::size_t columns) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    // UTF-8 continuation bytes take no column of their own.
    if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 && ++width >= columns) {
      line.resize(i);
      break;
    }
  }
  return line;
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
    auto said = last_line(slot.output.text());
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
  Farm(const process::Context &context, std::vector<FarmEngine> engines,
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
    std::string names;
    for (auto i : failed) {
      console::out("\nOutput of {} on {}:\n", tasks_[i].label, engine_name(*slots_[i]));
      auto text = slots_[i]->output.text();
      console::write(console::Stream::Out,
                     text.empty() || text.ends_with('\n') ? text : text + "\n");
      // A long list is cut: the table above names every one.
      if (failed.size() <= 10 || i <= failed[8]) {
        names += (names.empty() ? "" : ", ") + tasks_[i].label;
      }
    }
    if (failed.size() > 10) {
      names += fmt::format(" and {} more", failed.size() - 9);
    }
    console::report_error(fmt::format("{} of {} target{} failed: {}", failed.size(), slots_.size(),
                                      slots_.size() == 1 ? "" : "s", names));
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
      out.push_back(fitted(fmt::format("{}  {}  {}", padded(tasks_[i].label, label_width_),
                                       padded(engine_name(slot), engine_width_), status),
                           columns));
    }
    return out;
  }

  std::string engine_name(const Slot &slot) const {
    return slot.engine ? engines_[*slot.engine].seat.name : std::string("-");
  }

  const process::Context &context_;
  std::vector<FarmEngine> engines_;
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
  if (seconds < 60) {
    return fmt::format("{:.1f} s", seconds);
  }
  auto whole = static_cast<long>(seconds + 0.5);
  return fmt::format("{} min {} s", whole / 60, whole % 60);
}

int run_farm(const process::Context &context, const std::vector<Endpoint> &endpoints,
             std::vector<FarmTask> tasks) {
  container::require_docker(context);
  Farm farm(context, ask_engines(context, endpoints), std::move(tasks));
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
