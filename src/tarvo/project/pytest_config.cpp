#include "tarvo/project/pytest_config.hpp"

#include "tarvo/files/files.hpp"
#include "tarvo/project/ini.hpp"
#include "tarvo/project/project_config.hpp"

#include <algorithm>

namespace tarvo::project {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> words(const std::string &text) {
  std::vector<std::string> out;
  std::string word;
  for (char c : text + " ") {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!word.empty()) {
        out.push_back(std::move(word));
      }
      word.clear();
    } else {
      word += c;
    }
  }
  return out;
}

// testpaths as pyproject.toml holds it: a list of text, or one text of words.
std::vector<std::string> toml_paths(const Value *value) {
  if (!value) {
    return {};
  }
  if (const auto *text = value->as_string()) {
    return words(*text);
  }
  std::vector<std::string> out;
  if (const auto *list = value->as_array()) {
    for (const auto &entry : *list) {
      if (entry.as_string()) {
        out.push_back(*entry.as_string());
      }
    }
  }
  return out;
}

std::optional<PytestConfig> from_pyproject(const fs::path &file) {
  try {
    auto pytest = ProjectConfig(file).tool("pytest");
    if (!pytest || !pytest->as_table()) {
      return std::nullopt;
    }
    // pytest 9 reads [tool.pytest] itself; [tool.pytest.ini_options] is the older table.
    const Value *options = pytest->find("ini_options");
    return PytestConfig{
        file, toml_paths(options ? options->find("testpaths") : pytest->find("testpaths"))};
  } catch (const Error &) {
    return std::nullopt;
  }
}

// Whether `folder` holds a file pytest collects by its default patterns.
bool holds_test_files(const fs::path &folder) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const auto name = it->path().filename().string();
    if (name.ends_with(".py") && (name.starts_with("test_") || name.ends_with("_test.py"))) {
      return true;
    }
  }
  return false;
}

} // namespace

std::optional<PytestConfig> pytest_config(const fs::path &folder) {
  for (auto name : PYTEST_CONFIG_FILES) {
    const auto file = folder / name;
    if (!files::exists(file) || fs::is_directory(file)) {
      continue;
    }
    if (name == "pyproject.toml") {
      if (auto config = from_pyproject(file)) {
        return config;
      }
      continue;
    }
    const auto text = files::read_file(file);
    const std::string_view section = name == "tox.ini"     ? "pytest"
                                     : name == "setup.cfg" ? "tool:pytest"
                                                           : "pytest";
    const bool own_file = name == "pytest.ini" || name == ".pytest.ini";
    if (own_file || ini_has_section(text, section)) {
      return PytestConfig{file, words(ini_value(text, section, "testpaths").value_or(""))};
    }
  }
  return std::nullopt;
}

std::vector<std::string> default_test_paths(const fs::path &folder) {
  if (fs::is_directory(folder / "tests")) {
    return {"tests"};
  }
  if (auto config = pytest_config(folder)) {
    std::vector<std::string> paths;
    std::copy_if(config->testpaths.begin(), config->testpaths.end(), std::back_inserter(paths),
                 [&](const std::string &path) { return files::exists(folder / path); });
    if (!paths.empty()) {
      return paths;
    }
  }
  if (fs::is_directory(folder / "test") && holds_test_files(folder / "test")) {
    return {"test"};
  }
  return {};
}

} // namespace tarvo::project
