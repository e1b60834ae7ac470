// The error model: every failure is a tarvo::Error carrying the kind that the top level
// reports ("FileNotFoundError", "ValueError", ...) and a one-line message.
#pragma once

#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvo {

// What went wrong, named as the top level prints it.
enum class ErrorKind {
  BlockingIOError,
  BrokenPipeError,
  CalledProcessError,
  ChildProcessError,
  EOFError,
  FileExistsError,
  FileNotFoundError,
  InterruptedError,
  InvalidMarker,
  InvalidRequirement,
  InvalidSpecifier,
  InvalidVersion,
  IsADirectoryError,
  KeyError,
  NotADirectoryError,
  NotImplementedError,
  OSError,
  PermissionError,
  ProcessLookupError,
  RuntimeError,
  TOMLDecodeError,
  TimeoutError,
  TypeError,
  UndefinedComparison,
  ValueError,
};

// The printed name: "FileNotFoundError".
std::string_view name(ErrorKind kind);
std::ostream &operator<<(std::ostream &out, ErrorKind kind);

class Error : public std::runtime_error {
public:
  Error(ErrorKind kind, const std::string &message) : std::runtime_error(message), kind_(kind) {}

  ErrorKind kind() const noexcept { return kind_; }
  std::string message() const { return what(); }

private:
  ErrorKind kind_;
};

// The kind that an operating-system error number is reported as.
ErrorKind errno_kind(int err);

// An operating-system failure on `path`: "[Errno 2] No such file or directory: 'path'".
Error os_error(int err, const std::filesystem::path &path);
// The same for a failure that concerns no single path.
Error os_error(int err);
// From a std::filesystem failure, keeping its error number and first path.
Error os_error(const std::filesystem::filesystem_error &e);

// Ends the process with `code` once the stack has unwound (caught in main only).
struct ExitStatus {
  int code;
};

} // namespace tarvo
