#include "tarvo/project/test_requirements.hpp"
#include "tarvo/text.hpp"

#include "tarvo/files/files.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/packaging/requirement.hpp"
#include "tarvo/project/poetry.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <fmt/format.h>

namespace tarvo::project {

namespace {

constexpr std::array<std::string_view, 3> TEST_NAMES = {"test", "tests", "testing"};
// Groups hold development tools, and a project without a test group often lists pytest in
// its `dev` group: it is the last one looked for.
constexpr std::array<std::string_view, 4> GROUP_NAMES = {"test", "tests", "testing", "dev"};

// The entry of `table` whose name is `wanted` as pip compares names.
const std::pair<std::string, Value> *entry_named(const Value *table, std::string_view wanted) {
  const Table *entries = table ? table->as_table() : nullptr;
  if (!entries) {
    return nullptr;
  }
  auto found = std::find_if(entries->begin(), entries->end(), [&](const auto &entry) {
    return packaging::canonicalize_name(entry.first) == wanted;
  });
  return found == entries->end() ? nullptr : &*found;
}

const Value *optional_ptr(const std::optional<Value> &value) { return value ? &*value : nullptr; }

bool dynamic_extras(const ProjectConfig &config) {
  auto dynamic = config.project_key("dynamic");
  const Array *fields = dynamic ? dynamic->as_array() : nullptr;
  return fields && std::any_of(fields->begin(), fields->end(), [](const Value &field) {
           return field.as_string() && *field.as_string() == "optional-dependencies";
         });
}

// The translated group: its requirements, and its entries that could not be translated.
void add_poetry_group(const Value &dependencies, TestRequirements &found) {
  const Table *entries = dependencies.as_table();
  if (!entries) {
    return;
  }
  for (const auto &[name, value] : *entries) {
    // The interpreter's own constraint, not a package.
    if (packaging::canonicalize_name(name) == "python") {
      continue;
    }
    std::string why;
    if (auto requirement = poetry_requirement(name, value, why)) {
      found.requirements.push_back(*requirement);
    } else {
      found.untranslated.push_back(name + " (" + why + ")");
    }
  }
}

// pdm's entries are PEP 508 strings, or editable paths ("-e file:///${PROJECT_ROOT}/sub").
void add_pdm_group(const Value &entries, TestRequirements &found) {
  const Array *list = entries.as_array();
  if (!list) {
    return;
  }
  for (const auto &entry : *list) {
    const std::string text =
        entry.as_string() ? std::string(trimmed(*entry.as_string())) : str(entry);
    try {
      if (!entry.as_string() || text.starts_with("-")) {
        throw Error(ErrorKind::InvalidRequirement, "");
      }
      packaging::parse_requirement(text);
      found.requirements.push_back(text);
    } catch (const Error &) {
      found.untranslated.push_back(text + " (not a PEP 508 requirement)");
    }
  }
}

} // namespace

namespace {

// The places, in the order they are looked in, each finding a name (canonical) of its own kind.
std::optional<TestRequirements> extra_named(const ProjectConfig &config, std::string_view name) {
  const auto extras = config.extras();
  if (const auto *entry = entry_named(optional_ptr(extras), name)) {
    return TestRequirements{TestSource::Extra, entry->first};
  }
  return std::nullopt;
}

std::optional<TestRequirements> group_named(const ProjectConfig &config, std::string_view name) {
  const auto groups = config.dependency_groups();
  if (const auto *entry = entry_named(optional_ptr(groups), name)) {
    return TestRequirements{TestSource::Group, entry->first};
  }
  return std::nullopt;
}

std::optional<TestRequirements> pdm_group_named(const ProjectConfig &config,
                                                std::string_view name) {
  const auto pdm = config.tool("pdm");
  if (const auto *entry = entry_named(pdm ? pdm->find("dev-dependencies") : nullptr, name)) {
    TestRequirements found{TestSource::PdmGroup, entry->first};
    add_pdm_group(entry->second, found);
    return found;
  }
  return std::nullopt;
}

std::optional<TestRequirements> poetry_group_named(const ProjectConfig &config,
                                                   std::string_view name) {
  const auto poetry = config.tool("poetry");
  const auto *entry = entry_named(poetry ? poetry->find("group") : nullptr, name);
  const Value *dependencies = entry ? entry->second.find("dependencies") : nullptr;
  // Before groups, poetry kept them in [tool.poetry.dev-dependencies].
  if (!dependencies && name == "dev" && poetry) {
    dependencies = poetry->find("dev-dependencies");
  }
  if (!dependencies) {
    return std::nullopt;
  }
  TestRequirements found{TestSource::PoetryGroup, entry ? entry->first : "dev"};
  add_poetry_group(*dependencies, found);
  return found;
}

using Place = std::optional<TestRequirements> (*)(const ProjectConfig &, std::string_view);
constexpr Place GROUP_PLACES[] = {group_named, pdm_group_named, poetry_group_named};

// The names of a table's entries, sorted.
std::vector<std::string> names_of(const Value *table) {
  std::vector<std::string> names;
  if (const Table *entries = table ? table->as_table() : nullptr) {
    for (const auto &entry : *entries) {
      names.push_back(entry.first);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

} // namespace

TestRequirements test_requirements(const ProjectConfig &config) {
  for (auto name : TEST_NAMES) {
    if (auto found = extra_named(config, name)) {
      return *found;
    }
  }
  for (auto place : GROUP_PLACES) {
    for (auto name : GROUP_NAMES) {
      if (auto found = place(config, name)) {
        return *found;
      }
    }
  }
  if (!config.name() || dynamic_extras(config)) {
    return {TestSource::Unseen};
  }
  return {TestSource::None};
}

std::optional<TestRequirements> requirements_named(const ProjectConfig &config,
                                                   std::string_view name) {
  const auto canonical = packaging::canonicalize_name(name);
  if (auto found = extra_named(config, canonical)) {
    return found;
  }
  for (auto place : GROUP_PLACES) {
    if (auto found = place(config, canonical)) {
      return found;
    }
  }
  return std::nullopt;
}

std::string known_names(const ProjectConfig &config) {
  auto joined = [](const std::vector<std::string> &names) {
    std::string text;
    for (const auto &name : names) {
      text += (text.empty() ? "" : ", ") + name;
    }
    return text.empty() ? std::string("none") : text;
  };
  std::string text = "extras: " + joined(names_of(optional_ptr(config.extras())));
  const auto pdm = config.tool("pdm");
  const auto poetry = config.tool("poetry");
  auto poetry_groups = names_of(poetry ? poetry->find("group") : nullptr);
  if (poetry && poetry->find("dev-dependencies")) {
    poetry_groups.push_back("dev");
  }
  const std::pair<const char *, std::vector<std::string>> kinds[] = {
      {"dependency groups", names_of(optional_ptr(config.dependency_groups()))},
      {"pdm dev-dependencies", names_of(pdm ? pdm->find("dev-dependencies") : nullptr)},
      {"poetry groups", poetry_groups}};
  for (const auto &[kind, names] : kinds) {
    if (!names.empty()) {
      text += fmt::format("; {}: {}", kind, joined(names));
    }
  }
  return text;
}

TestRequirements test_requirements_in(const std::filesystem::path &folder) {
  const auto pyproject = folder / "pyproject.toml";
  if (!files::exists(pyproject)) {
    return {TestSource::Unseen};
  }
  try {
    return test_requirements(ProjectConfig(pyproject));
  } catch (const Error &) {
    // What cannot be read is left to the build backend, which reports it better.
    return {TestSource::Unseen};
  }
}

std::string describe(const TestRequirements &requirements) {
  switch (requirements.source) {
  case TestSource::Extra:
    return fmt::format("extra '{}'", requirements.name);
  case TestSource::Group:
    return fmt::format("dependency group '{}'", requirements.name);
  case TestSource::PdmGroup:
    return fmt::format("pdm dev-dependencies '{}'", requirements.name);
  case TestSource::PoetryGroup:
    return fmt::format("poetry group '{}'", requirements.name);
  case TestSource::Unseen:
    return "extra 'test' (pyproject.toml does not list the extras)";
  case TestSource::None:
    break;
  }
  return "none found (no extra, and no group, named test, tests or testing)";
}

std::vector<std::string> test_requirements_lines(const TestRequirements &requirements) {
  std::vector<std::string> lines = {"Test requirements: " + describe(requirements)};
  if (!requirements.untranslated.empty()) {
    std::string names;
    for (const auto &entry : requirements.untranslated) {
      names += (names.empty() ? "" : ", ") + entry;
    }
    lines.push_back("Not installed from " + describe(requirements) + ": " + names);
  }
  return lines;
}

std::string missing_pytest_hint(const TestRequirements &requirements) {
  switch (requirements.source) {
  case TestSource::Extra:
    return fmt::format("Hint: pytest is not installed: add it to the '{}' extra in "
                       "[project.optional-dependencies]",
                       requirements.name);
  case TestSource::Group:
    return fmt::format("Hint: pytest is not installed: add it to the '{}' group in "
                       "[dependency-groups]",
                       requirements.name);
  case TestSource::PdmGroup:
    return fmt::format("Hint: pytest is not installed: add it to '{}' in "
                       "[tool.pdm.dev-dependencies]",
                       requirements.name);
  case TestSource::PoetryGroup:
    return fmt::format("Hint: pytest is not installed: add it to "
                       "[tool.poetry.group.{}.dependencies]",
                       requirements.name);
  case TestSource::None:
    return "Hint: pytest is not installed, and the project has neither a 'test' extra "
           "([project.optional-dependencies]) nor a 'test' group ([dependency-groups]): add "
           "one that lists pytest";
  case TestSource::Unseen:
    break;
  }
  return "Hint: pytest is not installed: list it in the project's 'test' extra, or in a 'test' "
         "group in [dependency-groups]";
}

} // namespace tarvo::project
