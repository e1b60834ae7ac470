#include "tarvo/process/capture.hpp"

#include "tarvo/error.hpp"

#include <cerrno>
#include <unistd.h>

namespace tarvo::process {

namespace {

// Read at a time, and the first block's size.
constexpr std::size_t CHUNK = 64 << 10;
// The largest block.
constexpr std::size_t BLOCK = 4 << 20;

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
      append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
      pipe_.close();
    } else if (errno == EAGAIN) {
      return;
    } else if (errno != EINTR) {
      throw os_error(errno);
    }
  }
}

void Capture::append(const char *data, std::size_t size) {
  while (size > 0) {
    if (blocks_.empty() || blocks_.back().size() == blocks_.back().capacity()) {
      // Small at first, for the many steps that print little; then of a size the C library
      // gives back to the system as soon as it is freed.
      std::size_t next = blocks_.empty() ? CHUNK : std::min(blocks_.back().capacity() * 2, BLOCK);
      blocks_.emplace_back().reserve(next);
    }
    auto &block = blocks_.back();
    std::size_t taken = std::min(size, block.capacity() - block.size());
    block.append(data, taken);
    data += taken;
    size -= taken;
  }
}

std::string Capture::take() {
  std::string text;
  if (blocks_.size() == 1) {
    text = std::move(blocks_.front());
  } else {
    std::size_t total = 0;
    for (const auto &block : blocks_) {
      total += block.size();
    }
    text.reserve(total);
    for (auto &block : blocks_) {
      text += block;
      std::string().swap(block);
    }
  }
  blocks_.clear();
  normalise_newlines(text);
  return text;
}

} // namespace tarvo::process
