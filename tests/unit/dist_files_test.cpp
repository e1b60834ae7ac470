#include "tarvo/artifacts/dist_files.hpp"

#include "harness.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace {

using namespace tarvo::artifacts;
using namespace tarvo::testing;
namespace fs = std::filesystem;

std::string read(const std::string &filename) {
  try {
    const auto file = read_dist_name(filename);
    std::string text = fmt::format("{} {} {}", file.wheel ? "wheel" : "sdist", file.name,
                                   tarvo::packaging::to_string(file.version));
    for (const auto &platform : file.platforms) {
      text += " " + platform;
    }
    return text;
  } catch (const tarvo::Error &e) {
    return error_line(e);
  }
}

TEST(ReadDistName, SdistsAndWheelsAsTheStandardsSpellThem) {
  const std::string wheel_form =
      "ValueError: not named as a wheel is: {name}-{version}(-{build})?-{python}-{abi}-"
      "{platform}.whl";
  for (const auto &[file, seen] : std::vector<std::pair<std::string, std::string>>{
           {"demo-1.0.tar.gz", "sdist demo 1.0"},
           {"My-Pkg-2.0.RC1.tar.gz", "sdist My-Pkg 2.0rc1"}, // an older tool's spelling
           {"demo-1.0-py3-none-any.whl", "wheel demo 1.0 any"},
           {"My_Pkg-1.0.post1-7-cp311-cp311-manylinux_2_17_x86_64.manylinux2014_x86_64.whl",
            "wheel My_Pkg 1.0.post1 manylinux_2_17_x86_64 manylinux2014_x86_64"},
           {"demo-1.0-cp311-cp311-linux_x86_64.whl", "wheel demo 1.0 linux_x86_64"},
           {"demo-1.0.zip", "ValueError: neither an sdist (.tar.gz) nor a wheel (.whl)"},
           {"demo-1.0", "ValueError: neither an sdist (.tar.gz) nor a wheel (.whl)"},
           {"demo.tar.gz", "ValueError: not named as an sdist is: {name}-{version}.tar.gz"},
           {"-1.0.tar.gz", "ValueError: not named as an sdist is: {name}-{version}.tar.gz"},
           {"demo-one.tar.gz", "ValueError: 'one' is no valid version (PEP 440)"},
           {"demo-1.0-py3-any.whl", wheel_form},
           {"demo-1.0-py3-none-.whl", wheel_form},
           {"my-pkg-1.0-py3-none-any.whl", wheel_form},
           {"demo-1.0-b1-py3-none-any.whl", wheel_form},
           {"demo-1.0\n-py3-none-any.whl", wheel_form},
       }) {
    EXPECT_EQ(read(file), seen) << file;
  }
}

struct ReleaseCase {
  std::string name;
  std::vector<std::string> dist; // the files in dist/
  std::string project;
  std::optional<std::string> version;
  std::vector<std::string> given;
  // The release as one text: version, files, what is left alone, problems and warnings; or the
  // error.
  std::string chosen;
};

void PrintTo(const ReleaseCase &c, std::ostream *out) { *out << c.name; }

class ChooseRelease : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(ChooseRelease, TakesTheVersionsFilesAndSaysWhatStopsThem) {
  const auto &c = GetParam();
  TempDir tmp;
  InDir in(tmp.path);
  fs::create_directories("dist");
  fs::create_directories("other");
  for (const auto &file : c.dist) {
    write_file(file.find('/') == std::string::npos ? "dist/" + file : file, "");
  }
  std::string seen;
  try {
    const auto release = choose_release(c.project, c.version, c.given, "dist");
    seen = fmt::format("{}{} sdists={} left={}\n", release.version,
                       release.version_from_files ? " (from the files)" : "", release.sdists,
                       release.left_alone);
    for (const auto &file : release.files) {
      seen += "file " + file.string() + "\n";
    }
    for (const auto &problem : release.problems) {
      seen += "problem " + problem + "\n";
    }
    for (const auto &warning : release.warnings) {
      seen += "warning " + warning + "\n";
    }
  } catch (const tarvo::Error &e) {
    seen = error_line(e) + "\n";
  }
  EXPECT_EQ(seen, c.chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Releases, ChooseRelease,
    ::testing::Values(
        ReleaseCase{"OlderVersionsAndOtherProjectsStay",
                    {"demo-0.9.tar.gz", "demo-1.0-py3-none-any.whl", "demo-0.9-py3-none-any.whl",
                     "demo-1.0.tar.gz", "other-1.0.tar.gz", "broken.whl", "notes.txt"},
                    "demo",
                    "1.0",
                    {},
                    "1.0 sdists=1 left=4\nfile dist/demo-1.0.tar.gz\n"
                    "file dist/demo-1.0-py3-none-any.whl\n"},
        // Names compare as PEP 503 normalises them, versions as PEP 440 does; a shorter release
        // segment is another file name, and so another version here.
        ReleaseCase{"NormalisedNamesAndVersions",
                    {"my_pkg-1.0.0rc1.tar.gz", "my_pkg-1.0rc1-py3-none-any.whl",
                     "my_pkg-1.0.0rc1-cp312-cp312-musllinux_1_2_x86_64.whl",
                     "My_Pkg-1.0.0rc1-1-cp311-cp311-manylinux_2_17_x86_64.whl"},
                    "My.Pkg",
                    "1.0.0-RC1",
                    {},
                    "1.0.0rc1 sdists=1 left=1\nfile dist/my_pkg-1.0.0rc1.tar.gz\n"
                    "file dist/My_Pkg-1.0.0rc1-1-cp311-cp311-manylinux_2_17_x86_64.whl\n"
                    "file dist/my_pkg-1.0.0rc1-cp312-cp312-musllinux_1_2_x86_64.whl\n"},
        ReleaseCase{"VersionSetAtBuildTimeIsTheNewestBuilt",
                    {"demo-1.1.tar.gz", "demo-1.2.dev3.tar.gz", "demo-1.1-py3-none-any.whl",
                     "other-9.0.tar.gz"},
                    "demo",
                    std::nullopt,
                    {},
                    "1.2.dev3 (from the files) sdists=1 left=3\nfile dist/demo-1.2.dev3.tar.gz\n"},
        ReleaseCase{"RefusedPlatformTagAndLocalVersion",
                    {"demo-1.0+local-cp311-cp311-linux_x86_64.whl"},
                    "demo",
                    "1.0+local",
                    {},
                    "1.0+local sdists=0 left=0\n"
                    "file dist/demo-1.0+local-cp311-cp311-linux_x86_64.whl\n"
                    "problem dist/demo-1.0+local-cp311-cp311-linux_x86_64.whl: platform tag "
                    "linux_x86_64, which package indexes refuse: tarvo build --native-wheel "
                    "makes a manylinux wheel\n"
                    "problem demo 1.0+local is a local version (+local), which package indexes "
                    "refuse\n"
                    "warning no sdist of demo 1.0+local among the files: tarvo build --sdist "
                    "makes one\n"},
        ReleaseCase{"GivenFilesEachChecked",
                    {"demo-1.0.tar.gz", "other/demo-1.0.tar.gz", "other-1.0.tar.gz",
                     "demo-0.9-py3-none-any.whl", "README.md"},
                    "demo",
                    "1.0",
                    {"dist/demo-0.9-py3-none-any.whl", "dist/demo-1.0.tar.gz", "missing.whl",
                     "dist", "dist/README.md", "./dist/demo-1.0.tar.gz", "other/demo-1.0.tar.gz",
                     "dist/other-1.0.tar.gz"},
                    "1.0 sdists=2 left=0\nfile dist/demo-1.0.tar.gz\n"
                    "file dist/other-1.0.tar.gz\nfile dist/demo-0.9-py3-none-any.whl\n"
                    "problem missing.whl: no such file\nproblem dist: not a file\n"
                    "problem dist/README.md: neither an sdist (.tar.gz) nor a wheel (.whl)\n"
                    "problem other/demo-1.0.tar.gz: a second file of this name, and an index "
                    "takes one\n"
                    "problem dist/other-1.0.tar.gz: a file of other, not of demo\n"
                    "problem dist/demo-0.9-py3-none-any.whl: version 0.9, not demo's 1.0\n"},
        ReleaseCase{"NoneOfThisVersion",
                    {"demo-0.9.tar.gz"},
                    "demo",
                    "1.0",
                    {},
                    "FileNotFoundError: No sdist or wheel of demo 1.0 in dist/: tarvo build "
                    "--sdist makes the sdist, --wheel a pure wheel, --native-wheel platform "
                    "wheels\n"},
        ReleaseCase{"NoneOfTheProject",
                    {"other-1.0.tar.gz"},
                    "demo",
                    std::nullopt,
                    {},
                    "FileNotFoundError: No sdist or wheel of demo in dist/: tarvo build --sdist "
                    "makes the sdist, --wheel a pure wheel, --native-wheel platform wheels\n"},
        ReleaseCase{"InvalidProjectVersion",
                    {"demo-1.0.tar.gz"},
                    "demo",
                    "one",
                    {},
                    "ValueError: The project's version 'one' is no valid version (PEP 440), "
                    "which package indexes refuse\n"}),
    [](const auto &info) { return info.param.name; });

} // namespace
