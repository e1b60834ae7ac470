#include "tarvo/process/process.hpp"

#include "tarvo/repr.hpp"

#include <cstring>
#include <fmt/format.h>

extern char **environ;

namespace tarvo::process {

namespace {

std::string failure_message(int returncode, const std::vector<std::string> &args) {
  if (returncode < 0) {
    return fmt::format("Command '{}' died with signal {}.", repr(args), -returncode);
  }
  return fmt::format("Command '{}' returned non-zero exit status {}.", repr(args), returncode);
}

} // namespace

CalledProcessError::CalledProcessError(int returncode, std::vector<std::string> args,
                                       std::optional<std::string> stdout_text,
                                       std::optional<std::string> stderr_text)
    : Error(ErrorKind::CalledProcessError, failure_message(returncode, args)),
      returncode(returncode), args(std::move(args)), stdout_text(std::move(stdout_text)),
      stderr_text(std::move(stderr_text)) {}

void check_returncode(const CompletedProcess &completed) {
  if (completed.returncode != 0) {
    check_returncode(CompletedProcess(completed));
  }
}

void check_returncode(CompletedProcess &&completed) {
  if (completed.returncode != 0) {
    throw CalledProcessError(completed.returncode, std::move(completed.args),
                             std::move(completed.stdout_text), std::move(completed.stderr_text));
  }
}

Environment current_environment() {
  Environment env;
  for (char **entry = environ; *entry != nullptr; ++entry) {
    const char *eq = std::strchr(*entry, '=');
    if (eq != nullptr) {
      env.emplace(std::string(*entry, static_cast<std::size_t>(eq - *entry)), std::string(eq + 1));
    }
  }
  return env;
}

} // namespace tarvo::process
