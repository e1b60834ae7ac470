// One captured output stream: the reading end of its pipe, read whenever it holds something into
// blocks of memory added as needed, and the text they hold, handed over as one string once the
// pipe has closed.
#pragma once

#include "tarvo/fd.hpp"

#include <memory>
#include <string>
#include <vector>

namespace tarvo::process {

class Capture {
public:
  // `pipe` must not block.
  explicit Capture(Fd pipe) : pipe_(std::move(pipe)) {}

  int fd() const { return pipe_.get(); }
  bool open() const { return static_cast<bool>(pipe_); }
  // Reads what the pipe holds now; closes it at its end.
  void read_available();
  // Stops reading: what a descendant still writes is not waited for.
  void close() { pipe_.close(); }
  // The text read, carriage returns alone or before a line feed read as line feeds. Each block
  // is freed as soon as it is in the string, so the text is held about once, not twice.
  std::string take();

private:
  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size;
    std::size_t capacity;
  };

  Fd pipe_;
  // Filled in turn, never copied to grow: a buffer that doubled as it filled would hold its old
  // and its new copy at once, twice the text at worst, when the text is largest.
  std::vector<Block> blocks_;
};

} // namespace tarvo::process
