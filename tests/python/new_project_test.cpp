// A project fresh from tarvo init passes its own checks from the first commit: test, config-diff,
// the five lint checks (the real linters, offline), and the GitHub workflow schema.
#include "real_python.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

class NewProject : public RealPython {};

TEST_F(NewProject, GreenFromTheFirstCommit) {
  // Unattended: every value given, no terminal.
  auto init =
      run_tarvo({"init", "--name", "demo", "--description", "A demo project.", "--author-name",
                 "Ada Lovelace", "--author-email", "ada@example.org", "--license", "MIT"},
                options);
  ASSERT_EQ(init.status, 0) << init.out << init.err;

  // No tests yet: nothing to run, which is no success (pytest's 5), and nothing set up for it.
  auto test = run_tarvo({"test"}, options);
  EXPECT_EQ(test.status, 5) << test.err;
  EXPECT_EQ(test.out,
            "No tests folder, so no tests ran: put them in tests/ (or test/), name their folder in "
            "pytest's testpaths, or run tarvo test PATH\n");
  EXPECT_FALSE(fs::exists(tmp.path / ".venv"));

  auto diff = run_tarvo({"config-diff", "--workflow"}, options);
  EXPECT_EQ(diff.status, 0) << diff.err;
  EXPECT_EQ(diff.err, "");

  auto lint = run_tarvo({"lint", "--workflow"}, options);
  EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
  EXPECT_TRUE(lint.out.ends_with("Running linters...\nruff: PASS\nbasedpyright: PASS\n"
                                 "dodgy: PASS\npyroma: PASS\ntarvo: PASS\n"))
      << lint.out;

  auto venv = tmp.path / ".venv" / "bin";
  auto install = run({(venv / "pip").string(), "install", "--quiet", "check-jsonschema"}, options);
  ASSERT_EQ(install.status, 0) << install.err;
  auto schema = run({(venv / "check-jsonschema").string(), "--builtin-schema",
                     "vendor.github-workflows", ".github/workflows/build.yml"},
                    options);
  EXPECT_EQ(schema.status, 0) << schema.out << schema.err;
}
