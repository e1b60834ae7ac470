#include "tarvo/process/exit_watch.hpp"

#include "tarvo/platform.hpp"

#if TARVO_MACOS || TARVO_BSD
#include <sys/event.h>
#include <sys/time.h>
#endif

#include <array>
#include <cerrno>
#include <fcntl.h>

namespace tarvo::process {

bool ExitWatch::available() { return TARVO_MACOS || TARVO_BSD; }

bool ExitWatch::watch(pid_t pid) {
#if TARVO_MACOS || TARVO_BSD
  if (watched_.count(pid) != 0) {
    return true;
  }
  if (!queue_) {
    Fd made(::kqueue());
    if (!made) {
      return false;
    }
    // kqueue descriptors are not inherited across fork; close-on-exec says so for exec too.
    ::fcntl(made.get(), F_SETFD, FD_CLOEXEC);
    queue_ = std::move(made);
  }
  struct kevent change {};
  EV_SET(&change, static_cast<uintptr_t>(pid), EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0,
         nullptr);
  int result = 0;
  while ((result = ::kevent(queue_.get(), &change, 1, nullptr, 0, nullptr)) < 0 && errno == EINTR) {
  }
  if (result < 0) {
    // ESRCH: it has ended already (or is a zombie, whose end is reported as SIGCHLD).
    return false;
  }
  watched_.insert(pid);
  return true;
#else
  (void)pid;
  return false;
#endif
}

void ExitWatch::drain() {
#if TARVO_MACOS || TARVO_BSD
  if (!queue_) {
    return;
  }
  std::array<struct kevent, 16> events{};
  const timespec now{0, 0};
  int count = 0;
  while ((count = ::kevent(queue_.get(), nullptr, 0, events.data(), static_cast<int>(events.size()),
                           &now)) > 0) {
    for (int i = 0; i < count; ++i) {
      watched_.erase(static_cast<pid_t>(events[static_cast<std::size_t>(i)].ident));
    }
  }
#endif
}

} // namespace tarvo::process
