// Captures a child that writes FILE to both of its streams at once; prints wall time, bytes
// captured and peak memory. The second word picks how:
//   capture  tarvo's process layer (the default)
//   string   the plain way, for comparison: poll on both pipes and append what arrives to a
//            std::string, which grows by doubling
//   discard  the child's output goes to /dev/null instead
#include "tarvo/process/process.hpp"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char *const SCRIPT = "cat \"$1\" >&2 & cat \"$1\"; wait";

// The plain way: fork, exec, two pipes, poll, append.
std::pair<std::string, std::string> plain_strings(const char *file) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) {
    std::perror("pipe");
    std::exit(1);
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {out[0], out[1], err[0], err[1]}) {
      close(fd);
    }
    execlp("sh", "sh", "-c", SCRIPT, "sh", file, static_cast<char *>(nullptr));
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  std::string texts[2];
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  char buffer[65536];
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) {
      std::perror("poll");
      std::exit(1);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd >= 0 && fds[i].revents != 0) {
        ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          texts[i].append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
          close(fds[i].fd);
          fds[i].fd = -1;
          --open;
        }
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {std::move(texts[0]), std::move(texts[1])};
}

} // namespace

int main(int argc, char **argv) {
  using namespace tarvo::process;
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_capture FILE [capture|string|discard]\n");
    return 2;
  }
  const std::string how = argc > 2 ? argv[2] : "capture";
  auto start = std::chrono::steady_clock::now();
  std::size_t out_size = 0;
  std::size_t err_size = 0;
  if (how == "string") {
    auto [out, err] = plain_strings(argv[1]);
    out_size = out.size();
    err_size = err.size();
  } else {
    auto mode = how == "discard" ? Redirect::Discard : Redirect::Capture;
    auto done = run({"sh", "-c", SCRIPT, "sh", argv[1]}, {mode, mode});
    out_size = done.stdout_text ? done.stdout_text->size() : 0;
    err_size = done.stderr_text ? done.stderr_text->size() : 0;
  }
  auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  std::printf("%s: wall %.1f ms, stdout %zu bytes, stderr %zu bytes, peak RSS %ld KiB\n",
              how.c_str(), wall * 1e3, out_size, err_size, self.ru_maxrss);
}
