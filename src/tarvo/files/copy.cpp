#include "tarvo/files/copy.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/files/tree.hpp"
#include "tarvo/platform.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::files {

namespace fs = std::filesystem;

namespace {

// Copies what is left of `in` to `out` within the kernel, with Linux's copy_file_range; false
// where the two files' systems cannot do so, or the system has no such call, and read and write
// then copy the rest.
bool copied_in_kernel([[maybe_unused]] int in, [[maybe_unused]] int out,
                      [[maybe_unused]] const fs::path &to) {
#if TARVO_LINUX_CALLS
  for (;;) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n == 0) {
      return true;
    }
    if (n > 0 || errno == EINTR) {
      continue;
    }
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      throw os_error(errno, to);
    }
    return false;
  }
#else
  return false;
#endif
}

void copy_contents(const fs::path &from, const fs::path &to, mode_t mode) {
  Fd in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in) {
    if (errno == ENOENT) {
      return; // gone since it was looked at
    }
    throw os_error(errno, from);
  }
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (!out) {
    throw os_error(errno, to);
  }
  if (!copied_in_kernel(in.get(), out.get(), to)) {
    read_chunks(in.get(), from, [&](std::string_view piece) { write_all(out.get(), piece, to); });
  }
  // A write the file system defers may fail only here.
  if (::close(out.release()) != 0) {
    throw os_error(errno, to);
  }
}

} // namespace

void copy_entry(const fs::path &from, const fs::path &to) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) {
    if (errno == ENOENT) {
      return; // gone meanwhile
    }
    throw os_error(errno, from);
  }
  if (S_ISDIR(st.st_mode)) {
    // Writable for us, to be filled; the engine's side is root and reads it regardless.
    if (::mkdir(to.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) {
      throw os_error(errno, to);
    }
  } else if (S_ISLNK(st.st_mode)) {
    std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
    auto n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0) {
      if (errno == ENOENT) {
        return;
      }
      throw os_error(errno, from);
    }
    target.resize(static_cast<std::size_t>(n));
    if (::symlink(target.c_str(), to.c_str()) != 0) {
      throw os_error(errno, to);
    }
  } else if (S_ISREG(st.st_mode)) {
    if (::link(from.c_str(), to.c_str()) != 0) {
      if (errno == EEXIST) {
        throw os_error(errno, to);
      }
      copy_contents(from, to, st.st_mode & 07777);
    }
  }
}

void copy_tree(const fs::path &from, const fs::path &to, const std::vector<std::string> &skip) {
  walk_tree(from, [&](const TreeEntry &entry) {
    const auto relative = entry.path();
    if (!relative.has_parent_path() &&
        std::find(skip.begin(), skip.end(), entry.name()) != skip.end()) {
      return false;
    }
    const auto target = to / relative;
    struct stat there {};
    if (::lstat(target.c_str(), &there) == 0) {
      // A folder there gets what it lacks; anything else there stays.
      return S_ISDIR(there.st_mode) && entry.is_directory();
    }
    if (errno != ENOENT) {
      throw os_error(errno, target);
    }
    copy_entry(from / relative, target);
    return entry.is_directory();
  });
}

} // namespace tarvo::files
