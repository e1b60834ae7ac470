// Threads that run children side by side (the lint checks, a farm's targets), joined when their
// owner is left however it is left: a std::thread destroyed unjoined would end the process. Left
// by an exception while they run, the children are asked to end (SIGTERM) before the wait.
#pragma once

#include "tarvo/process/interrupts.hpp"

#include <csignal>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace tarvo::process {

class Workers {
public:
  Workers() = default;
  Workers(const Workers &) = delete;
  Workers &operator=(const Workers &) = delete;
  ~Workers() {
    if (std::uncaught_exceptions() > unwinding_) {
      signal_children(SIGTERM);
    }
    join();
  }

  template <typename Work> void start(Work &&work) {
    threads_.emplace_back(std::forward<Work>(work));
  }

  void join() {
    for (auto &thread : threads_) {
      if (thread.joinable()) {
        thread.join();
      }
    }
  }

private:
  int unwinding_ = std::uncaught_exceptions();
  std::vector<std::thread> threads_;
};

} // namespace tarvo::process
