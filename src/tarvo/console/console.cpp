#include "tarvo/console/console.hpp"

#include "tarvo/error.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
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

// Code points, which is what the terminal shows as characters.
std::size_t characters(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) {
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }
  return count;
}

} // namespace

bool is_terminal(Stream stream) {
  int fd = stream == Stream::In    ? STDIN_FILENO
           : stream == Stream::Out ? STDOUT_FILENO
                                   : STDERR_FILENO;
  return ::isatty(fd) != 0;
}

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

std::string read_line(std::string_view prompt, int wake_fd, void (*check)()) {
  out("{}", prompt);
  flush();
  std::string line;
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    if (::poll(fds, wake_fd >= 0 ? 2 : 1, -1) < 0 && errno != EINTR) {
      throw os_error(errno);
    }
    if (check) {
      check();
    }
    char c;
    ssize_t n = fds[0].revents != 0 ? ::read(STDIN_FILENO, &c, 1) : -1;
    if (n < 0 && (fds[0].revents == 0 || errno == EINTR)) {
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

StatusLine::StatusLine(std::string_view action) : action_(action) { draw(""); }

void StatusLine::advance() {
  frame_ = (frame_ + 1) % SPINNER_FRAMES.size();
  draw("\r");
}

void StatusLine::draw(std::string_view lead) {
  write(progress, fmt::format("{}{}: [{}]", lead, action_, SPINNER_FRAMES[frame_]));
  flush_stream(progress);
}

void StatusLine::clear() {
  if (!shown_) {
    return;
  }
  shown_ = false;
  auto width = characters(action_) + 4 + characters(SPINNER_FRAMES[frame_]);
  write(progress, fmt::format("\r{:{}}\r", "", width));
  flush_stream(progress);
}

void LiveBlock::draw(const std::vector<std::string> &lines) {
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
  std::string text;
  for (std::size_t i = 0; i < lines_; ++i) {
    text += ERASE_LINE_UP;
  }
  write(Stream::Out, text);
  rewound_ = true;
}

LiveBlock::~LiveBlock() {
  if (lines_ == 0) {
    return;
  }
  if (!rewound_) {
    rewind();
  }
  write(Stream::Out, ERASE_LINE);
  flush_stream(Stream::Out);
}

} // namespace tarvo::console
