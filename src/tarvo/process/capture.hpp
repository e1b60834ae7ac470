// One captured output stream: the reading end of its pipe, read whenever it holds something into
// a string that grows as needed, and that text, handed over whole once the pipe has closed.
#pragma once

#include "tarvo/fd.hpp"

#include <string>

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
  // The text read, carriage returns alone or before a line feed read as line feeds; moved out,
  // never copied.
  std::string take();

private:
  Fd pipe_;
  std::string text_;
};

} // namespace tarvo::process
