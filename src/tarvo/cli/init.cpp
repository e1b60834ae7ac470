// The init command: scaffolds pyproject.toml, the package folder and the CI workflow from the
// templates, never overwriting anything that exists.
#include "tarvo/cli/commands.hpp"
#include "tarvo/templates/templates.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/repr.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <poll.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::cli {

namespace fs = std::filesystem;

namespace {

// One line typed at the prompt, without its line end. The poll also watches for an interrupt:
// the handlers restart reads, so a read alone would never see Ctrl-C.
std::string read_line(const std::string &prompt) {
  console::out("{}", prompt);
  console::flush();
  std::string line;
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {process::interrupt_fd(), POLLIN, 0}};
    if (::poll(fds, fds[1].fd >= 0 ? 2 : 1, -1) < 0 && errno != EINTR) {
      throw os_error(errno);
    }
    process::check_interrupted();
    char c;
    ssize_t n = fds[0].revents != 0 ? ::read(STDIN_FILENO, &c, 1) : -1;
    if (n < 0 && (fds[0].revents == 0 || errno == EINTR)) {
      continue;
    }
    if (n < 0) {
      throw os_error(errno);
    }
    if (n == 0) {
      if (line.empty()) {
        throw Error(ErrorKind::EOFError, "EOF when reading a line");
      }
      return line;
    }
    if (c == '\n') {
      return line;
    }
    line += c;
  }
}

// A name `import NAME` accepts: an ASCII identifier that is not a keyword. It names a folder
// below the project and nothing else.
bool importable(const std::string &name) {
  static const std::set<std::string> keywords = {
      "False", "None",     "True",  "and",    "as",   "assert", "async",  "await",    "break",
      "class", "continue", "def",   "del",    "elif", "else",   "except", "finally",  "for",
      "from",  "global",   "if",    "import", "in",   "is",     "lambda", "nonlocal", "not",
      "or",    "pass",     "raise", "return", "try",  "while",  "with",   "yield"};
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  return !name.empty() && letter(name.front()) &&
         std::all_of(name.begin(), name.end(),
                     [&](char c) { return letter(c) || (c >= '0' && c <= '9'); }) &&
         !keywords.contains(name);
}

// Fails as making the folder would, but before anything is written: an entry on the way that
// is not a folder (a file, a link to nowhere) cannot become one.
void check_folder_can_be_made(const fs::path &folder) {
  fs::path current;
  for (const auto &part : folder) {
    current /= part;
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) {
      return;
    }
    if (::stat(current.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      throw os_error(EEXIST, current);
    }
  }
}

} // namespace

std::optional<std::string> get_arg(const std::optional<std::string> &value,
                                   const std::string &prompt) {
  if (value && !value->empty()) {
    return value;
  }
  if (console::is_terminal(console::Stream::In)) {
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
      console::out("{}", usage(grammar));
      return 1;
    }
    values[i] = *value;
  }
  const auto &[name, description, author_name, author_email, license] = values;
  // The name is also the package folder, imported and run as a module: refused before
  // anything is written unless Python can import it.
  if (!importable(name)) {
    throw Error(ErrorKind::ValueError,
                "Project name must be a Python identifier (ASCII letters, digits and underscores, "
                "not starting with a digit, not a keyword), got " +
                    repr(name));
  }

  // Both templates are rendered before anything is written, so a broken template leaves
  // nothing behind.
  const fs::path pyproject = "pyproject.toml";
  const fs::path workflow = fs::path(".github") / "workflows" / "build.yml";
  std::optional<std::string> pyproject_text;
  if (!files::exists(pyproject)) {
    pyproject_text = templates::render(templates::text("pyproject.toml.tpl"),
                                       {{"name", name},
                                        {"description", description},
                                        {"author_name", author_name},
                                        {"author_email", author_email},
                                        {"license_spdx", license},
                                        {"python_version", ">=3.11"}},
                                       templates::Quoting::TomlBasic);
  }
  check_folder_can_be_made(name);
  check_folder_can_be_made(workflow.parent_path());
  std::optional<std::string> workflow_text;
  if (!files::exists(workflow)) {
    workflow_text = templates::render(templates::text("build.yml.tpl"), {{"project_name", name}},
                                      templates::Quoting::YamlDouble);
  }

  if (pyproject_text) {
    files::create_file(pyproject, *pyproject_text);
  }
  files::make_directories(name);
  files::create_empty_file(fs::path(name) / "__init__.py");
  files::make_directories(workflow.parent_path());
  if (workflow_text) {
    files::create_file(workflow, *workflow_text);
  }
  return 0;
}

} // namespace tarvo::cli
