// The shell function that names known causes of a failed container step, run by the shells the
// images have (dash as /bin/sh in the Python image, bash in the manylinux one).
#include "tarvo/artifacts/step_hints.hpp"

#include "harness.hpp"

#include <gtest/gtest.h>

namespace {

using namespace tarvo::testing;
using tarvo::artifacts::step_hints;

const std::string PIP_FOUND_NONE =
    "echo Collecting >&1; "
    "echo 'ERROR: Could not find a version that satisfies the requirement flit_core<4,>=3.2 "
    "(from versions: none)' >&2; "
    "echo 'ERROR: No matching distribution found for flit_core<4,>=3.2' >&2; exit 3";

const std::string NO_INDEX_HINT =
    "Hint: no wheel of flit_core<4,>=3.2 is at hand (no package index here?): download it on "
    "the host into the project, e.g. into .wheels/ (a folder a flat layout does not take for a "
    "package), and add --setup 'export "
    "PIP_FIND_LINKS=\"$PIP_FIND_LINKS /src/.wheels\"'\n";

class StepHints : public ::testing::TestWithParam<const char *> {
protected:
  // Runs `step` under tarvo_step in a script that stops at its first failure.
  Output step(const std::string &step) {
    auto script = step_hints("Hint: pytest is missing") + "\ntarvo_step sh -c " + quoted(step) +
                  "\necho after\n";
    return run({GetParam(), "-ec", script}, {.cwd = tmp.path});
  }
  static std::string quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text) {
      out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
  }
  TempDir tmp;
};

TEST_P(StepHints, SuccessPassesBothStreamsAndGoesOn) {
  auto r = step("echo out; echo err >&2");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "out\nafter\n");
  EXPECT_EQ(r.err, "err\n");
}

TEST_P(StepHints, NoDistributionAtAllNamesTheRequirementAndTheWayIn) {
  auto r = step(PIP_FOUND_NONE);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "Collecting\n");
  EXPECT_TRUE(r.err.ends_with("flit_core<4,>=3.2\n" + NO_INDEX_HINT)) << r.err;
}

// python -m build shows pip's lines marked with "< " and wrapped.
TEST_P(StepHints, NoDistributionAtAllThroughTheBuildFrontEnd) {
  auto r = step("printf '%s\\n' '< Looking in links: /wheels' "
                "'< ERROR: Could not find a version that satisfies the requirement' "
                "'  flit_core<5,>=3.11 (from versions: none)' "
                "'< ERROR: No matching distribution found for' '  flit_core<5,>=3.11' "
                "\"ERROR Command '[pip]' returned non-zero exit status 1.\" >&2; exit 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.ends_with("exit status 1.\nHint: no wheel of flit_core<5,>=3.11 is at hand (no "
                              "package index here?): download it on the host into the project, "
                              "e.g. into .wheels/ (a folder a flat layout does not take for a "
                              "package), and add --setup 'export "
                              "PIP_FIND_LINKS=\"$PIP_FIND_LINKS /src/.wheels\"'\n"))
      << r.err;
}

TEST_P(StepHints, OnlyKnownCausesGetAHint) {
  auto other_versions = step("echo 'ERROR: Could not find a version that satisfies the requirement "
                             "x>2 (from versions: 1.0)' >&2; "
                             "echo 'ERROR: No matching distribution found for x>2' >&2; exit 1");
  EXPECT_EQ(other_versions.status, 1);
  EXPECT_EQ(other_versions.err.find("Hint"), std::string::npos) << other_versions.err;
  auto plain = step("echo 'E   assert 1 == 2' >&2; exit 2");
  EXPECT_EQ(plain.status, 2);
  EXPECT_EQ(plain.err, "E   assert 1 == 2\n");
  EXPECT_EQ(plain.out, "");
}

TEST_P(StepHints, MissingPytest) {
  auto r = step("echo '/usr/local/bin/python: No module named pytest' >&2; exit 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "/usr/local/bin/python: No module named pytest\nHint: pytest is missing\n");
}

INSTANTIATE_TEST_SUITE_P(Shells, StepHints, ::testing::Values("sh", "bash"));

} // namespace
