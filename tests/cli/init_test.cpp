// init through a pseudo-terminal and without one.
#include "harness.hpp"
#include "tarvo/project/project_config.hpp"
#include "tarvo/repr.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

const std::string kUsage =
    "usage: tarvo [-h] [--version] [--directory DIRECTORY] [--no-sync] COMMAND ...\n";

std::string name_refused(const std::string &name) {
  return "Project name must be one pip accepts (ASCII letters, digits, '.', '-' and '_', "
         "beginning and ending with a letter or digit), got " +
         tarvo::repr(name);
}

std::string module_refused(const std::string &name, const std::string &module) {
  return "Project name " + tarvo::repr(name) + " gives the module name " + tarvo::repr(module) +
         ", which Python cannot import (it begins with a digit or is a keyword)";
}

std::vector<std::string> tarvo_args(std::vector<std::string> args) {
  args.insert(args.begin(), tarvo_binary().string());
  return args;
}

// tarvo init with the project "demo" and every value but the licence given, which is then asked
// for on a terminal.
std::vector<std::string> init_demo() {
  return tarvo_args({"init", "--name", "demo", "--description", "d", "--author-name", "a",
                     "--author-email", "e"});
}

} // namespace

// Without a terminal nothing can be asked: the values missing are named, all of them, and
// nothing is written; with all five options init needs no terminal.
TEST(Init, WithoutTerminalNamesWhatIsMissingOrNeedsNothing) {
  TempDir tmp;
  auto r = run(init_demo(), {.cwd = tmp.path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kUsage);
  EXPECT_EQ(r.err, "Error: init asks for missing values only on a terminal: give --license (each "
                   "not empty)\n");
  EXPECT_TRUE(fs::is_empty(tmp.path));

  auto most = run_tarvo({"init", "--name", "demo", "--author-name="}, {.cwd = tmp.path});
  EXPECT_EQ(most.status, 1);
  EXPECT_EQ(most.err, "Error: init asks for missing values only on a terminal: give "
                      "--description, --author-name, --author-email and --license (each not "
                      "empty)\n");
  EXPECT_TRUE(fs::is_empty(tmp.path));

  // Standard input closed, as under some schedulers.
  std::vector<std::string> all = {"sh", "-c", "exec \"$0\" \"$@\" <&-"};
  auto demo = init_demo();
  all.insert(all.end(), demo.begin(), demo.end());
  all.insert(all.end(), {"--license", "MIT"});
  auto made = run(all, {.cwd = tmp.path});
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, "");
  auto config = tarvo::project::ProjectConfig(tmp.path / "pyproject.toml");
  EXPECT_EQ(tarvo::project::str(config.license()), "MIT");
  EXPECT_TRUE(fs::exists(tmp.path / "demo" / "__init__.py"));
  EXPECT_TRUE(fs::exists(tmp.path / ".github" / "workflows" / "build.yml"));

  // Most names on PyPI have a hyphen: the project keeps it, its package is the module name.
  TempDir hyphen;
  auto named = run_tarvo({"init", "--name", "Demo.Pkg", "--description", "d", "--author-name", "a",
                          "--author-email", "e", "--license", "MIT"},
                         {.cwd = hyphen.path});
  EXPECT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(
      tarvo::project::str(tarvo::project::ProjectConfig(hyphen.path / "pyproject.toml").name()),
      "Demo.Pkg");
  EXPECT_EQ(names_in(hyphen.path),
            (std::vector<std::string>{".github", "demo_pkg", "pyproject.toml"}));
}

// --license takes the place of the last question on a terminal too.
TEST(Init, LicenseOptionIsNotAskedFor) {
  TempDir tmp;
  auto r = run_in_pty(tarvo_args({"init", "--license", "Apache-2.0"}),
                      {.cwd = tmp.path, .input = "demo\nA demo\nAnn\nann@example.org\n"});
  ASSERT_EQ(r.status, 0) << r.screen << r.err;
  EXPECT_EQ(r.screen.find("License spdx identifier"), std::string::npos) << r.screen;
  EXPECT_EQ(
      tarvo::project::str(tarvo::project::ProjectConfig(tmp.path / "pyproject.toml").license()),
      "Apache-2.0");
}

TEST(Init, PromptsInOrderAndCreatesTheProject) {
  TempDir tmp;
  auto r = run_in_pty(tarvo_args({"init"}),
                      {.cwd = tmp.path, .input = "demo\nA demo\nAnn\nann@example.org\nMIT\n"});
  ASSERT_EQ(r.status, 0) << r.screen << r.err;
  std::size_t at = 0;
  for (const char *prompt : {"Project name: ", "Description: ", "Author name: ", "Author email: ",
                             "License spdx identifier: "}) {
    auto found = r.screen.find(prompt, at);
    ASSERT_NE(found, std::string::npos) << prompt << " in " << r.screen;
    at = found;
  }
  auto config = tarvo::project::ProjectConfig(tmp.path / "pyproject.toml");
  EXPECT_EQ(tarvo::project::str(config.name()), "demo");
  EXPECT_EQ(tarvo::project::str(config.description()), "A demo");
  EXPECT_EQ(tarvo::project::str(config.license()), "MIT");
  EXPECT_EQ(tarvo::project::str(config.requires_python()), ">=3.11");
  EXPECT_EQ(tarvo::project::str(config.authors()->front().email), "ann@example.org");
  EXPECT_EQ(read_file(tmp.path / "demo" / "__init__.py"), "");
  auto workflow = read_file(tmp.path / ".github" / "workflows" / "build.yml");
  EXPECT_NE(workflow.find("name: \"demo-dist\""), std::string::npos);
  EXPECT_NE(workflow.find("tarvo lint"), std::string::npos);
  // No temporary file is left beside the written ones.
  for (const auto &entry : fs::directory_iterator(tmp.path)) {
    EXPECT_EQ(entry.path().filename().string().find(".tarvo-"), std::string::npos);
  }

  // A second run with the same answers changes nothing.
  auto before = read_file(tmp.path / "pyproject.toml");
  auto again = run_in_pty(tarvo_args({"init", "--name", "demo", "--description", "A demo",
                                      "--author-name", "Ann", "--author-email", "x"}),
                          {.cwd = tmp.path, .input = "MIT\n"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.screen.find("Project name: "), std::string::npos);
  EXPECT_NE(again.screen.find("License spdx identifier: "), std::string::npos);
  EXPECT_EQ(read_file(tmp.path / "pyproject.toml"), before);
}

// A refused answer is said and asked for again, and the answers before it stand; empty
// description and author answers are values.
TEST(Init, RefusedAnswersAreAskedAgain) {
  TempDir tmp;
  auto r = run_in_pty(tarvo_args({"init"}),
                      {.cwd = tmp.path, .input = "\n1st\n_x\ndemo\n\n\n\n\nMIT\n"});
  ASSERT_EQ(r.status, 0) << r.screen << r.err;
  std::size_t at = 0;
  for (const std::string &expected : std::vector<std::string>{
           "Project name: ", name_refused(""), "Project name: ", module_refused("1st", "1st"),
           "Project name: ", name_refused("_x"), "Project name: ", "Description: ", "Author name: ",
           "Author email: ", "License spdx identifier: ",
           "License spdx identifier must not be empty (for example MIT)",
           "License spdx identifier: "}) {
    auto found = r.screen.find(expected, at);
    ASSERT_NE(found, std::string::npos) << expected << " after " << at << " in " << r.screen;
    at = found + expected.size();
  }
  EXPECT_EQ(r.screen.find("Project name: ", at), std::string::npos);
  auto config = tarvo::project::ProjectConfig(tmp.path / "pyproject.toml");
  EXPECT_EQ(tarvo::project::str(config.name()), "demo");
  EXPECT_EQ(tarvo::project::str(config.description()), "");
  EXPECT_EQ(tarvo::project::str(config.license()), "MIT");
  EXPECT_EQ(tarvo::project::str(config.authors()->front().name), "");

  // End of input while an answer is asked for again still writes nothing.
  TempDir other;
  auto eof = run_in_pty(init_demo(), {.cwd = other.path, .input = "\n\x04"});
  EXPECT_EQ(eof.status, 1);
  EXPECT_EQ(eof.err, "EOFError: EOF when reading a line\n");
  EXPECT_TRUE(fs::is_empty(other.path));
}

TEST(Init, ExistingFilesAreKept) {
  TempDir tmp;
  write_file(tmp.path / "pyproject.toml", "[project]\nname = 'mine'\n");
  write_file(tmp.path / "demo" / "__init__.py", "VALUE = 1\n");
  write_file(tmp.path / ".github" / "workflows" / "build.yml", "custom: true\n");
  auto r = run_in_pty(tarvo_args({"init", "--name", "demo", "--description=", "--author-name",
                                  "Ann", "--author-email", "a@b"}),
                      {.cwd = tmp.path, .input = "described\nMIT\n"});
  EXPECT_EQ(r.status, 0) << r.screen << r.err;
  // An empty option value counts as not given: it is asked for.
  EXPECT_NE(r.screen.find("Description: "), std::string::npos);
  EXPECT_EQ(read_file(tmp.path / "pyproject.toml"), "[project]\nname = 'mine'\n");
  EXPECT_EQ(read_file(tmp.path / "demo" / "__init__.py"), "VALUE = 1\n");
  EXPECT_EQ(read_file(tmp.path / ".github" / "workflows" / "build.yml"), "custom: true\n");
}

// Such values read back unchanged, and config-diff finds the project clean.
TEST(Init, ValuesWithQuotesAndBackslashesMakeACleanProject) {
  TempDir tmp;
  auto r = run_in_pty(
      tarvo_args({"init", "--name", "demo", "--description", "Say \"hi\" \\o/", "--author-name",
                  "Ann \"the\" Dev", "--author-email", "a\\b@example.org"}),
      {.cwd = tmp.path, .input = "MIT\n"});
  ASSERT_EQ(r.status, 0) << r.screen << r.err;
  auto config = tarvo::project::ProjectConfig(tmp.path / "pyproject.toml");
  EXPECT_EQ(tarvo::project::str(config.description()), "Say \"hi\" \\o/");
  EXPECT_EQ(tarvo::project::str(config.authors()->front().name), "Ann \"the\" Dev");
  EXPECT_EQ(tarvo::project::str(config.authors()->front().email), "a\\b@example.org");
  auto clean = run_tarvo({"config-diff", "--workflow"}, {.cwd = tmp.path});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out + clean.err, "");
}

TEST(Init, BadInputWritesNothing) {
  TempDir tmp;
  // End of input at a prompt.
  auto eof = run_in_pty(tarvo_args({"init"}), {.cwd = tmp.path, .input = "demo\n\x04"});
  EXPECT_EQ(eof.status, 1);
  EXPECT_EQ(eof.err, "EOFError: EOF when reading a line\n");
  EXPECT_TRUE(fs::is_empty(tmp.path));

  // A --name that cannot be imported or installed (it is also the package folder and the
  // project's name) is refused before any prompt and before anything is written; one that could
  // name a folder elsewhere among them.
  // The project folder lies in a folder of the test's own, so that "../x" would land there.
  auto project = tmp.path / "project";
  fs::create_directory(project);
  for (const std::string name :
       {"a b/c", "../x", "1st", "Class", "caf\xc3\xa9", "_private", "trailing_"}) {
    auto refused = run_in_pty(tarvo_args({"init", "--name", name}), {.cwd = project});
    EXPECT_EQ(refused.status, 1) << name;
    EXPECT_EQ(refused.screen.find(": "), std::string::npos) << name << refused.screen;
    const auto why = name == "1st"     ? module_refused(name, "1st")
                     : name == "Class" ? module_refused(name, "class")
                                       : name_refused(name);
    EXPECT_EQ(refused.err, "ValueError: " + why + "\n");
    EXPECT_TRUE(fs::is_empty(project)) << name;
    EXPECT_FALSE(fs::exists(tmp.path / "x")) << name;
  }

  // Bytes that are not UTF-8 cannot stand in a TOML file.
  auto latin1 = run_in_pty(tarvo_args({"init", "--name", "demo", "--description", "caf\xe9",
                                       "--author-name", "a", "--author-email", "e"}),
                           {.cwd = project, .input = "MIT\n"});
  EXPECT_EQ(latin1.status, 1);
  EXPECT_EQ(latin1.err, "ValueError: the value of 'description' is not valid UTF-8 text\n");
  EXPECT_TRUE(fs::is_empty(project));

  // A dangling link named pyproject.toml is not replaced, and that is said.
  fs::create_symlink("elsewhere.toml", project / "pyproject.toml");
  auto dangling = run_in_pty(init_demo(), {.cwd = project, .input = "MIT\n"});
  EXPECT_EQ(dangling.status, 1);
  EXPECT_EQ(dangling.err, "FileExistsError: [Errno 17] File exists: 'pyproject.toml'\n");
  EXPECT_FALSE(fs::exists(project / "elsewhere.toml"));
  fs::remove(project / "pyproject.toml");

  // A file where the package folder or the workflow folder belongs fails before anything is
  // written.
  write_file(project / "demo", "a file");
  auto blocked = run_in_pty(init_demo(), {.cwd = project, .input = "MIT\n"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.err, "FileExistsError: [Errno 17] File exists: 'demo'\n");
  EXPECT_FALSE(fs::exists(project / "pyproject.toml"));
  fs::remove(project / "demo");
  write_file(project / ".github", "a file");
  blocked = run_in_pty(init_demo(), {.cwd = project, .input = "MIT\n"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.err, "FileExistsError: [Errno 17] File exists: '.github'\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(project), fs::directory_iterator()), 1);
}
