#include "tarvo/process/capture.hpp"

#include "tarvo/error.hpp"

#include <cerrno>
#include <unistd.h>

namespace tarvo::process {

namespace {

// Read at a time.
constexpr std::size_t CHUNK = 64 << 10;

void normalise_newlines(std::string &text) {
  auto first = text.find('\r');
  if (first == std::string::npos) {
    return;
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
}

} // namespace

void Capture::read_available() {
  char chunk[CHUNK];
  while (pipe_) {
    ssize_t n = ::read(pipe_.get(), chunk, sizeof chunk);
    if (n > 0) {
      // The string doubles as it fills: growing copies what it holds once per doubling.
      text_.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
      pipe_.close();
    } else if (errno == EAGAIN) {
      return;
    } else if (errno != EINTR) {
      throw os_error(errno);
    }
  }
}

std::string Capture::take() {
  normalise_newlines(text_);
  return std::move(text_);
}

} // namespace tarvo::process
