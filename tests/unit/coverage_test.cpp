#include "tarvo/configdiff/coverage.hpp"

#include "packaging_testdata.hpp"
#include "tarvo/error.hpp"

#include <gtest/gtest.h>
#include <ostream>

using tarvo::configdiff::requirements_not_satisfied_by;
using tarvo::testing::error_kind;
using namespace tarvo::configdiff::detail;
using tarvo::packaging::MarkerEnvironment;
using tarvo::packaging::parse_marker;
using tarvo::packaging::parse_specifier_set;

namespace {

using Strings = std::vector<std::string>;

struct CoverageCase {
  const char *title;
  Strings expected;
  Strings actual;
  Strings not_covered;
};

void PrintTo(const CoverageCase &c, std::ostream *out) { *out << c.title; }

class Coverage : public ::testing::TestWithParam<CoverageCase> {};

TEST_P(Coverage, ReportsWhatIsNotCovered) {
  EXPECT_EQ(requirements_not_satisfied_by(GetParam().expected, GetParam().actual, ">=3.9"),
            GetParam().not_covered);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, Coverage,
    ::testing::Values(
        CoverageCase{"empty expected set is covered by anything", {"pytest"}, {"pytest>=7"}, {}},
        CoverageCase{"names compare normalised", {"Foo_Bar>=1.0"}, {"foo-bar>=1.2"}, {}},
        CoverageCase{"a minimum needs an actual minimum",
                     {"setuptools>=61"},
                     {"setuptools"},
                     {"setuptools>=61"}},
        CoverageCase{"a pin is not covered by a lower minimum", {"x==1.0"}, {"x>=0.9"}, {"x==1.0"}},
        CoverageCase{"a pin is covered by a minimum as high", {"x==1.0"}, {"x>=1.0"}, {}},
        CoverageCase{"pins compare as text", {"x==1.0"}, {"x==1.0.0"}, {"x==1.0"}},
        CoverageCase{"extras must be a subset", {"x[a]"}, {"x"}, {"x[a]"}},
        CoverageCase{"more extras cover fewer", {"x[a]"}, {"x[a,b]"}, {}},
        CoverageCase{"extras compare as written", {"x[A]"}, {"x[a]"}, {"x[A]"}},
        CoverageCase{"an actual marker false on darwin and win32",
                     {"x"},
                     {"x; sys_platform == 'linux'"},
                     {"x"}},
        CoverageCase{"platform_system of win32 is Win32",
                     {"x; sys_platform == 'win32'"},
                     {"x; platform_system == 'Windows'"},
                     {"x; sys_platform == \"win32\""}},
        CoverageCase{"an actual requirement without marker covers at once",
                     {"x; python_version < '3.9'"},
                     {"x"},
                     {}},
        CoverageCase{"equal markers cover", {"x; os_name == 'nt'"}, {"x ;os_name=='nt'"}, {}},
        CoverageCase{"an empty expected list", {}, {"x"}, {}},
        CoverageCase{"an empty actual list keeps groups in order of first appearance",
                     {"a>1", "b", "a<3"},
                     {},
                     {"a>1", "a<3", "b"}},
        CoverageCase{"requirements of one name are judged separately",
                     {"x>=2", "x>=1", "X>=1.5"},
                     {"x>=1.5"},
                     {"x>=2"}},
        CoverageCase{"any actual requirement of the name may cover",
                     {"x[b]>=2"},
                     {"x[a]>=3", "x[b]>=1", "x[b]>=2"},
                     {}},
        CoverageCase{"a marker that cannot be evaluated skips every environment",
                     {"x"},
                     {"x; os_name ~= '1.0'"},
                     {}},
        CoverageCase{"results use the normalised text",
                     {"Name [b,a] >= 1.0 , < 2 ; python_version<'3.11'", "y @ https://h/y.zip"},
                     {"name>=0.5"},
                     {"Name[a,b]<2,>=1.0; python_version < \"3.11\"", "y@ https://h/y.zip"}}));

TEST(CoverageErrors, InvalidRequirementsEndTheOperation) {
  EXPECT_EQ(error_kind([] { requirements_not_satisfied_by({"x >"}, {"y ="}, ">=3.9"); }),
            "InvalidRequirement");
  EXPECT_EQ(error_kind([] {
              requirements_not_satisfied_by({"x"}, {"x", "y=="}, ">=3.9");
            }),
            "InvalidRequirement");
  // A wildcard pin is no version to compare with the actual minimum.
  EXPECT_EQ(error_kind([] { requirements_not_satisfied_by({"x==2.*"}, {"x>=1"}, ">=3.9"); }),
            "InvalidVersion");
}

TEST(CoverageErrors, RequiresPythonIsReadOnlyForMarkers) {
  EXPECT_EQ(requirements_not_satisfied_by({"x>=1"}, {"x>=2"}, "bogus"), Strings{});
  // An equal or absent actual marker needs no environments.
  EXPECT_EQ(requirements_not_satisfied_by({"x; os_name == 'posix'"}, {"x"}, "bogus"), Strings{});
  EXPECT_EQ(
      requirements_not_satisfied_by({"x; os_name=='posix'"}, {"x;os_name == \"posix\""}, "bogus"),
      Strings{});
  EXPECT_EQ(error_kind([] {
              requirements_not_satisfied_by({"x; os_name == 'nt'"}, {"x; os_name == 'posix'"},
                                            "bogus");
            }),
            "InvalidSpecifier");
}

struct SpecifierCase {
  const char *expected;
  const char *actual;
  bool covers;
};

void PrintTo(const SpecifierCase &c, std::ostream *out) {
  *out << "'" << c.expected << "' by '" << c.actual << "'";
}

class SpecifierCovers : public ::testing::TestWithParam<SpecifierCase> {};

TEST_P(SpecifierCovers, ComparesOnlyMinimumsAndPins) {
  EXPECT_EQ(specifier_covers(parse_specifier_set(GetParam().expected),
                             parse_specifier_set(GetParam().actual)),
            GetParam().covers);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SpecifierCovers,
    ::testing::Values(
        SpecifierCase{"", "", true}, SpecifierCase{"<2", "", true},
        SpecifierCase{"~=1.0,!=1.5,>1,<=3,===1.0", "", true}, SpecifierCase{">=1", "", false},
        SpecifierCase{">=1", "<5,>0.5", false}, SpecifierCase{">=1,<2", ">=1.1,<9", true},
        SpecifierCase{">=1.0", "==1.2", true}, SpecifierCase{">=1.5", "==1.2", false},
        SpecifierCase{"==1.0", ">=1.0,<2", true}, SpecifierCase{"==1.0", "==1.0", true},
        SpecifierCase{"==1.0", "==1.0.0", false}, SpecifierCase{"==1.0", "<=1.0", false},
        SpecifierCase{">=2,==1.0", ">=1.0", true}, SpecifierCase{">=1.10", ">=1.9", false}));

TEST(GetMinVersion, TakesTheFirstMinimumOrPinAsWritten) {
  EXPECT_EQ(get_min_version(parse_specifier_set(">=3.8")), "3.8");
  EXPECT_EQ(get_min_version(parse_specifier_set("<4, ==3.9.*, >=3.8")), "3.9.*");
  EXPECT_EQ(get_min_version(parse_specifier_set("<4,>=3.8,==3.9")), "3.8");
  EXPECT_EQ(get_min_version(parse_specifier_set("~=3.8,<4,>3")), std::nullopt);
}

TEST(MarkerEnvironments, OnePerPlatformWithTheLowestPython) {
  auto environments = generate_marker_environments("<4, >=3.9");
  ASSERT_EQ(environments.size(), 3u);
  EXPECT_EQ(environments[0], (MarkerEnvironment{{"python_version", "3.9"},
                                                {"python_full_version", "3.9.0"},
                                                {"sys_platform", "linux"},
                                                {"platform_system", "Linux"}}));
  EXPECT_EQ(environments[1].at("sys_platform"), "darwin");
  EXPECT_EQ(environments[1].at("platform_system"), "Darwin");
  EXPECT_EQ(environments[2].at("sys_platform"), "win32");
  EXPECT_EQ(environments[2].at("platform_system"), "Win32");
  // Without a ">=" clause the whole text stands for the version.
  EXPECT_EQ(generate_marker_environments("==3.10")[0].at("python_full_version"), "==3.10.0");
  EXPECT_EQ(generate_marker_environments("~=3.11")[2].at("python_version"), "~=3.11");
  EXPECT_EQ(error_kind([] { generate_marker_environments(">=3.9,"); }), "no error");
  EXPECT_EQ(error_kind([] { generate_marker_environments("3.9"); }), "InvalidSpecifier");
}

TEST(MarkerCovers, ComparesInTheTestEnvironments) {
  auto marker = [](const char *text) { return std::optional(parse_marker(text)); };
  std::optional<tarvo::packaging::Marker> none;
  EXPECT_TRUE(marker_covers(none, none, "bogus"));
  EXPECT_TRUE(marker_covers(marker("os_name == 'nt'"), none, "bogus"));
  EXPECT_FALSE(marker_covers(none, marker("python_version >= '3.10'"), ">=3.9"));
  EXPECT_TRUE(marker_covers(none, marker("python_version >= '3.10'"), ">=3.10"));
  EXPECT_TRUE(marker_covers(marker("python_version >= '3.8'"), marker("python_version >= '3.9'"),
                            ">=3.9,<4"));
  EXPECT_FALSE(
      marker_covers(marker("python_version >= '3.8'"), marker("python_version >= '3.9'"), ">=3.8"));
  // An expected marker false everywhere asks nothing of the actual one.
  EXPECT_TRUE(
      marker_covers(marker("sys_platform == 'cygwin'"), marker("os_name == 'nt'"), ">=3.9"));
  // Without a ">=" clause the test version is the whole text, which is no version: comparing
  // it as one is an InvalidVersion error, and every environment is skipped.
  for (const char *requires_python : {"<4", "~=3.11", "==3.10", ">3.9"}) {
    EXPECT_TRUE(marker_covers(none, marker("python_version < '3.11'"), requires_python));
    EXPECT_EQ(requirements_not_satisfied_by({"pytest"}, {"pytest; python_version < '3.11'"},
                                            requires_python),
              Strings{});
  }
  // Text comparisons still decide where the operator and value make no specifier.
  EXPECT_FALSE(marker_covers(none, marker("sys_platform == 'linux'"), "~=3.11"));
}

} // namespace
