#include "tarvo/packaging/name.hpp"

#include "packaging_testdata.hpp"

#include <gtest/gtest.h>

using namespace tarvo::packaging;
using tarvo::testing::json;
using tarvo::testing::packaging_data;
using tarvo::testing::VectorSection;

namespace {

void check_canonicalize(const json &, const json &item) {
  EXPECT_EQ(canonicalize_name(item[0].get<std::string>()), item[1].get<std::string>());
}

void check_canonicalize_version(const json &, const json &item) {
  EXPECT_EQ(canonicalize_version(item.at("version").get<std::string>(),
                                 item.at("strip_trailing_zero").get<bool>()),
            item.at("expected").get<std::string>());
}

class NameVectors : public ::testing::TestWithParam<VectorSection> {};

TEST_P(NameVectors, EveryCaseHolds) { tarvo::testing::check_every_case(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Packaging, NameVectors,
                         ::testing::Values(VectorSection{"names.json", "canonicalize",
                                                         check_canonicalize},
                                           VectorSection{"names.json", "canonicalize_version",
                                                         check_canonicalize_version}),
                         tarvo::testing::section_name);

TEST(ValidName, LettersAndDigitsWithSeparatorsOnlyInside) {
  for (const char *name : {"a", "Z9", "foo.bar", "foo_bar", "foo--bar", "1st"}) {
    EXPECT_TRUE(is_valid_name(name)) << name;
  }
  for (const char *name : {"", "_not_legal", "name-", ".x", "a b", "caf\xc3\xa9", "a/b", "-"}) {
    EXPECT_FALSE(is_valid_name(name)) << name;
  }
}

TEST(CanonicalizeVersion, KeepsTheOnlyReleaseComponent) {
  EXPECT_EQ(canonicalize_version("0.0.0"), "0");
  EXPECT_EQ(canonicalize_version("1!0.0.post1"), "1!0.post1");
}

} // namespace
