// config-diff on projects that match the template and on each kind of difference (a project
// that init made is checked with init).
#include "harness.hpp"
#include "tarvo/templates/templates.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace templates = tarvo::templates;
namespace fs = std::filesystem;

namespace {

std::string pyproject(const std::string &description = "A demo") {
  return templates::render(templates::text("pyproject.toml.tpl"),
                           {{"name", "demo"},
                            {"description", description},
                            {"author_name", "Ann"},
                            {"author_email", "ann@example.org"},
                            {"license_spdx", "MIT"},
                            {"python_version", ">=3.11"}},
                           templates::Quoting::TomlBasic);
}

std::string workflow() {
  return templates::render(templates::text("build.yml.tpl"), {{"project_name", "demo"}},
                           templates::Quoting::YamlDouble);
}

std::string replaced(std::string text, const std::string &from, const std::string &to) {
  auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class ConfigDiff : public testing::Test {
protected:
  Output config_diff(const std::string &project, std::vector<std::string> args = {}) {
    write_file(tmp.path / "pyproject.toml", project);
    args.insert(args.begin(), "config-diff");
    return run_tarvo(args, {.cwd = tmp.path});
  }
  TempDir tmp;
};

} // namespace

TEST_F(ConfigDiff, InvalidTomlIsOneLine) {
  auto r = config_diff("[project\nname = ");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: pyproject.toml is invalid\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(ConfigDiff, MissingMetadataIsCountedInOrder) {
  auto r = config_diff("[project]\nversion = '1'\n");
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.err, "ERROR: 'pyproject.toml' does not specify a 'name' value.\n"
                   "ERROR: 'pyproject.toml' does not specify a 'license' value.\n"
                   "ERROR: 'pyproject.toml' does not specify a 'requires_python' value.\n"
                   "ERROR: 'pyproject.toml' does not specify a 'authors' value.\n"
                   "ERROR: build-system.build-backend: expected setuptools.build_meta, got None\n"
                   "ERROR: tool.pyright.exclude expected ['.venv', 'build', 'dist', "
                   "'wheelhouse'], got None\n"
                   "ERROR: tool.ruff.exclude expected ['.venv', 'build', 'dist', 'wheelhouse'], "
                   "got None\n");
}

TEST_F(ConfigDiff, RequirementAndExcludeDifferences) {
  auto no_pytest = replaced(pyproject(), "test = [\"pytest>=8\"]", "test = [\"coverage\"]");
  EXPECT_EQ(config_diff(no_pytest).err,
            "ERROR: pytest is not installed in the 'test' extras group.\n");
  auto no_test = replaced(pyproject(), "test = [\"pytest>=8\"]", "tests = [\"pytest\"]");
  EXPECT_EQ(config_diff(no_test).err, "ERROR: 'test' optional dependency group is missing.\n");
  auto old_tools = replaced(pyproject(), "\"setuptools>=77\", ", "\"setuptools>=61\", ");
  EXPECT_EQ(config_diff(old_tools).err,
            "ERROR: build-system.requires: missing coverage for setuptools>=77\n");
  auto short_exclude = replaced(pyproject(),
                                "[tool.pyright]\nexclude = [\".venv\", \"build\", "
                                "\"dist\", \"wheelhouse\"]",
                                "[tool.pyright]\nexclude = [\".venv\", \"x\"]");
  auto r = config_diff(short_exclude);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: tool.pyright.exclude expected ['.venv', 'build', 'dist', "
                   "'wheelhouse'], got ['.venv', 'x']\n");
  auto longer = replaced(pyproject(), "\"wheelhouse\"]\n\n[tool.ruff]",
                         "\"wheelhouse\", \"x\"]\n\n[tool.ruff]");
  EXPECT_EQ(config_diff(longer).status, 0);
  // Without requires-python the requirement checks are skipped.
  auto no_python = replaced(pyproject(), "requires-python = \">=3.11\"\n", "");
  no_python = replaced(no_python, "test = [\"pytest>=8\"]", "");
  EXPECT_EQ(config_diff(no_python).err,
            "ERROR: 'pyproject.toml' does not specify a 'requires_python' value.\n");
}

TEST_F(ConfigDiff, BadRequirementIsAnErrorLine) {
  auto bad = replaced(pyproject(), "test = [\"pytest>=8\"]", "test = [\"pytest >= = 8\"]");
  auto r = config_diff(bad);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("InvalidRequirement: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(ConfigDiff, QuotesInValuesNeverBreakTheRenderedTemplate) {
  auto r = config_diff(pyproject("Say \"hi\" \\ \t"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(ConfigDiff, WorkflowComparison) {
  auto missing = config_diff(pyproject(), {"--workflow"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "ERROR: .github/workflows/build.yml is missing\n");

  fs::create_directories(tmp.path / ".github" / "workflows" / "build.yml");
  auto folder = config_diff(pyproject(), {"--workflow"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err,
            "IsADirectoryError: [Errno 21] Is a directory: '.github/workflows/build.yml'\n");
  fs::remove(tmp.path / ".github" / "workflows" / "build.yml");

  // Line ends and a missing final line end make no difference.
  std::string crlf;
  for (char c : workflow()) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  crlf.resize(crlf.size() - 2);
  write_file(tmp.path / ".github" / "workflows" / "build.yml", crlf);
  auto same = config_diff(pyproject(), {"--workflow"});
  EXPECT_EQ(same.status, 0);
  EXPECT_EQ(same.err, "");

  write_file(tmp.path / ".github" / "workflows" / "build.yml",
             replaced(workflow(), "run: tarvo test\n", "run: make test\n"));
  auto changed = config_diff(pyproject(), {"--workflow"});
  EXPECT_EQ(changed.status, 1);
  EXPECT_EQ(changed.err, "--- .github/workflows/build.yml\n\n"
                         "+++ .github/workflows/build.yml.tpl\n\n"
                         "@@ -20,7 +20,7 @@\n\n"
                         "       - name: \"Test\"\n"
                         "         # A project fresh from tarvo init has no tests yet.\n"
                         "         if: hashFiles('tests/**') != ''\n"
                         "-        run: make test\n"
                         "+        run: tarvo test\n"
                         " \n"
                         "   build:\n"
                         "     name: \"demo: build\"\n");

  auto coloured = config_diff(pyproject(), {"--workflow", "--color"});
  EXPECT_EQ(coloured.err.rfind("\x1b[31m--- .github/workflows/build.yml\n\n\x1b[00m"
                               "\x1b[32m+++ .github/workflows/build.yml.tpl\n\n\x1b[00m"
                               "@@ -20,7 +20,7 @@\n\n\x1b[00m",
                               0),
            0u)
      << coloured.err;
  EXPECT_NE(coloured.err.find("\x1b[31m-        run: make test\n\x1b[00m"), std::string::npos);
}

// On a terminal, colour follows the NO_COLOR convention; --colour forces it regardless.
TEST_F(ConfigDiff, TerminalColourHonoursNoColor) {
  write_file(tmp.path / "pyproject.toml", replaced(pyproject(), "license = \"MIT\"\n", ""));
  struct Case {
    std::optional<std::string> no_color;
    std::vector<std::string> flags;
    bool coloured;
  };
  for (const auto &c : std::vector<Case>{
           {std::nullopt, {}, true}, {"", {}, true}, {"1", {}, false}, {"1", {"--colour"}, true}}) {
    SCOPED_TRACE(c.no_color.value_or("unset"));
    std::vector<std::string> argv = {tarvo_binary().string(), "config-diff"};
    argv.insert(argv.end(), c.flags.begin(), c.flags.end());
    RunOptions options{.cwd = tmp.path};
    options.env["NO_COLOR"] = c.no_color;
    auto r = run_in_pty(argv, options, true);
    EXPECT_EQ(r.status, 1);
    const std::string line = "ERROR: 'pyproject.toml' does not specify a 'license' value.\r\n";
    EXPECT_EQ(r.screen, c.coloured ? "\x1b[31m" + line + "\x1b[00m" : line);
  }
}

// A value read from the project never drives the terminal: control characters are shown
// escaped, in config-diff's lines, in status and in the error line at the top.
TEST_F(ConfigDiff, ProjectTextIsShownEscaped) {
  auto backend = replaced(pyproject(), "build-backend = \"setuptools.build_meta\"",
                          "build-backend = \"\\u001b[2J\\nERROR: forged\\u0085\"");
  auto r = config_diff(backend);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: build-system.build-backend: expected setuptools.build_meta, got "
                   "\\x1b[2J\\nERROR: forged\\x85\n");

  write_file(tmp.path / "pyproject.toml", "[project]\nname = \"x\\u001b]0;title\\u0007\"\n"
                                          "version = 3\n");
  auto status = run_tarvo({"status"}, {.cwd = tmp.path, .env = {{"PATH", path_with(stubs_dir())}}});
  EXPECT_EQ(status.status, 1);
  EXPECT_EQ(status.err, "TypeError: 3\n");
  write_file(tmp.path / "pyproject.toml", "[project]\nname = \"x\\u001b]0;title\\u0007\"\n"
                                          "version = \"1\\r\"\n");
  status = run_tarvo({"status"}, {.cwd = tmp.path, .env = {{"PATH", path_with(stubs_dir())}}});
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_NE(status.out.find("Project: x\\x1b]0;title\\x07-1\\r\n"), std::string::npos)
      << status.out;

  write_file(tmp.path / "pyproject.toml", "[project]\nname = \"x\"\nversion = [\"\\u001b[31m\"]\n");
  status = run_tarvo({"status"}, {.cwd = tmp.path, .env = {{"PATH", path_with(stubs_dir())}}});
  EXPECT_EQ(status.err, "TypeError: ['\\x1b[31m']\n");
}
