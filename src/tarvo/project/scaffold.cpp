#include "tarvo/project/scaffold.hpp"

#include "tarvo/files/files.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/templates/templates.hpp"

#include <algorithm>
#include <filesystem>
#include <set>

namespace tarvo::project {

namespace fs = std::filesystem;

// A name `import NAME` accepts that is also a distribution name: an ASCII identifier, not a
// keyword, starting with a letter and not ending with "_". It names the package folder and the
// project that pip installs.
std::optional<std::string> check_project_name(const std::string &name) {
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

void scaffold(const NewProject &project) {
  const auto &[name, description, author_name, author_email, license] = project;
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
}

} // namespace tarvo::project
