// The init command: scaffolds pyproject.toml, the package folder and the CI workflow from the
// templates, never overwriting anything that exists.
#include "tarvo/cli/commands.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/templates/templates.hpp"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fmt/format.h>
#include <set>
#include <vector>

namespace tarvo::cli {

namespace fs = std::filesystem;

namespace {

// A name `import NAME` accepts that is also a distribution name: an ASCII identifier, not a
// keyword, starting with a letter and not ending with "_". It names the package folder and the
// project that pip installs.
std::optional<std::string> check_name(const std::string &name) {
  static const std::set<std::string> keywords = {
      "False", "None",     "True",  "and",    "as",   "assert", "async",  "await",    "break",
      "class", "continue", "def",   "del",    "elif", "else",   "except", "finally",  "for",
      "from",  "global",   "if",    "import", "in",   "is",     "lambda", "nonlocal", "not",
      "or",    "pass",     "raise", "return", "try",  "while",  "with",   "yield"};
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  bool identifier = !name.empty() && letter(name.front()) &&
                    std::all_of(name.begin(), name.end(),
                                [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
  if (identifier && packaging::is_valid_name(name) && !keywords.contains(name)) {
    return std::nullopt;
  }
  return "Project name must be a Python identifier that pip accepts as a project name (ASCII "
         "letters, digits and underscores, starting with a letter, not ending with an "
         "underscore, not a keyword), got " +
         repr(name);
}

// An empty identifier writes a project that pip refuses to install; any other text is the
// user's to choose.
std::optional<std::string> check_license(const std::string &license) {
  if (!license.empty()) {
    return std::nullopt;
  }
  return std::string("License spdx identifier must not be empty (for example MIT)");
}

} // namespace

std::optional<std::string> get_arg(const std::optional<std::string> &value,
                                   const std::string &prompt, Check check) {
  if (value && !value->empty()) {
    if (auto refused = check ? check(*value) : std::nullopt) {
      throw Error(ErrorKind::ValueError, *refused);
    }
    return value;
  }
  if (!console::is_terminal(console::Stream::In)) {
    return std::nullopt;
  }
  for (;;) {
    auto line = console::read_line(prompt, process::interrupt_fd(), process::check_interrupted);
    auto refused = check ? check(line) : std::nullopt;
    if (!refused) {
      return line;
    }
    console::out("{}\n", *refused);
  }
}

int cmd_init(const Args &args, const Grammar &grammar) {
  // Each value is checked as it is given, so that a refused one costs no other answer: the
  // name from --name before any prompt.
  struct Question {
    std::optional<std::string> value;
    const char *prompt;
    Check check;
    const char *option;
  };
  const std::array<Question, 5> questions = {{
      {args.name, "Project name: ", check_name, "--name"},
      {args.description, "Description: ", nullptr, "--description"},
      {args.author_name, "Author name: ", nullptr, "--author-name"},
      {args.author_email, "Author email: ", nullptr, "--author-email"},
      {args.license, "License spdx identifier: ", check_license, "--license"},
  }};
  std::array<std::string, 5> values;
  // Without a terminal nothing is asked: every value missing is named at once, so that one
  // more try completes the command.
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < questions.size(); ++i) {
    auto value = get_arg(questions[i].value, questions[i].prompt, questions[i].check);
    if (!value) {
      missing.push_back(questions[i].option);
      continue;
    }
    values[i] = *value;
  }
  if (!missing.empty()) {
    console::out("{}", usage(grammar));
    std::string options = missing.front();
    for (std::size_t i = 1; i < missing.size(); ++i) {
      options += (i + 1 == missing.size() ? " and " : ", ") + missing[i];
    }
    console::report_error(fmt::format(
        "init asks for missing values only on a terminal: give {} (each not empty)", options));
    return 1;
  }
  const auto &[name, description, author_name, author_email, license] = values;

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
  files::check_directories(name);
  files::check_directories(workflow.parent_path());
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
