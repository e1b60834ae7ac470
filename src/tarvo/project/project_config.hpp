// ProjectConfig: the project's pyproject.toml, parsed once, answering the questions the
// commands ask of it.
#pragma once

#include "tarvo/error.hpp"
#include "tarvo/project/value.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::project {

// The document is not valid TOML.
class TomlDecodeError : public Error {
public:
  explicit TomlDecodeError(const std::string &message)
      : Error(ErrorKind::TOMLDecodeError, message) {}
};

struct Author {
  std::optional<Value> name;
  std::optional<Value> email;
};

// The folder of the nearest pyproject.toml, the current folder or an ancestor, as a relative
// path ("." or "../.."). Only relative paths are used, so that a project reached from a folder
// the user cannot search (through sudo -u, from a private folder) is found: an ancestor that
// cannot be searched ends the search there. None when there is none.
std::optional<std::filesystem::path> find_project_root();

// The pyproject.toml of find_project_root() ("pyproject.toml", "../pyproject.toml"); a
// FileNotFoundError when there is none.
std::filesystem::path find_pyproject();

class ProjectConfig {
public:
  // Reads the pyproject.toml that find_pyproject() names.
  ProjectConfig();
  // Reads the given file (relative to the current directory).
  explicit ProjectConfig(const std::filesystem::path &file);
  // Parses a document held in memory; no file is opened.
  static ProjectConfig from_bytes(std::string_view bytes);

  // Values are returned as stored; absent where the table or key is missing.
  std::optional<Value> name() const;
  std::optional<Value> description() const;
  std::optional<Value> license() const;
  std::optional<std::vector<Author>> authors() const;
  std::optional<std::string> version() const;
  Table tarvo() const;
  std::optional<Value> extras() const;
  Value build_system_requires() const;
  std::optional<Value> build_backend() const;
  std::optional<Value> pyright_exclude() const;
  std::optional<Value> ruff_exclude() const;
  std::optional<Value> requires_python() const;

  // [project] KEY as stored; absent where the table or the key is missing.
  std::optional<Value> project_key(std::string_view key) const;
  // The table [tool.NAME] (any value stored there); absent where [tool] or NAME is missing.
  std::optional<Value> tool(std::string_view name) const;
  // The table [dependency-groups]; absent when the document has none.
  std::optional<Value> dependency_groups() const;

private:
  explicit ProjectConfig(Table data) : data_(std::move(data)) {}
  std::optional<Value> tool_exclude(std::string_view tool) const;

  Table data_;
};

// The names of the project's optional-dependency groups in the project's order; none when
// it defines no groups.
std::vector<std::string> extra_names(const ProjectConfig &config);

} // namespace tarvo::project
