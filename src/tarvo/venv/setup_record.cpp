#include "tarvo/venv/setup_record.hpp"

#include "tarvo/error.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/text.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fmt/format.h>
#include <string_view>
#include <vector>

namespace tarvo::venv {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view RECORD = "tarvo-setup";

// What a setup installs from, in the order the record keeps their hashes, named as a change of
// each is said.
constexpr std::array<std::string_view, 3> BUILD_FILES = {"pyproject.toml", "setup.cfg", "setup.py"};

std::string hash(std::string_view text) { return fmt::format("{:016x}", fnv1a(text)); }

// A file's hash, or "-" when there is none to read.
std::string file_hash(const fs::path &path) {
  try {
    return hash(files::read_file(path));
  } catch (const Error &) {
    return "-";
  }
}

std::string command_of(const std::string &purpose) { return purpose.substr(0, purpose.find(' ')); }

// The record's line for `purpose` now, without its end: the command, then the hashes.
std::vector<std::string> fields_now(const fs::path &venv, const std::string &purpose) {
  std::vector<std::string> fields = {command_of(purpose)};
  for (auto file : BUILD_FILES) {
    fields.push_back(file_hash(file));
  }
  fields.push_back(hash(purpose));
  fields.push_back(file_hash(venv / "pyvenv.cfg"));
  return fields;
}

std::string joined(const std::vector<std::string> &fields) {
  std::string line;
  for (const auto &field : fields) {
    line += (line.empty() ? "" : "\t") + field;
  }
  return line;
}

// The record's lines, none when there is no record.
std::vector<std::string> record_lines(const fs::path &venv) {
  std::string text;
  try {
    text = files::read_file(venv / RECORD);
  } catch (const Error &) {
    return {};
  }
  std::vector<std::string> lines;
  for (auto line : split(text, '\n')) {
    if (!line.empty()) {
      lines.emplace_back(line);
    }
  }
  return lines;
}

} // namespace

std::optional<std::string> setup_changes(const fs::path &venv, const std::string &purpose) {
  const auto now = fields_now(venv, purpose);
  for (const auto &line : record_lines(venv)) {
    const auto then = split(line, '\t');
    if (then.front() != now.front()) {
      continue;
    }
    if (then.size() != now.size()) {
      return "the record of its setup";
    }
    for (std::size_t i = 1; i < now.size(); ++i) {
      if (then[i] != now[i]) {
        return i <= BUILD_FILES.size()       ? std::string(BUILD_FILES[i - 1])
               : i == BUILD_FILES.size() + 1 ? "what " + now.front() + " installs"
                                             : std::string("the interpreter");
      }
    }
    return std::nullopt;
  }
  return std::nullopt;
}

void record_setup(const fs::path &venv, const std::string &purpose) {
  const auto now = fields_now(venv, purpose);
  std::string text;
  for (const auto &line : record_lines(venv)) {
    if (split(line, '\t').front() != now.front()) {
      text += line + "\n";
    }
  }
  text += joined(now) + "\n";
  // Written beside it and moved over it: a record is whole or not there.
  const auto fresh = venv / (std::string(RECORD) + ".new");
  std::error_code ignored;
  fs::remove(fresh, ignored);
  files::create_file(fresh, text);
  if (::rename(fresh.c_str(), (venv / RECORD).c_str()) != 0) {
    throw os_error(errno, venv / RECORD);
  }
}

} // namespace tarvo::venv
