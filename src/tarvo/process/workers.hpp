// Threads that run children side by side (the lint checks, a farm's targets), joined when their
// owner is left however it is left: a std::thread destroyed unjoined would end the process.
#pragma once

#include <thread>
#include <utility>
#include <vector>

namespace tarvo::process {

class Workers {
public:
  Workers() = default;
  Workers(const Workers &) = delete;
  Workers &operator=(const Workers &) = delete;
  ~Workers() { join(); }

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
  std::vector<std::thread> threads_;
};

} // namespace tarvo::process
