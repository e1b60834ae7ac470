// A new project's files, written from the templates: pyproject.toml, the package folder with its
// __init__.py, and the CI workflow. Nothing that exists is overwritten.
#pragma once

#include <optional>
#include <string>

namespace tarvo::project {

struct NewProject {
  std::string name;
  std::string description;
  std::string author_name;
  std::string author_email;
  std::string license; // an SPDX identifier
};

// Why a value is refused, or nothing when it is accepted.
std::optional<std::string> check_project_name(const std::string &name);
std::optional<std::string> check_license(const std::string &license);

// Writes what of the project is missing. Both templates are rendered first, so that a broken
// one leaves nothing behind.
void scaffold(const NewProject &project);

} // namespace tarvo::project
