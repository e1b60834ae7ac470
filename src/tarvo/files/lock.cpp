#include "tarvo/files/lock.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::files {

namespace {

// How often a waiting tarvo tries again; it sleeps in between, and an interrupt wakes it.
constexpr auto RETRY_PERIOD = std::chrono::milliseconds(100);

constexpr const char *TOKEN = "TARVO_PROJECT_LOCK";

[[noreturn]] void cannot_lock(int error) {
  throw os_error(error, std::filesystem::current_path().string());
}

// False while another description of the folder holds the lock.
bool try_lock(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return false;
    }
    if (errno != EINTR) {
      cannot_lock(errno);
    }
  }
  return true;
}

struct stat folder_of(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    cannot_lock(errno);
  }
  return st;
}

bool same_folder(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The descriptor named by TARVO_PROJECT_LOCK, when it is ours by inheritance, opens `folder`
// and holds the lock: the caller found the lock taken, so flock succeeds on the holder's own
// descriptor alone. A stale or forged token never passes.
bool inherited_lock_holds(const struct stat &folder) {
  const char *token = std::getenv(TOKEN);
  if (token == nullptr) {
    return false;
  }
  std::string_view text(token);
  int fd = -1;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), fd);
  struct stat st {};
  if (error != std::errc() || end != text.data() + text.size() || fd < 0 || ::fstat(fd, &st) != 0 ||
      !S_ISDIR(st.st_mode) || !same_folder(st, folder)) {
    return false;
  }
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

// Children, and what they start, learn which descriptor holds the lock.
void publish(int fd) {
  if (::setenv(TOKEN, std::to_string(fd).c_str(), 1) != 0) {
    throw os_error(errno);
  }
}

} // namespace

// Not close-on-exec: every child holds the lock too.
ProjectLock::ProjectLock() : fd_(::open(".", O_RDONLY | O_DIRECTORY)) {
  if (!fd_) {
    cannot_lock(errno);
  }
  auto folder = folder_of(fd_.get());
  if (!try_lock(fd_.get())) {
    if (inherited_lock_holds(folder)) {
      fd_.close();
      return;
    }
    console::err("Waiting for another tarvo in this project to finish...\n");
    console::flush();
    do {
      process::sleep_unless_interrupted(RETRY_PERIOD);
      process::check_interrupted();
    } while (!try_lock(fd_.get()));
  }
  publish(fd_.get());
}

// The lock belongs to the open folder that every holder shares, so this unlocks it for all.
ProjectLock::~ProjectLock() {
  if (fd_) {
    ::flock(fd_.get(), LOCK_UN);
  }
}

} // namespace tarvo::files
