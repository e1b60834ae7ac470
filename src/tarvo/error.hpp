// The error model: every failure is a tarvo::Error carrying the kind that the top level
// reports ("FileNotFoundError", "ValueError", ...) and a one-line message.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvo {

class Error : public std::runtime_error {
public:
  Error(std::string kind, const std::string &message)
      : std::runtime_error(message), kind_(std::move(kind)) {}

  const std::string &kind() const noexcept { return kind_; }
  std::string message() const { return what(); }

private:
  std::string kind_;
};

// The kind that an operating-system error number is reported as.
std::string errno_kind(int err);

// An operating-system failure on `path`: "[Errno 2] No such file or directory: 'path'".
Error os_error(int err, const std::filesystem::path &path);
// The same for a failure that concerns no single path.
Error os_error(int err);
// From a std::filesystem failure, keeping its error number and first path.
Error os_error(const std::filesystem::filesystem_error &e);

// Writes "Error: <message>" as one line on standard error, after what standard output holds.
void report_error(std::string_view message);

// Ends the process with `code` once the stack has unwound (caught in main only).
struct ExitStatus {
  int code;
};

} // namespace tarvo
