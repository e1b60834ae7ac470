#include "tarvo/process/capture.hpp"

#include "tarvo/error.hpp"
#include "tarvo/platform.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <unistd.h>

#if TARVO_LINUX_CALLS
#include <sys/mman.h>
#endif

namespace tarvo::process {

namespace {

// The first block's size: most steps print less.
constexpr std::size_t FIRST_BLOCK = 64 << 10;
// The largest block: of a size the C library gives back to the system as soon as it is freed.
constexpr std::size_t LARGEST_BLOCK = 8 << 20;

// Fresh pages are what holding megabytes costs: on Linux, in huge pages where the kernel grants
// them on request, they cost few page faults. Asked only for the blocks, which are ours alone;
// the string handed over is the C++ library's. Elsewhere the system decides.
void advise_huge_pages(const char *start, std::size_t size) {
#if TARVO_LINUX_CALLS
  constexpr std::uintptr_t HUGE_PAGE = 2 << 20;
  auto begin = (reinterpret_cast<std::uintptr_t>(start) + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
  auto end = (reinterpret_cast<std::uintptr_t>(start) + size) / HUGE_PAGE * HUGE_PAGE;
  if (end > begin) {
    ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
  }
#else
  (void)start;
  (void)size;
#endif
}

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
  while (pipe_) {
    if (blocks_.empty() || blocks_.back().size == blocks_.back().capacity) {
      // Each twice the one before, up to the largest.
      std::size_t capacity =
          blocks_.empty() ? FIRST_BLOCK : std::min(blocks_.back().capacity * 2, LARGEST_BLOCK);
      blocks_.push_back({std::unique_ptr<char[]>(new char[capacity]), 0, capacity});
      advise_huge_pages(blocks_.back().data.get(), capacity);
    }
    auto &block = blocks_.back();
    ssize_t n = ::read(pipe_.get(), block.data.get() + block.size, block.capacity - block.size);
    if (n > 0) {
      block.size += static_cast<std::size_t>(n);
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
  std::size_t total = 0;
  for (const auto &block : blocks_) {
    total += block.size;
  }
  std::string text;
  text.reserve(total);
  for (auto &block : blocks_) {
    text.append(block.data.get(), block.size);
    block.data.reset();
  }
  blocks_.clear();
  normalise_newlines(text);
  return text;
}

} // namespace tarvo::process
