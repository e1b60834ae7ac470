// A file descriptor with one owner: closed exactly once, when its owner goes, and moved, never
// copied. Every descriptor tarvo opens lives in one from the call that opens it.
#pragma once

#include "tarvo/error.hpp"
#include "tarvo/platform.hpp"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace tarvo {

class Fd {
public:
  Fd() = default;
  // Takes `fd` (-1 for none) as it is returned by the call that opened it.
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd &&other) noexcept : fd_(other.release()) {}
  Fd &operator=(Fd &&other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.release();
    }
    return *this;
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  ~Fd() { close(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // Hands the descriptor over; this one then holds none.
  int release() { return std::exchange(fd_, -1); }

  void close() {
    if (fd_ >= 0) {
      ::close(std::exchange(fd_, -1));
    }
  }

private:
  int fd_ = -1;
};

// Held while a descriptor is opened in two steps (open, then marked close-on-exec) and while a
// child is forked, so that no child inherits a descriptor meant for us alone.
inline std::mutex &descriptor_mutex() {
  static std::mutex mutex;
  return mutex;
}

struct Pipe {
  Fd read;
  Fd write;
};

// A pipe whose ends are opened with `flags` (O_CLOEXEC, O_NONBLOCK).
inline Pipe make_pipe(int flags) {
  int fds[2];
#if TARVO_LINUX_CALLS
  if (::pipe2(fds, flags) != 0) {
    throw os_error(errno);
  }
  return {Fd(fds[0]), Fd(fds[1])};
#else
  // Without pipe2 the flags follow the pipe, and no child is forked in between.
  std::lock_guard lock(descriptor_mutex());
  if (::pipe(fds) != 0) {
    throw os_error(errno);
  }
  Pipe pipe{Fd(fds[0]), Fd(fds[1])};
  for (int fd : fds) {
    if (((flags & O_CLOEXEC) != 0 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) ||
        ((flags & O_NONBLOCK) != 0 && ::fcntl(fd, F_SETFL, O_NONBLOCK) != 0)) {
      throw os_error(errno);
    }
  }
  return pipe;
#endif
}

} // namespace tarvo
