// A child's standard output read as it comes, for output too large to hold at once (the archive
// that docker cp writes): the child writes into a pipe (Redirect::File) and the reader takes it
// piece by piece, waking for an interrupt.
#pragma once

#include "tarvo/fd.hpp"

#include <cstddef>

namespace tarvo::process {

class OutputStream {
public:
  OutputStream();

  // The descriptor to start the child with, as ProcessOptions::file.
  int file() const { return write_.get(); }
  // The child has started: our copy of the writing end is closed, so the stream ends with it.
  void started() { write_.close(); }
  // Reads up to `size` bytes; 0 at the end of the stream. An interrupt meanwhile raises
  // Interrupted.
  std::size_t read(char *buffer, std::size_t size);
  // Stops reading: the child's further writes fail, so that it ends instead of waiting for a
  // reader.
  void close() { read_.close(); }

private:
  Fd read_;
  Fd write_;
};

} // namespace tarvo::process
