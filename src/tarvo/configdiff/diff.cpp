#include "tarvo/configdiff/diff.hpp"

#include "tarvo/configdiff/coverage.hpp"
#include "tarvo/configdiff/unified_diff.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/project/project_config.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/templates/templates.hpp"

#include <algorithm>
#include <fmt/format.h>

namespace tarvo::configdiff {

using project::extra_names;
using project::find_pyproject;
using project::ProjectConfig;
using project::str;
using project::string_list;
using project::Table;
using project::TomlDecodeError;
using project::Value;

namespace {

constexpr const char *kRed = "\x1b[31m";
constexpr const char *kGreen = "\x1b[32m";
constexpr const char *kReset = "\x1b[00m";
const std::string kSeparator(38, '=');
constexpr const char *kWorkflow = ".github/workflows/build.yml";

class Report {
public:
  explicit Report(bool colour) : colour_(colour) {}

  // Asked again at every write: standard error may be redirected meanwhile.
  bool coloured() const { return console::colour(console::Stream::Err, colour_); }

  void error(const std::string &message) {
    bool coloured = this->coloured();
    // The message may quote the project's own values.
    console::err("{}ERROR: {}\n{}", coloured ? kRed : "", printable(message),
                 coloured ? kReset : "");
    ++failed;
  }

  void diff_list(const std::string &name, const std::optional<std::vector<std::string>> &expected,
                 const std::optional<std::vector<std::string>> &actual) {
    const auto &have = actual ? *actual : std::vector<std::string>{};
    for (const auto &entry : expected.value_or(std::vector<std::string>{})) {
      if (std::find(have.begin(), have.end(), entry) == have.end()) {
        error(fmt::format("{} expected {}, got {}", name, repr(expected), repr(actual)));
        return;
      }
    }
  }

  // The lines of a unified diff, written at once: they may be millions. A line is coloured
  // by its first character, headers included.
  bool diff(const Lines &actual, const Lines &expected, std::string_view from_name,
            std::string_view to_name) {
    const bool coloured = this->coloured();
    std::string text;
    bool differ =
        unified_diff(actual, expected, from_name, to_name, [&](char mark, std::string_view line) {
          char first = mark != '\0' ? mark : line.empty() ? ' ' : line.front();
          if (coloured) {
            text += first == '-' ? kRed : first == '+' ? kGreen : "";
          }
          if (mark != '\0') {
            text += mark;
          }
          text += line;
          text += '\n';
          if (coloured) {
            text += kReset;
          }
        });
    console::write(console::Stream::Err, text);
    return differ;
  }

  int failed = 0;

private:
  bool colour_;
};

// The value's text, or `fallback` when it is absent or empty.
std::string or_default(const std::optional<Value> &value, const char *fallback) {
  return value && value->truthy() ? str(*value) : fallback;
}

std::optional<std::vector<std::string>> strings(const std::optional<Value> &value,
                                                std::string_view what) {
  if (!value) {
    return std::nullopt;
  }
  return string_list(*value, what);
}

void compare_requirements(Report &report, const ProjectConfig &project, const ProjectConfig &templ,
                          const std::string &requires_python) {
  auto extras = project.extras();
  const Value *test = extras ? extras->find("test") : nullptr;
  if (test == nullptr) {
    report.error("'test' optional dependency group is missing.");
  } else if (!requirements_not_satisfied_by(
                  {"pytest"}, string_list(*test, "[project.optional-dependencies] test"),
                  requires_python)
                  .empty()) {
    report.error("pytest is not installed in the 'test' extras group.");
  }
  auto missing = requirements_not_satisfied_by(
      string_list(templ.build_system_requires(), "template [build-system] requires"),
      string_list(project.build_system_requires(), "[build-system] requires"), requires_python);
  if (!missing.empty()) {
    std::string joined;
    for (const auto &m : missing) {
      joined += (joined.empty() ? "" : ", ") + m;
    }
    report.error("build-system.requires: missing coverage for " + joined);
  }
}

} // namespace

int diff(bool workflow, bool colour) {
  const std::string_view pyproject_template = templates::text("pyproject.toml.tpl");
  Report report(colour);

  std::optional<ProjectConfig> found;
  try {
    found.emplace();
  } catch (const TomlDecodeError &) {
    report.error("pyproject.toml is invalid");
    return report.failed;
  }
  const ProjectConfig &project = *found;

  auto name = project.name();
  if (!name) {
    report.error("'pyproject.toml' does not specify a 'name' value.");
  }
  auto license = project.license();
  if (!license) {
    report.error("'pyproject.toml' does not specify a 'license' value.");
  }
  auto requires_python = project.requires_python();
  if (!requires_python) {
    report.error("'pyproject.toml' does not specify a 'requires_python' value.");
  }
  auto authors = project.authors();
  std::optional<Value> author_name = Value{std::string("x")};
  std::optional<Value> author_email = author_name;
  if (!authors || authors->empty()) {
    report.error("'pyproject.toml' does not specify a 'authors' value.");
  } else {
    author_name = authors->front().name;
    author_email = authors->front().email;
  }

  // Values are escaped for the template's quoting, so any valid project renders to valid TOML.
  const std::string rendered =
      templates::render(pyproject_template,
                        {{"name", or_default(name, "x")},
                         {"description", or_default(project.description(), "x")},
                         {"author_name", or_default(author_name, "x")},
                         {"author_email", or_default(author_email, "x")},
                         {"license_spdx", str(license)},
                         {"python_version", or_default(requires_python, "3")}},
                        templates::Quoting::TomlBasic);
  std::optional<ProjectConfig> templ;
  try {
    templ = ProjectConfig::from_bytes(rendered);
  } catch (const TomlDecodeError &) {
    report.error("Generated invalid pyproject.toml");
    console::err("{}\n{}\n{}\n", kSeparator, rendered, kSeparator);
    return report.failed;
  }

  if (requires_python) {
    compare_requirements(report, project, *templ, str(*requires_python));
  }
  auto template_backend = templ->build_backend();
  auto project_backend = project.build_backend();
  if (template_backend.has_value() != project_backend.has_value() ||
      (template_backend && repr(*template_backend) != repr(*project_backend))) {
    report.error(fmt::format("build-system.build-backend: expected {}, got {}",
                             str(template_backend), str(project_backend)));
  }
  report.diff_list("tool.pyright.exclude",
                   strings(templ->pyright_exclude(), "template [tool.pyright] exclude"),
                   strings(project.pyright_exclude(), "[tool.pyright] exclude"));
  report.diff_list("tool.ruff.exclude",
                   strings(templ->ruff_exclude(), "template [tool.ruff] exclude"),
                   strings(project.ruff_exclude(), "[tool.ruff] exclude"));

  if (!workflow) {
    return report.failed;
  }
  if (!files::exists(kWorkflow)) {
    report.error(std::string(kWorkflow) + " is missing");
    return report.failed;
  }
  const std::string expected =
      templates::render(templates::text("build.yml.tpl"), {{"project_name", or_default(name, "x")}},
                        templates::Quoting::YamlDouble);
  const std::string actual = files::read_file(kWorkflow);
  if (report.diff(split_lines(actual), split_lines(expected), kWorkflow,
                  std::string(kWorkflow) + ".tpl")) {
    ++report.failed;
  }
  return report.failed;
}

} // namespace tarvo::configdiff
