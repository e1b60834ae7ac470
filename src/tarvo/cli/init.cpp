// The init command: scaffolds pyproject.toml, the package folder and the CI workflow from the
// templates, never overwriting anything that exists.
#include "tarvo/cli/commands.hpp"
#include "tarvo/config/templates.hpp"
#include "tarvo/error.hpp"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::cli {

namespace fs = std::filesystem;

namespace {

bool present(const fs::path &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// mkdir -p: an existing directory is accepted, anything else in the way is an error.
void make_directories(const fs::path &path) {
  fs::path current;
  for (const auto &part : path) {
    current /= part;
    if (::mkdir(current.c_str(), 0777) == 0) {
      continue;
    }
    int err = errno;
    struct stat st {};
    if (err == EEXIST && ::stat(current.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      continue;
    }
    throw os_error(err, current);
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

// Creates `path` holding `content`. The text is written to a temporary file beside it and moved
// into place only where nothing of that name exists, so the file appears whole or not at all
// and an entry that appeared meanwhile (or a dangling link) is never replaced: that is a
// FileExistsError.
void create_file(const fs::path &path, std::string_view content) {
  fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::string temp = (dir / ("." + path.filename().string() + ".tarvo-XXXXXX")).string();
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    throw os_error(errno, path);
  }
  try {
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) {
      throw os_error(errno, path);
    }
    write_all(fd, content, path);
    if (::close(fd) != 0) {
      fd = -1;
      throw os_error(errno, path);
    }
    fd = -1;
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
      // Filesystems without the no-replace rename still refuse to link over an entry.
      if ((errno != EINVAL && errno != ENOSYS) || ::link(temp.c_str(), path.c_str()) != 0) {
        throw os_error(errno, path);
      }
      ::unlink(temp.c_str());
    }
  } catch (...) {
    if (fd >= 0) {
      ::close(fd);
    }
    ::unlink(temp.c_str());
    throw;
  }
}

// Creates an empty file unless something of that name exists.
void create_empty_file(const fs::path &path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) {
      return;
    }
    throw os_error(errno, path);
  }
  ::close(fd);
}

std::string read_line(const std::string &prompt) {
  std::fputs(prompt.c_str(), stdout);
  std::fflush(stdout);
  std::string line;
  int c;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
    line += static_cast<char>(c);
  }
  if (c == EOF && line.empty()) {
    throw Error("EOFError", "EOF when reading a line");
  }
  return line;
}

} // namespace

std::optional<std::string> get_arg(const std::optional<std::string> &value,
                                   const std::string &prompt) {
  if (value && !value->empty()) {
    return value;
  }
  if (::isatty(STDIN_FILENO)) {
    return read_line(prompt);
  }
  return std::nullopt;
}

int cmd_init(const Args &args, const Grammar &grammar) {
  const std::array<std::pair<std::optional<std::string>, const char *>, 5> questions = {{
      {args.name, "Project name: "},
      {args.description, "Description: "},
      {args.author_name, "Author name: "},
      {args.author_email, "Author email: "},
      {std::nullopt, "License spdx identifier: "},
  }};
  std::array<std::string, 5> values;
  for (std::size_t i = 0; i < questions.size(); ++i) {
    auto value = get_arg(questions[i].first, questions[i].second);
    if (!value) {
      fmt::print("{}", usage(grammar));
      return 1;
    }
    values[i] = *value;
  }
  const auto &[name, description, author_name, author_email, license] = values;
  // An empty name names no folder; refuse it before anything is written.
  if (name.empty()) {
    throw Error("ValueError", "Project name must not be empty");
  }
  if (name.find('\0') != std::string::npos) {
    throw Error("ValueError", "Project name must not contain a NUL character");
  }

  // Both templates are rendered before anything is written, so a broken template leaves
  // nothing behind.
  const fs::path pyproject = "pyproject.toml";
  const fs::path workflow = fs::path(".github") / "workflows" / "build.yml";
  std::optional<std::string> pyproject_text;
  if (!present(pyproject)) {
    pyproject_text = templates::render(templates::text("pyproject.toml.tpl"),
                                       {{"name", name},
                                        {"description", description},
                                        {"author_name", author_name},
                                        {"author_email", author_email},
                                        {"license_spdx", license},
                                        {"python_version", ">=3.11"}},
                                       templates::Quoting::TomlBasic);
  }
  std::optional<std::string> workflow_text;
  if (!present(workflow)) {
    workflow_text = templates::render(templates::text("build.yml.tpl"), {{"project_name", name}},
                                      templates::Quoting::YamlDouble);
  }

  if (pyproject_text) {
    create_file(pyproject, *pyproject_text);
  }
  make_directories(name);
  create_empty_file(fs::path(name) / "__init__.py");
  make_directories(workflow.parent_path());
  if (workflow_text) {
    create_file(workflow, *workflow_text);
  }
  return 0;
}

} // namespace tarvo::cli
