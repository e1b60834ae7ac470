#include "tarvo/process/capture.hpp"

#include "tarvo/error.hpp"

#include <cerrno>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace tarvo::process {

namespace {

constexpr std::size_t FIRST_SIZE = 64 << 10;
constexpr std::size_t HUGE_PAGE = 2 << 20;

// Fresh pages are what capturing megabytes costs: in huge pages, where the kernel grants them
// on request, they cost few page faults.
void advise_huge_pages(const char *start, std::size_t size) {
  auto begin = (reinterpret_cast<std::uintptr_t>(start) + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
  auto end = (reinterpret_cast<std::uintptr_t>(start) + size) / HUGE_PAGE * HUGE_PAGE;
  if (end > begin) {
    ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
  }
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

} // namespace

Capture::~Capture() { release(); }

void Capture::release() {
  if (data_ != nullptr) {
    ::munmap(data_, capacity_);
  }
  data_ = nullptr;
  size_ = capacity_ = 0;
}

void Capture::grow() {
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

void Capture::read_available() {
  while (pipe_) {
    if (size_ == capacity_) {
      grow();
    }
    ssize_t n = ::read(pipe_.get(), data_ + size_, capacity_ - size_);
    if (n > 0) {
      size_ += static_cast<std::size_t>(n);
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
  std::string text;
  text.reserve(size_);
  advise_huge_pages(text.data(), size_);
  text.append(data_ == nullptr ? "" : data_, size_);
  release();
  return normalise_newlines(std::move(text));
}

} // namespace tarvo::process
