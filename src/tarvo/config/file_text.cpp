#include "tarvo/config/file_text.hpp"

#include "tarvo/error.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

std::string read_file(const std::filesystem::path &path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    throw os_error(errno, path);
  }
  std::string bytes;
  struct stat st {};
  int err = 0;
  if (fstat(fd, &st) != 0) {
    err = errno;
  } else if (S_ISDIR(st.st_mode)) {
    err = EISDIR;
  } else {
    char buffer[65536];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        bytes.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        err = errno;
        break;
      }
    }
  }
  ::close(fd);
  if (err != 0) {
    throw os_error(err, path);
  }
  return bytes;
}

} // namespace tarvo
