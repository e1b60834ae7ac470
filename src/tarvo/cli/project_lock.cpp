#include "tarvo/cli/project_lock.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/process/interrupts.hpp"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarvo::cli {

namespace {

// How often a waiting tarvo tries again; it sleeps in between, and an interrupt wakes it.
constexpr auto RETRY_PERIOD = std::chrono::milliseconds(100);

// False while another holds the lock. A folder that cannot be locked (some network file
// systems have no locks) lets the command run unlocked.
bool try_lock(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return false;
    }
    if (errno != EINTR) {
      return true;
    }
  }
  return true;
}

} // namespace

ProjectLock::ProjectLock() : fd_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (!fd_ || try_lock(fd_.get())) {
    return;
  }
  console::out("Waiting for another tarvo in this project to finish...\n");
  console::flush();
  do {
    process::sleep_unless_interrupted(RETRY_PERIOD);
    process::check_interrupted();
  } while (!try_lock(fd_.get()));
}

} // namespace tarvo::cli
