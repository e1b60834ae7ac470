// One target's log in a farm, and what the farm shows of it: the step it is at, what it
// delivered, its last words, the test counts pytest gave.
#pragma once

#include "tarvo/fd.hpp"
#include "tarvo/process/context.hpp"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::artifacts {

// A target's log: a file that is already unlinked, opened when the target starts and closed,
// its text kept, when it ends, which its children append to and its lines go to. A target that
// waits holds no descriptor. What it shows is escaped: it comes from a container.
class TaskOutput final : public process::Output {
public:
  // Opens the log; out of descriptors, an error (the target fails with it).
  void open();
  // Keeps the log's text and closes it.
  void close();

  void say(process::Said kind, std::string_view text) override;
  int file() const override { return fd_.get(); }

  std::string step() const;
  std::vector<std::string> delivered() const;
  std::vector<std::string> last_words() const;
  // Everything written to the log.
  std::string text() const;

private:
  // The log from its start; the caller holds the lock.
  std::string read_log() const;

  Fd fd_;
  std::string text_; // once closed
  mutable std::mutex lock_;
  std::string step_ = "starting";
  std::vector<std::string> delivered_;
  std::vector<std::string> last_words_;
};

// What pytest's last summary line in `log` counts ("2 passed, 1 skipped"), or none: its line
// reads "===== 2 passed, 1 skipped in 0.12s =====".
std::optional<std::string> pytest_counts(std::string_view log);

} // namespace tarvo::artifacts
