#include "tarvo/random.hpp"

#include "tarvo/error.hpp"
#include "tarvo/platform.hpp"

#include <cerrno>
#include <cstdlib>

#if TARVO_LINUX_CALLS
#include <sys/random.h>
#elif !TARVO_MACOS && !TARVO_BSD
#include "tarvo/fd.hpp"
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarvo {

#if TARVO_LINUX_CALLS

std::uint64_t random_bits() {
  std::uint64_t bits = 0;
  ssize_t n;
  do {
    n = ::getrandom(&bits, sizeof bits, 0);
  } while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(sizeof bits)) {
    throw os_error(n < 0 ? errno : EIO);
  }
  return bits;
}

#elif TARVO_MACOS || TARVO_BSD

// arc4random_buf cannot fail.
std::uint64_t random_bits() {
  std::uint64_t bits = 0;
  ::arc4random_buf(&bits, sizeof bits);
  return bits;
}

#else

// Elsewhere, the device every POSIX system has.
std::uint64_t random_bits() {
  Fd device(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
  if (!device) {
    throw os_error(errno, "/dev/urandom");
  }
  std::uint64_t bits = 0;
  auto *bytes = reinterpret_cast<char *>(&bits);
  for (std::size_t have = 0; have < sizeof bits;) {
    ssize_t n = ::read(device.get(), bytes + have, sizeof bits - have);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      throw os_error(n < 0 ? errno : EIO, "/dev/urandom");
    }
    have += static_cast<std::size_t>(n);
  }
  return bits;
}

#endif

} // namespace tarvo
