// Captures a child that writes FILE to both of its streams at once; prints wall time, bytes
// captured and peak memory. With "discard" the child's output goes to /dev/null instead.
#include "tarvo/process/process.hpp"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

int main(int argc, char **argv) {
  using namespace tarvo::process;
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_capture FILE [discard]\n");
    return 2;
  }
  bool discard = argc > 2 && std::strcmp(argv[2], "discard") == 0;
  auto mode = discard ? Redirect::Discard : Redirect::Capture;
  auto start = std::chrono::steady_clock::now();
  auto done = run({"sh", "-c", "cat \"$1\" >&2 & cat \"$1\"; wait", "sh", argv[1]}, {mode, mode});
  auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  std::printf("%s: wall %.1f ms, stdout %zu bytes, stderr %zu bytes, peak RSS %ld KiB\n",
              discard ? "discard" : "capture", wall * 1e3,
              done.stdout_text ? done.stdout_text->size() : 0,
              done.stderr_text ? done.stderr_text->size() : 0, self.ru_maxrss);
}
