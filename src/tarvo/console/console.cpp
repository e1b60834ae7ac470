#include "tarvo/console/console.hpp"

#include "tarvo/error.hpp"
#include "tarvo/platform.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

namespace tarvo::console {

namespace {

// Erases the current line and moves up one.
constexpr std::string_view ERASE_LINE_UP = "\x1b[2K\x1b[1A";
constexpr std::string_view ERASE_LINE = "\x1b[2K\r";

FILE *file(Stream stream) { return stream == Stream::Err ? stderr : stdout; }

Stream last_written = Stream::Out;
Stream progress = Stream::Out;
std::optional<WriteFailure> first_failure;

// The first failure is kept: later ones on a broken stream only repeat it.
void note_failure(Stream stream, int error) {
  if (!first_failure) {
    first_failure = WriteFailure{stream, error};
  }
}

void flush_stream(Stream stream) {
  if (std::fflush(file(stream)) != 0) {
    note_failure(stream, errno);
  }
}

// Guards the drawing of the display and the terminal's loan, which erases it first.
std::mutex display_mutex;
Display *shown_display = nullptr;
bool lent = false;
// Held by the loan in force.
std::mutex loan_turn;

// A descriptor of the terminal whose foreground group is ours, or -1.
int our_terminal() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::isatty(fd) != 0 && ::tcgetpgrp(fd) == ::getpgrp()) {
      return fd;
    }
  }
  return -1;
}

} // namespace

std::size_t columns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return 80;
}

bool is_terminal(Stream stream) {
  int fd = stream == Stream::In    ? STDIN_FILENO
           : stream == Stream::Out ? STDOUT_FILENO
                                   : STDERR_FILENO;
  return ::isatty(fd) != 0;
}

bool terminal_is_ours() { return our_terminal() >= 0; }

bool colour(Stream stream, bool forced) {
  if (forced) {
    return true;
  }
  const char *no_colour = std::getenv("NO_COLOR");
  return is_terminal(stream) && (no_colour == nullptr || *no_colour == '\0');
}

void write(Stream stream, std::string_view text) {
  if (stream != last_written) {
    flush_stream(last_written);
    last_written = stream;
  }
  if (std::fwrite(text.data(), 1, text.size(), file(stream)) != text.size()) {
    note_failure(stream, errno);
  }
  // Standard error is unbuffered; standard output on a terminal is flushed at each line end by
  // stdio, and elsewhere whenever the streams switch or a child starts.
}

Stream progress_stream() { return progress; }

ProgressOnStderr::ProgressOnStderr() : previous_(progress) { progress = Stream::Err; }
ProgressOnStderr::~ProgressOnStderr() { progress = previous_; }

void flush() {
  flush_stream(Stream::Out);
  flush_stream(Stream::Err);
}

std::optional<WriteFailure> finish() {
  flush();
  // A failure stdio met on its own, outside our calls, has left only its mark.
  for (Stream stream : {Stream::Out, Stream::Err}) {
    if (std::ferror(file(stream))) {
      note_failure(stream, EIO);
    }
  }
  return first_failure;
}

void report_error(std::string_view message) { err("Error: {}\n", message); }

namespace {

// Waits until standard input or `wake_fd` (if not -1) can be read; false when a signal came
// first. Standard input may be a terminal, which macOS's poll() does not take (it answers
// POLLNVAL), so outside Linux the wait is select()'s, which takes every kind of descriptor.
bool wait_for_input(int wake_fd) {
#if TARVO_LINUX_CALLS
  pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  if (::poll(fds, wake_fd >= 0 ? 2 : 1, -1) < 0) {
    if (errno == EINTR) {
      return false;
    }
    throw os_error(errno);
  }
  return fds[0].revents != 0;
#else
  if (wake_fd >= FD_SETSIZE) {
    throw os_error(EMFILE);
  }
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(STDIN_FILENO, &readable);
  if (wake_fd >= 0) {
    FD_SET(wake_fd, &readable);
  }
  if (::select(std::max(STDIN_FILENO, wake_fd) + 1, &readable, nullptr, nullptr, nullptr) < 0) {
    if (errno == EINTR) {
      return false;
    }
    throw os_error(errno);
  }
  return FD_ISSET(STDIN_FILENO, &readable);
#endif
}

} // namespace

std::string read_line(std::string_view prompt, int wake_fd, void (*check)()) {
  out("{}", prompt);
  flush();
  std::string line;
  for (;;) {
    bool ready = wait_for_input(wake_fd);
    if (check) {
      check();
    }
    char c;
    ssize_t n = ready ? ::read(STDIN_FILENO, &c, 1) : -1;
    if (n < 0 && (!ready || errno == EINTR)) {
      continue;
    }
    if (n < 0) {
      throw os_error(errno);
    }
    if (n == 0) {
      if (line.empty()) {
        throw Error(ErrorKind::EOFError, "EOF when reading a line");
      }
      return line;
    }
    if (c == '\n') {
      return line;
    }
    line += c;
  }
}

std::unique_ptr<TerminalLoan> TerminalLoan::lend(int group) {
  std::unique_lock turn(loan_turn);
  int fd = our_terminal();
  if (fd < 0) {
    return nullptr;
  }
  {
    std::lock_guard lock(display_mutex);
    if (shown_display != nullptr) {
      shown_display->step_aside();
    }
    lent = true;
  }
  flush();
  if (::tcsetpgrp(fd, group) != 0) {
    std::lock_guard lock(display_mutex);
    lent = false;
    return nullptr;
  }
  return std::unique_ptr<TerminalLoan>(new TerminalLoan(fd, std::move(turn)));
}

TerminalLoan::~TerminalLoan() {
  // We are in the background until this succeeds, where taking the terminal back would stop us
  // with SIGTTOU; blocked, the signal is not sent.
  sigset_t ttou, previous;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  pthread_sigmask(SIG_BLOCK, &ttou, &previous);
  ::tcsetpgrp(fd_, ::getpgrp());
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  std::lock_guard lock(display_mutex);
  lent = false;
}

Display::Display() = default;

Display::~Display() {
  std::lock_guard lock(display_mutex);
  withdraw();
}

void Display::withdraw() {
  if (shown_display == this) {
    shown_display = nullptr;
  }
}

std::unique_lock<std::mutex> Display::lock_for_drawing(bool &may_draw) {
  std::unique_lock lock(display_mutex);
  // Registered from its first drawing, when it is whole, until it is destroyed.
  shown_display = this;
  may_draw = !lent;
  return lock;
}

StatusLine::StatusLine(std::string_view action) : action_(action) { draw(); }

StatusLine::~StatusLine() {
  bool may_draw;
  auto lock = lock_for_drawing(may_draw);
  withdraw();
  erase();
}

void StatusLine::advance() {
  frame_ = (frame_ + 1) % SPINNER_FRAMES.size();
  draw();
}

void StatusLine::draw() {
  bool may_draw;
  auto lock = lock_for_drawing(may_draw);
  if (!may_draw || done_) {
    return;
  }
  write(progress, fmt::format("{}{}: [{}]", shown_ ? "\r" : "", action_, SPINNER_FRAMES[frame_]));
  flush_stream(progress);
  shown_ = true;
}

void StatusLine::erase() {
  if (!shown_) {
    return;
  }
  shown_ = false;
  auto width = display_width(action_) + 4 + display_width(SPINNER_FRAMES[frame_]);
  write(progress, fmt::format("\r{:{}}\r", "", width));
  flush_stream(progress);
}

void StatusLine::step_aside() {
  if (!shown_) {
    return;
  }
  shown_ = false;
  // Deletes the line's characters from the start of the line, so that what followed them moves
  // there, and puts the cursor back where it was, as many columns to the left.
  auto width = display_width(action_) + 4 + display_width(SPINNER_FRAMES[frame_]);
  write(progress, fmt::format("\x1b"
                              "7\r\x1b[{0}P\x1b"
                              "8\x1b[{0}D",
                              width));
  flush_stream(progress);
}

void StatusLine::clear() {
  bool may_draw;
  auto lock = lock_for_drawing(may_draw);
  done_ = true;
  erase();
}

void StatusLine::keep() {
  bool may_draw;
  auto lock = lock_for_drawing(may_draw);
  done_ = true;
  shown_ = false;
}

void LiveBlock::draw(const std::vector<std::string> &lines) {
  bool may_draw;
  auto lock = lock_for_drawing(may_draw);
  if (!may_draw) {
    return;
  }
  std::string text;
  for (const auto &line : lines) {
    text += "\r" + line + "\n";
  }
  write(Stream::Out, text);
  flush_stream(Stream::Out);
  lines_ = lines.size();
  rewound_ = false;
}

void LiveBlock::rewind() {
  bool may_draw;
  auto lock = lock_for_drawing(may_draw);
  std::string text;
  for (std::size_t i = 0; i < lines_; ++i) {
    text += ERASE_LINE_UP;
  }
  write(Stream::Out, text);
  rewound_ = true;
}

void LiveBlock::finish() {
  bool may_draw;
  auto lock = lock_for_drawing(may_draw);
  lines_ = 0;
}

void LiveBlock::erase() {
  if (lines_ == 0) {
    return;
  }
  if (!rewound_) {
    std::string text;
    for (std::size_t i = 0; i < lines_; ++i) {
      text += ERASE_LINE_UP;
    }
    write(Stream::Out, text);
  }
  write(Stream::Out, ERASE_LINE);
  flush_stream(Stream::Out);
  lines_ = 0;
}

void LiveBlock::step_aside() {
  if (lines_ == 0) {
    return;
  }
  // From below the block, where a prompt would stand: up to its first line, in the same column,
  // and the block's lines deleted, which moves the prompt up to that line. Rewound, the cursor
  // is on the first line already.
  std::string text = rewound_ ? "" : fmt::format("\x1b[{}A", lines_);
  write(Stream::Out, text + fmt::format("\x1b[{}M", lines_));
  flush_stream(Stream::Out);
  lines_ = 0;
}

LiveBlock::~LiveBlock() {
  bool may_draw;
  auto lock = lock_for_drawing(may_draw);
  withdraw();
  erase();
}

} // namespace tarvo::console
