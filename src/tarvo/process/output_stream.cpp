#include "tarvo/process/output_stream.hpp"

#include "tarvo/process/interrupts.hpp"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace tarvo::process {

OutputStream::OutputStream() {
  auto pipe = make_pipe(O_CLOEXEC);
  read_ = std::move(pipe.read);
  write_ = std::move(pipe.write);
}

std::size_t OutputStream::read(char *buffer, std::size_t size) {
  while (true) {
    check_interrupted();
    pollfd fds[2] = {{read_.get(), POLLIN, 0}, {interrupt_fd(), POLLIN, 0}};
    if (::poll(fds, interrupt_fd() >= 0 ? 2 : 1, -1) < 0 && errno != EINTR) {
      throw os_error(errno);
    }
    if (fds[0].revents == 0) {
      continue;
    }
    auto n = ::read(read_.get(), buffer, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
      continue;
    }
    if (n < 0) {
      throw os_error(errno);
    }
    return static_cast<std::size_t>(n);
  }
}

} // namespace tarvo::process
