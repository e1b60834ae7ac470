#include "tarvo/error.hpp"

#include "tarvo/repr.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fmt/format.h>

namespace tarvo {

std::string errno_kind(int err) {
  switch (err) {
  case ENOENT:
    return "FileNotFoundError";
  case EACCES:
  case EPERM:
    return "PermissionError";
  case EISDIR:
    return "IsADirectoryError";
  case ENOTDIR:
    return "NotADirectoryError";
  case EEXIST:
    return "FileExistsError";
  case EINTR:
    return "InterruptedError";
  case ECHILD:
    return "ChildProcessError";
  case ESRCH:
    return "ProcessLookupError";
  case EPIPE:
    return "BrokenPipeError";
  case ETIMEDOUT:
    return "TimeoutError";
  case EAGAIN:
    return "BlockingIOError";
  default:
    return "OSError";
  }
}

Error os_error(int err, const std::filesystem::path &path) {
  return Error(errno_kind(err),
               fmt::format("[Errno {}] {}: {}", err, std::strerror(err), repr(path.string())));
}

Error os_error(int err) {
  return Error(errno_kind(err), fmt::format("[Errno {}] {}", err, std::strerror(err)));
}

Error os_error(const std::filesystem::filesystem_error &e) {
  int err = e.code().value();
  if (e.code().category() != std::generic_category() &&
      e.code().category() != std::system_category()) {
    return Error("OSError", e.what());
  }
  return e.path1().empty() ? os_error(err) : os_error(err, e.path1());
}

void report_error(std::string_view message) {
  std::fflush(stdout);
  std::fprintf(stderr, "Error: %.*s\n", static_cast<int>(message.size()), message.data());
}

} // namespace tarvo
