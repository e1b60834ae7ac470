// One captured output stream: the reading end of its pipe, read whenever it holds something
// into memory that grows as needed, and the text it held once the pipe has closed.
#pragma once

#include "tarvo/fd.hpp"

#include <cstddef>
#include <string>

namespace tarvo::process {

class Capture {
public:
  // `pipe` must not block.
  explicit Capture(Fd pipe) : pipe_(std::move(pipe)) {}
  ~Capture();
  Capture(const Capture &) = delete;
  Capture &operator=(const Capture &) = delete;

  int fd() const { return pipe_.get(); }
  bool open() const { return static_cast<bool>(pipe_); }
  // Reads what the pipe holds now; closes it at its end.
  void read_available();
  // Stops reading: what a descendant still writes is not waited for.
  void close() { pipe_.close(); }
  // The text read, carriage returns alone or before a line feed read as line feeds.
  std::string take();

private:
  void grow();
  void release();

  Fd pipe_;
  // Mapped memory that doubles as it fills, moved by remapping its pages, never copied.
  char *data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

} // namespace tarvo::process
