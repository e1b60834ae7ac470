#include "tarvo/artifacts/farm_log.hpp"

#include "tarvo/error.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/text.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tarvo::artifacts {

void TaskOutput::open() {
  std::string pattern = files::temporary_folder() + "/tarvo-log-XXXXXX";
  Fd fd(::mkostemp(pattern.data(), O_APPEND | O_CLOEXEC));
  if (!fd) {
    throw os_error(errno, pattern);
  }
  ::unlink(pattern.c_str());
  std::lock_guard lock(lock_);
  fd_ = std::move(fd);
}

void TaskOutput::close() {
  std::lock_guard lock(lock_);
  text_ = read_log();
  fd_.close();
}

void TaskOutput::say(process::Said kind, std::string_view text) {
  std::lock_guard lock(lock_);
  if (kind == process::Said::Delivered) {
    delivered_.push_back(printable(without_line_end(text)));
    return;
  }
  try {
    files::write_all(fd_.get(), text, "the target's log");
  } catch (const Error &) {
    // A log that cannot be written loses lines, never the target.
  }
  if (kind == process::Said::Progress) {
    step_ = printable(last_line(text));
  } else if (kind == process::Said::LastWord) {
    last_words_.push_back(printable(without_line_end(text)));
  }
}

std::string TaskOutput::step() const {
  std::lock_guard lock(lock_);
  return step_;
}

std::vector<std::string> TaskOutput::delivered() const {
  std::lock_guard lock(lock_);
  return delivered_;
}

std::vector<std::string> TaskOutput::last_words() const {
  std::lock_guard lock(lock_);
  return last_words_;
}

std::string TaskOutput::text() const {
  std::lock_guard lock(lock_);
  return fd_ ? read_log() : text_;
}

std::string TaskOutput::read_log() const {
  std::string out;
  char buffer[65536];
  for (off_t at = 0; fd_;) {
    auto n = ::pread(fd_.get(), buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    out.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return out;
}

std::optional<std::string> pytest_counts(std::string_view log) {
  for (auto end = log.size(); end > 0;) {
    auto start = log.rfind('\n', end - 1);
    start = start == std::string_view::npos ? 0 : start + 1;
    auto line = log.substr(start, end - start);
    end = start == 0 ? 0 : start - 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
      line.remove_suffix(1);
    }
    const auto in = line.rfind(" in ");
    if (line.starts_with("=") && line.ends_with("=") && in != std::string_view::npos) {
      auto counts = line.substr(0, in);
      counts.remove_prefix(std::min(counts.find_first_not_of("= "), counts.size()));
      if (!counts.empty()) {
        return std::string(counts);
      }
    }
  }
  return std::nullopt;
}

} // namespace tarvo::artifacts
