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

// Any name pip accepts as a project's, whose package (its module name: "demo-pkg" gives
// "demo_pkg") Python can import: the module name must be an identifier and no keyword.
std::optional<std::string> check_project_name(const std::string &name) {
  static const std::set<std::string> keywords = {
      "False", "None",     "True",  "and",    "as",   "assert", "async",  "await",    "break",
      "class", "continue", "def",   "del",    "elif", "else",   "except", "finally",  "for",
      "from",  "global",   "if",    "import", "in",   "is",     "lambda", "nonlocal", "not",
      "or",    "pass",     "raise", "return", "try",  "while",  "with",   "yield"};
  if (!packaging::is_valid_name(name)) {
    return "Project name must be one pip accepts (ASCII letters, digits, '.', '-' and '_', "
           "beginning and ending with a letter or digit), got " +
           repr(name);
  }
  const auto module = packaging::module_name(name);
  if ((module.front() >= '0' && module.front() <= '9') || keywords.contains(module)) {
    return "Project name " + repr(name) + " gives the module name " + repr(module) +
           ", which Python cannot import (it begins with a digit or is a keyword)";
  }
  return std::nullopt;
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
  // The package folder is the module's: "demo-pkg" is imported as demo_pkg.
  const fs::path package = packaging::module_name(name);
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
  files::check_directories(package);
  files::check_directories(workflow.parent_path());
  std::optional<std::string> workflow_text;
  if (!files::exists(workflow)) {
    workflow_text = templates::render(templates::text("build.yml.tpl"), {{"project_name", name}},
                                      templates::Quoting::YamlDouble);
  }

  if (pyproject_text) {
    files::create_file(pyproject, *pyproject_text);
  }
  files::make_directories(package);
  files::create_empty_file(package / "__init__.py");
  files::make_directories(workflow.parent_path());
  if (workflow_text) {
    files::create_file(workflow, *workflow_text);
  }
}

} // namespace tarvo::project
