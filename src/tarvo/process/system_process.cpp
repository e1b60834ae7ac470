#include "tarvo/process/system_process.hpp"

#include "tarvo/console/console.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <span>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char **environ;

namespace tarvo::process {

namespace {

using Clock = std::chrono::steady_clock;

// A large pipe lets a fast writer hand over more per wake-up (the default is 64 KiB).
constexpr int PIPE_SIZE = 1 << 20;

void check_spawn_call(int rc) {
  if (rc != 0) {
    throw os_error(rc);
  }
}

// pidfd_open is called directly: glibc 2.36 declares it without C linkage. Asked once, with
// our own id.
bool pidfd_available() {
  static const bool available = [] {
    int fd = static_cast<int>(syscall(SYS_pidfd_open, getpid(), 0));
    if (fd < 0) {
      return false;
    }
    ::close(fd);
    return true;
  }();
  return available;
}

// Both ends of a pipe, closed when the scope ends unless taken.
struct Pipe {
  int read = -1;
  int write = -1;
  ~Pipe() {
    for (int fd : {read, write}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
  }
};

struct SpawnActions {
  posix_spawn_file_actions_t value;
  SpawnActions() { check_spawn_call(posix_spawn_file_actions_init(&value)); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&value); }
};

// The child starts with the default disposition for the signals we may ignore for our own
// writes and with no signal blocked, as a program started from a shell does.
struct SpawnAttributes {
  posix_spawnattr_t value;
  explicit SpawnAttributes(bool own_group) {
    check_spawn_call(posix_spawnattr_init(&value));
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&value, &defaults);
    posix_spawnattr_setsigmask(&value, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (own_group) {
      // Group 0: a new group whose id is the child's own.
      posix_spawnattr_setpgroup(&value, 0);
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&value, flags);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&value); }
};

void direct_stream(SpawnActions &actions, int target, Stream mode, Pipe &pipe) {
  if (mode == Stream::Discard) {
    check_spawn_call(
        posix_spawn_file_actions_addopen(&actions.value, target, "/dev/null", O_WRONLY, 0));
  } else if (mode == Stream::Capture) {
    // Close-on-exec, so that children started by other threads meanwhile never hold our pipe
    // open; the copy made for this child loses the flag. Only our end does not block.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      throw os_error(errno);
    }
    pipe.read = fds[0];
    pipe.write = fds[1];
    fcntl(pipe.read, F_SETFL, O_NONBLOCK);
    fcntl(pipe.read, F_SETPIPE_SZ, PIPE_SIZE);
    check_spawn_call(posix_spawn_file_actions_adddup2(&actions.value, pipe.write, target));
  }
}

// posix_spawn takes non-const pointers for historical reasons but never writes through them.
std::vector<char *> pointers(const std::vector<std::string> &items) {
  std::vector<char *> out;
  out.reserve(items.size() + 1);
  for (const auto &item : items) {
    out.push_back(const_cast<char *>(item.c_str()));
  }
  out.push_back(nullptr);
  return out;
}

std::string normalise_newlines(std::string text) {
  auto first = text.find('\r');
  if (first == std::string::npos) {
    return text;
  }
  std::size_t out = first;
  for (std::size_t i = first; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      c = '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
    }
    text[out++] = c;
  }
  text.resize(out);
  return text;
}

// Captured bytes, in memory mapped straight from the kernel: it grows without copying
// (mremap), asks for huge pages so that megabytes cost few page faults, and is given back piece
// by piece while it is copied into the final text, so that the copy needs no second whole.
class Buffer {
public:
  Buffer() = default;
  Buffer(const Buffer &) = delete;
  Buffer &operator=(const Buffer &) = delete;
  ~Buffer() { release(); }

  // Room for the next read, at least one byte.
  std::span<char> space() {
    if (size_ == capacity_) {
      grow();
    }
    return {data_ + size_, capacity_ - size_};
  }
  void add(std::size_t count) { size_ += count; }

  std::string take() {
    std::string text;
    text.reserve(size_);
    advise_huge_pages(text.data(), size_);
    for (std::size_t done = 0; done < size_;) {
      std::size_t step = std::min(HUGE_PAGE, size_ - done);
      text.append(data_ + done, step);
      done += step;
      // Whole pages behind the copy go back at once.
      std::size_t freed = done / PAGE * PAGE;
      if (freed > released_) {
        ::munmap(data_ + released_, freed - released_);
        released_ = freed;
      }
    }
    release();
    return text;
  }

private:
  static constexpr std::size_t PAGE = 4096;
  static constexpr std::size_t HUGE_PAGE = 2 << 20;
  static constexpr std::size_t FIRST_SIZE = 64 << 10;

  static void advise_huge_pages(char *start, std::size_t size) {
    auto begin = (reinterpret_cast<std::uintptr_t>(start) + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
    auto end = (reinterpret_cast<std::uintptr_t>(start) + size) / HUGE_PAGE * HUGE_PAGE;
    if (end > begin) {
      ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
    }
  }

  void grow() {
    std::size_t capacity = capacity_ == 0 ? FIRST_SIZE : capacity_ * 2;
    void *data = data_ == nullptr ? ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                  : ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
    if (data == MAP_FAILED) {
      throw std::bad_alloc();
    }
    data_ = static_cast<char *>(data);
    capacity_ = capacity;
    advise_huge_pages(data_, capacity_);
  }

  void release() {
    if (data_ != nullptr && capacity_ > released_) {
      ::munmap(data_ + released_, capacity_ - released_);
    }
    data_ = nullptr;
    capacity_ = size_ = released_ = 0;
  }

  char *data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::size_t released_ = 0; // the leading bytes already given back
};

} // namespace

SystemProcess::Descriptor::~Descriptor() {
  if (fd >= 0) {
    ::close(fd);
  }
}

struct SystemProcess::Capture {
  explicit Capture(int pipe) : fd(pipe) {}
  ~Capture() { close(); }

  void close() {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }

  // Reads what the pipe holds now; closes it at its end.
  void read_available() {
    for (;;) {
      auto space = buffer.space();
      ssize_t n = ::read(fd, space.data(), space.size());
      if (n > 0) {
        buffer.add(static_cast<std::size_t>(n));
      } else if (n == 0) {
        close();
        return;
      } else if (errno == EAGAIN) {
        return;
      } else if (errno != EINTR) {
        throw os_error(errno);
      }
    }
  }

  std::string take() { return normalise_newlines(buffer.take()); }

  int fd;
  Buffer buffer;
};

SystemProcess::SystemProcess(std::vector<std::string> args, const ProcessOptions &options,
                             Role role)
    : args_(std::move(args)), role_(role),
      group_(options.stdout_mode != Stream::Inherit && options.stderr_mode != Stream::Inherit),
      stop_(options.stop), started_at_(Clock::now()) {
  if (args_.empty()) {
    throw Error(ErrorKind::ValueError, "a child process needs a program to run");
  }
  // No new child once the command is being interrupted, but for the steps that stop one.
  if (role_ == Role::Child) {
    check_interrupted();
  }
  bool pidfd = pidfd_available();
  if (!pidfd) {
    wake_on_sigchld();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
      throw os_error(errno);
    }
    exit_fd_.fd = fds[0];
    wake_write_.fd = fds[1];
  }
  slot_.emplace(wake_write_.fd);

  SpawnActions actions;
  SpawnAttributes attributes(group_);
  Pipe out_pipe, err_pipe;
  direct_stream(actions, STDOUT_FILENO, options.stdout_mode, out_pipe);
  direct_stream(actions, STDERR_FILENO, options.stderr_mode, err_pipe);
  if (options.stdout_mode == Stream::Inherit || options.stderr_mode == Stream::Inherit) {
    // Text we have buffered must reach the shared stream before the child's.
    console::flush();
  }

  auto argv = pointers(args_);
  std::vector<std::string> env_text;
  if (options.env) {
    env_text.reserve(options.env->size());
    for (const auto &[name, value] : *options.env) {
      env_text.push_back(name + "=" + value);
    }
  }
  auto envp = pointers(env_text);
  auto *envv = options.env ? envp.data() : environ;
  int rc = options.program ? posix_spawn(&pid_, options.program->c_str(), &actions.value,
                                         &attributes.value, argv.data(), envv)
                           : posix_spawnp(&pid_, args_[0].c_str(), &actions.value,
                                          &attributes.value, argv.data(), envv);
  if (rc != 0) {
    pid_ = -1;
    throw os_error(rc, options.program ? options.program->string() : args_[0]);
  }
  if (role_ == Role::Child) {
    slot_->started(pid_, group_);
  }
  if (pidfd) {
    // Safe to open now: the child's id stays reserved until we reap it.
    exit_fd_.fd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (exit_fd_.fd < 0) {
      int err = errno;
      ::kill(pid_, SIGKILL);
      int status = 0;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      returncode_ = -SIGKILL;
      reaped_ = true;
      throw os_error(err);
    }
  }
  if (options.stdout_mode == Stream::Capture) {
    out_ = std::make_unique<Capture>(std::exchange(out_pipe.read, -1));
  }
  if (options.stderr_mode == Stream::Capture) {
    err_ = std::make_unique<Capture>(std::exchange(err_pipe.read, -1));
  }
}

SystemProcess::~SystemProcess() { end_child(); }

void SystemProcess::end_child() {
  if (reaped_ || pid_ <= 0) {
    return;
  }
  out_.reset();
  err_.reset();
  try {
    if (!check_ended()) {
      run_stop_commands();
      signal(SIGTERM);
      auto deadline = Clock::now() + GRACE_PERIOD;
      while (!check_ended()) {
        auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
          signal(SIGKILL);
          left = std::chrono::hours(1);
        }
        pollfd fd{exit_fd_.fd, POLLIN, 0};
        ::poll(&fd, 1,
               static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        if (!pidfd_available()) {
          char drain[64];
          while (::read(exit_fd_.fd, drain, sizeof drain) > 0) {
          }
        }
      }
    }
    // What the leader of a group left running goes with it.
    if (group_) {
      signal(SIGKILL);
    }
    reap();
  } catch (...) {
    // Nothing may escape a destructor; the last resort still leaves no zombie.
    signal(SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

void SystemProcess::signal(int signal) {
  if (reaped_) {
    return;
  }
  ::kill(group_ ? -pid_ : pid_, signal);
}

void SystemProcess::run_stop_commands() {
  if (stopped_) {
    return;
  }
  stopped_ = true;
  for (const auto &command : stop_) {
    try {
      SystemProcess(command, {Stream::Discard, Stream::Discard}, Role::OwnStep).finish();
    } catch (const Error &) {
      // A stop command that cannot run leaves the others to try.
    }
  }
}

std::optional<Clock::time_point> SystemProcess::deadline() const {
  if (role_ == Role::OwnStep) {
    return started_at_ + GRACE_PERIOD;
  }
  return kill_deadline();
}

bool SystemProcess::check_ended() {
  if (returncode_) {
    return true;
  }
  siginfo_t info{};
  // Looked at without reaping, so that the id is unregistered before it can be reused.
  while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno != EINTR) {
      throw os_error(errno);
    }
  }
  if (info.si_pid == 0) {
    return false;
  }
  returncode_ = info.si_code == CLD_EXITED ? info.si_status : -info.si_status;
  if (!group_) {
    reap();
  }
  return true;
}

void SystemProcess::reap() {
  if (reaped_) {
    return;
  }
  slot_->ended();
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) {
      throw os_error(errno);
    }
  }
  reaped_ = true;
}

void SystemProcess::poll_once(std::optional<std::chrono::nanoseconds> timeout) {
  if (auto deadline = this->deadline()) {
    auto left = *deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      if (!killed_) {
        // A group goes whole, also when its leader has ended before it.
        signal(SIGKILL);
        killed_ = true;
      }
      if (returncode_) {
        // Past the grace period no descendant holding our pipes is waited for.
        for (auto *capture : {out_.get(), err_.get()}) {
          if (capture != nullptr) {
            capture->close();
          }
        }
      }
    } else if (!timeout || left < *timeout) {
      timeout = std::chrono::ceil<std::chrono::nanoseconds>(left);
    }
  }

  pollfd fds[4];
  Capture *sources[2];
  nfds_t count = 0;
  for (Capture *capture : {out_.get(), err_.get()}) {
    if (capture != nullptr && capture->fd >= 0) {
      sources[count] = capture;
      fds[count++] = {capture->fd, POLLIN, 0};
    }
  }
  const nfds_t pipes = count;
  std::optional<nfds_t> exit_index, interrupt_index;
  if (!returncode_) {
    exit_index = count;
    fds[count++] = {exit_fd_.fd, POLLIN, 0};
  }
  if (role_ == Role::Child && !interrupt_seen_ && interrupt_fd() >= 0) {
    interrupt_index = count;
    fds[count++] = {interrupt_fd(), POLLIN, 0};
  }
  if (pipes == 0 && !exit_index) {
    return;
  }
  timespec limit{};
  if (timeout) {
    auto left = std::max(*timeout, std::chrono::nanoseconds::zero()).count();
    limit.tv_sec = static_cast<time_t>(left / 1'000'000'000);
    limit.tv_nsec = static_cast<long>(left % 1'000'000'000);
  }
  if (ppoll(fds, count, timeout ? &limit : nullptr, nullptr) < 0) {
    if (errno == EINTR) {
      return;
    }
    throw os_error(errno);
  }
  for (nfds_t i = 0; i < pipes; ++i) {
    if (fds[i].revents != 0) {
      sources[i]->read_available();
    }
  }
  if (exit_index && fds[*exit_index].revents != 0) {
    if (!pidfd_available()) {
      char drain[64];
      while (::read(exit_fd_.fd, drain, sizeof drain) > 0) {
      }
    }
    check_ended();
  }
  if (interrupt_index && fds[*interrupt_index].revents != 0) {
    interrupt_seen_ = true;
    // Also when the child has just ended: what it handed on may outlive it.
    run_stop_commands();
  }
}

bool SystemProcess::wait_for(std::chrono::nanoseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (!returncode_) {
    poll_once(deadline - Clock::now());
    if (!returncode_ && Clock::now() >= deadline) {
      return false;
    }
  }
  return true;
}

CompletedProcess SystemProcess::finish() {
  auto open = [](const std::unique_ptr<Capture> &capture) {
    return capture != nullptr && capture->fd >= 0;
  };
  while (!returncode_ || open(out_) || open(err_)) {
    poll_once(std::nullopt);
  }
  reap();
  CompletedProcess done{args_, *returncode_, std::nullopt, std::nullopt};
  if (out_) {
    done.stdout_text = out_->take();
  }
  if (err_) {
    done.stderr_text = err_->take();
  }
  if (role_ == Role::Child) {
    if (interrupt_signal() != 0) {
      run_stop_commands();
    }
    check_interrupted();
  }
  return done;
}

std::unique_ptr<Child> SystemLauncher::start(std::vector<std::string> args,
                                             const ProcessOptions &options) {
  return std::make_unique<SystemProcess>(std::move(args), options);
}

} // namespace tarvo::process
