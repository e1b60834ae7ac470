// The spinner's own CPU time while a 3-second child runs (run it on a terminal).
#include "tarvo/venv/runner.hpp"

#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

static double cpu_ms(const rusage &u) {
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

int main() {
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  auto start = std::chrono::steady_clock::now();
  tarvo::venv::spinner(tarvo::process::Context(), "Sleeping", {"sleep", "3"}, true);
  auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  getrusage(RUSAGE_SELF, &after);
  std::fprintf(stderr, "terminal %d, wall %.3f s, own CPU %.2f ms\n", isatty(1), wall,
               cpu_ms(after) - cpu_ms(before));
}
