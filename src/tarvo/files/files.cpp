#include "tarvo/files/files.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/platform.hpp"
#include "tarvo/random.hpp"
#include "tarvo/repr.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#if TARVO_LINUX_CALLS
#include <sys/syscall.h>
// renameat2's flag, from the kernel's linux/fs.h: musl's headers do not define it.
#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif
#endif

namespace tarvo::files {

namespace fs = std::filesystem;

namespace {

// Calls `step` with "a", "a/b", "a/b/c" for "a/b/c", until it returns false.
template <typename Step> void for_each_leading_part(const fs::path &path, Step step) {
  fs::path current;
  for (const auto &part : path) {
    current /= part;
    if (!step(current)) {
      return;
    }
  }
}

// Renames `from` to `to` unless `to` exists, in one step where the system has one. Elsewhere, and
// on file systems without it, a hard link refuses an existing name just as well; `from` is then
// unlinked. Sets errno when it returns false.
bool rename_no_replace(const char *from, const char *to) {
#if TARVO_LINUX_CALLS
  // Through syscall(): glibc has a renameat2 wrapper only since 2.28, release builds run on 2.17.
  if (::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return false;
  }
#elif TARVO_MACOS
  if (::renamex_np(from, to, RENAME_EXCL) == 0) {
    return true;
  }
  if (errno != ENOTSUP && errno != EINVAL) {
    return false;
  }
#endif
  if (::link(from, to) != 0) {
    return false;
  }
  ::unlink(from);
  return true;
}

} // namespace

void read_chunks(int fd, const fs::path &path, const std::function<void(std::string_view)> &take) {
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      take(std::string_view(buffer, static_cast<std::size_t>(n)));
    } else if (n == 0) {
      return;
    } else if (errno != EINTR) {
      throw os_error(errno, path);
    }
  }
}

void write_all(int fd, std::string_view content, const fs::path &path) {
  while (!content.empty()) {
    ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      throw os_error(errno, path);
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string read_file(const fs::path &path) {
  // Non-blocking, so that opening a FIFO with no writer returns at once.
  Fd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file) {
    throw os_error(errno, path);
  }
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) {
    throw os_error(errno, path);
  }
  if (S_ISDIR(st.st_mode)) {
    throw os_error(EISDIR, path);
  }
  if (!S_ISREG(st.st_mode)) {
    throw Error(ErrorKind::OSError, fmt::format("Not a regular file: {}", repr(path.string())));
  }
  if (static_cast<std::size_t>(st.st_size) > MAX_FILE_SIZE) {
    throw os_error(EFBIG, path);
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  read_chunks(file.get(), path, [&](std::string_view piece) {
    // A file that grows while it is read is held to the same limit.
    if (bytes.size() + piece.size() > MAX_FILE_SIZE) {
      throw os_error(EFBIG, path);
    }
    bytes.append(piece);
  });
  return bytes;
}

void create_file(const fs::path &path, std::string_view content) {
  fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  // A fresh name beside the file, created with the mode the umask leaves, as open() gives any
  // new file: the process-wide umask is neither read nor changed.
  std::string temp;
  Fd file;
  for (int tries = 0; !file; ++tries) {
    temp =
        (dir / fmt::format(".{}.tarvo-{:016x}", path.filename().string(), random_bits())).string();
    file = Fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file && (errno != EEXIST || tries == 100)) {
      throw os_error(errno, path);
    }
  }
  try {
    write_all(file.get(), content, path);
    // A write the file system defers may fail only here.
    if (::close(file.release()) != 0) {
      throw os_error(errno, path);
    }
    if (!rename_no_replace(temp.c_str(), path.c_str())) {
      throw os_error(errno, path);
    }
  } catch (...) {
    file.close();
    ::unlink(temp.c_str());
    throw;
  }
}

void create_empty_file(const fs::path &path) {
  Fd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!file && errno != EEXIST) {
    throw os_error(errno, path);
  }
}

void make_directories(const fs::path &path) {
  for_each_leading_part(path, [](const fs::path &current) {
    if (::mkdir(current.c_str(), 0777) == 0) {
      return true;
    }
    int err = errno;
    struct stat st {};
    if (err == EEXIST && ::stat(current.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      return true;
    }
    throw os_error(err, current);
  });
}

void check_directories(const fs::path &path) {
  for_each_leading_part(path, [](const fs::path &current) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) {
      return false;
    }
    if (::stat(current.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      throw os_error(EEXIST, current);
    }
    return true;
  });
}

std::string temporary_folder() {
  const char *tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

bool exists(const fs::path &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

} // namespace tarvo::files
