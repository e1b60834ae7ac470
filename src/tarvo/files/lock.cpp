#include "tarvo/files/lock.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/processes.hpp"
#include "tarvo/repr.hpp"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::files {

namespace {

// How often a waiting tarvo tries again; it sleeps in between, and an interrupt wakes it.
constexpr auto RETRY_PERIOD = std::chrono::milliseconds(100);

constexpr const char *TOKEN = "TARVO_PROJECT_LOCK";

// A command is shown in the waiting line at most this long.
constexpr std::size_t SHOWN_COMMAND = 80;

// What TARVO_PROJECT_LOCK says: "PID:DEVICE:INODE:FD", the holder, its folder and the
// descriptor that holds the lock.
struct Token {
  pid_t pid = 0;
  dev_t device = 0;
  ino_t inode = 0;
  int fd = -1;
};

template <typename Number> bool take_number(std::string_view &text, Number &out) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  if (error != std::errc()) {
    return false;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  if (!text.empty() && text.front() == ':') {
    text.remove_prefix(1);
    return true;
  }
  return text.empty();
}

std::optional<Token> read_token() {
  const char *value = std::getenv(TOKEN);
  if (value == nullptr) {
    return std::nullopt;
  }
  std::string_view text(value);
  Token token;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  if (!take_number(text, token.pid) || !take_number(text, device) || !take_number(text, inode) ||
      !take_number(text, token.fd) || !text.empty()) {
    return std::nullopt;
  }
  token.device = static_cast<dev_t>(device);
  token.inode = static_cast<ino_t>(inode);
  return token;
}

[[noreturn]] void cannot_lock(int error, const std::filesystem::path &root) {
  throw os_error(error, root);
}

// False while another description of the folder holds the lock.
bool try_lock(int fd, const std::filesystem::path &root) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return false;
    }
    if (errno != EINTR) {
      cannot_lock(errno, root);
    }
  }
  return true;
}

bool same_folder(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The descriptor the token names is ours by inheritance, opens `folder` and holds the lock:
// the caller found the lock taken, so flock succeeds on the holder's own description alone.
bool inherited_lock_holds(const Token &token, const struct stat &folder) {
  struct stat st {};
  if (token.fd < 0 || ::fstat(token.fd, &st) != 0 || !S_ISDIR(st.st_mode) ||
      !same_folder(st, folder)) {
    return false;
  }
  while (::flock(token.fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

// The holder the token names is an ancestor of ours that holds the folder open (where the
// system tells): our descriptors were closed on the way, as Python's subprocess does.
bool ancestor_holds(const Token &token, const struct stat &folder) {
  return token.device == folder.st_dev && token.inode == folder.st_ino &&
         process::is_ancestor(token.pid) &&
         process::holds_folder(token.pid, folder.st_dev, folder.st_ino).value_or(true);
}

bool under_an_ancestors_lock(const struct stat &folder) {
  auto token = read_token();
  return token && (inherited_lock_holds(*token, folder) || ancestor_holds(*token, folder));
}

// Children, and what they start, learn who holds the lock, and through which descriptor.
void publish(int fd, const struct stat &folder) {
  auto text = fmt::format("{}:{}:{}:{}", ::getpid(), static_cast<unsigned long long>(folder.st_dev),
                          static_cast<unsigned long long>(folder.st_ino), fd);
  if (::setenv(TOKEN, text.c_str(), 1) != 0) {
    throw os_error(errno);
  }
}

bool is_tarvo(const std::string &command) {
  const auto program = std::filesystem::path(command.substr(0, command.find(' '))).filename();
  return program == "tarvo";
}

std::string shown(std::string command) {
  if (command.size() > SHOWN_COMMAND) {
    command = command.substr(0, SHOWN_COMMAND - 3) + "...";
  }
  return printable(command);
}

// The line a waiting tarvo prints: what holds the lock, where the system tells. The tarvo that
// took it; when that is gone, what it left holding the lock (a tarvo that waits too holds the
// folder open as well, and is named only when nothing else is).
std::string waiting_line(const struct stat &folder) {
  auto tarvo_line = [](pid_t pid, const std::string &command) {
    return fmt::format("Waiting for another tarvo in this project to finish (pid {}: {})...", pid,
                       shown(command));
  };
  if (auto taker = process::lock_taker(folder.st_dev, folder.st_ino)) {
    return tarvo_line(*taker, process::command_of(*taker).value_or("?"));
  }
  std::optional<std::pair<pid_t, std::string>> waiting;
  for (pid_t pid : process::holders_of(folder.st_dev, folder.st_ino)) {
    auto command = process::command_of(pid).value_or("?");
    if (!is_tarvo(command)) {
      return fmt::format("Waiting for the project's lock, held by pid {} ({}), which an earlier "
                         "tarvo left running: the lock is free once it ends...",
                         pid, shown(command));
    }
    if (!waiting) {
      waiting.emplace(pid, command);
    }
  }
  return waiting ? tarvo_line(waiting->first, waiting->second)
                 : "Waiting for another tarvo in this project to finish...";
}

} // namespace

// Not close-on-exec: every child holds the lock too.
ProjectLock::ProjectLock(const std::filesystem::path &root)
    : fd_(::open(root.c_str(), O_RDONLY | O_DIRECTORY)) {
  if (!fd_) {
    cannot_lock(errno, root);
  }
  struct stat folder {};
  if (::fstat(fd_.get(), &folder) != 0) {
    cannot_lock(errno, root);
  }
  if (!try_lock(fd_.get(), root)) {
    if (under_an_ancestors_lock(folder)) {
      fd_.close();
      return;
    }
    console::err("{}\n", waiting_line(folder));
    console::flush();
    do {
      process::sleep_unless_interrupted(RETRY_PERIOD);
      process::check_interrupted();
    } while (!try_lock(fd_.get(), root));
  }
  publish(fd_.get(), folder);
}

// The lock belongs to the open folder that every holder shares, so this unlocks it for all.
ProjectLock::~ProjectLock() {
  if (fd_) {
    ::flock(fd_.get(), LOCK_UN);
  }
}

} // namespace tarvo::files
