#include "tarvo/error.hpp"

#include "tarvo/repr.hpp"

#include <cerrno>
#include <cstring>
#include <fmt/format.h>

namespace tarvo {

std::string_view name(ErrorKind kind) {
  switch (kind) {
  case ErrorKind::BlockingIOError:
    return "BlockingIOError";
  case ErrorKind::BrokenPipeError:
    return "BrokenPipeError";
  case ErrorKind::CalledProcessError:
    return "CalledProcessError";
  case ErrorKind::ChildProcessError:
    return "ChildProcessError";
  case ErrorKind::EOFError:
    return "EOFError";
  case ErrorKind::FileExistsError:
    return "FileExistsError";
  case ErrorKind::FileNotFoundError:
    return "FileNotFoundError";
  case ErrorKind::InterruptedError:
    return "InterruptedError";
  case ErrorKind::InvalidMarker:
    return "InvalidMarker";
  case ErrorKind::InvalidRequirement:
    return "InvalidRequirement";
  case ErrorKind::InvalidSpecifier:
    return "InvalidSpecifier";
  case ErrorKind::InvalidVersion:
    return "InvalidVersion";
  case ErrorKind::IsADirectoryError:
    return "IsADirectoryError";
  case ErrorKind::KeyError:
    return "KeyError";
  case ErrorKind::NotADirectoryError:
    return "NotADirectoryError";
  case ErrorKind::NotImplementedError:
    return "NotImplementedError";
  case ErrorKind::OSError:
    return "OSError";
  case ErrorKind::PermissionError:
    return "PermissionError";
  case ErrorKind::ProcessLookupError:
    return "ProcessLookupError";
  case ErrorKind::RuntimeError:
    return "RuntimeError";
  case ErrorKind::TOMLDecodeError:
    return "TOMLDecodeError";
  case ErrorKind::TimeoutError:
    return "TimeoutError";
  case ErrorKind::TypeError:
    return "TypeError";
  case ErrorKind::UndefinedComparison:
    return "UndefinedComparison";
  case ErrorKind::ValueError:
    return "ValueError";
  }
  return "Error";
}

std::ostream &operator<<(std::ostream &out, ErrorKind kind) { return out << name(kind); }

ErrorKind errno_kind(int err) {
  switch (err) {
  case ENOENT:
    return ErrorKind::FileNotFoundError;
  case EACCES:
  case EPERM:
    return ErrorKind::PermissionError;
  case EISDIR:
    return ErrorKind::IsADirectoryError;
  case ENOTDIR:
    return ErrorKind::NotADirectoryError;
  case EEXIST:
    return ErrorKind::FileExistsError;
  case EINTR:
    return ErrorKind::InterruptedError;
  case ECHILD:
    return ErrorKind::ChildProcessError;
  case ESRCH:
    return ErrorKind::ProcessLookupError;
  case EPIPE:
    return ErrorKind::BrokenPipeError;
  case ETIMEDOUT:
    return ErrorKind::TimeoutError;
  case EAGAIN:
    return ErrorKind::BlockingIOError;
  default:
    return ErrorKind::OSError;
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
    return Error(ErrorKind::OSError, e.what());
  }
  return e.path1().empty() ? os_error(err) : os_error(err, e.path1());
}

} // namespace tarvo
