#include "tarvo/packaging/version.hpp"

#include "packaging_testdata.hpp"
#include "tarvo/error.hpp"

#include <gtest/gtest.h>

using namespace tarvo::packaging;
using tarvo::testing::json;
using tarvo::testing::packaging_data;
using tarvo::testing::VectorSection;

namespace {

std::string error_kind(const std::string &text) {
  return tarvo::testing::error_kind([&] { parse_version(text); });
}

// PEP 440 allows ASCII letters only. The reference library also takes letters that its
// case-insensitive matching folds into ASCII ones ("1.0+\u0130"); its later releases, like
// this module, reject them, and the file lists those cases as upstream differences.
bool rejected_by_standard(const json &data, const json &text) {
  const json *upstream = tarvo::testing::upstream_expectation(data, "invalid", text);
  return upstream != nullptr && *upstream == "invalid";
}

void check_valid(const json &data, const json &item) {
  if (rejected_by_standard(data, item)) {
    EXPECT_EQ(error_kind(item.get<std::string>()), "InvalidVersion");
    return;
  }
  EXPECT_TRUE(try_parse_version(item.get<std::string>()).has_value());
}

void check_invalid(const json &, const json &item) {
  EXPECT_EQ(error_kind(item.get<std::string>()), "InvalidVersion");
}

void check_normalized(const json &, const json &item) {
  EXPECT_EQ(to_string(parse_version(item[0].get<std::string>())), item[1].get<std::string>());
}

void check_equal_pair(const json &, const json &item) {
  Version a = parse_version(item[0].get<std::string>());
  Version b = parse_version(item[1].get<std::string>());
  EXPECT_TRUE(a == b);
  EXPECT_EQ(a <=> b, std::strong_ordering::equal);
}

json optional_number(const std::optional<Number> &n) {
  return n ? json(std::stoll(n->digits)) : json(nullptr);
}

void check_properties(const json &, const json &item) {
  Version v = parse_version(item.at("version").get<std::string>());
  EXPECT_EQ(public_text(v), item.at("public").get<std::string>());
  EXPECT_EQ(base_text(v), item.at("base_version").get<std::string>());
  EXPECT_EQ(json(std::stoll(v.epoch.digits)), item.at("epoch"));
  json release = json::array();
  for (const auto &n : v.release) {
    release.push_back(std::stoll(n.digits));
  }
  EXPECT_EQ(release, item.at("release"));
  json pre = nullptr;
  if (v.pre) {
    const char *letters[] = {"a", "b", "rc"};
    pre = json::array({letters[static_cast<int>(v.pre->kind)], std::stoll(v.pre->number.digits)});
  }
  EXPECT_EQ(pre, item.at("pre"));
  EXPECT_EQ(optional_number(v.post), item.at("post"));
  EXPECT_EQ(optional_number(v.dev), item.at("dev"));
  EXPECT_EQ(v.local.empty() ? json(nullptr) : json(local_text(v)), item.at("local"));
  EXPECT_EQ(v.is_prerelease(), item.at("is_prerelease").get<bool>());
  EXPECT_EQ(v.is_postrelease(), item.at("is_postrelease").get<bool>());
  EXPECT_EQ(v.is_devrelease(), item.at("is_devrelease").get<bool>());
  EXPECT_EQ(json(std::stoll(v.major().digits)), item.at("major"));
  EXPECT_EQ(json(std::stoll(v.minor().digits)), item.at("minor"));
  EXPECT_EQ(json(std::stoll(v.micro().digits)), item.at("micro"));
}

class VersionVectors : public ::testing::TestWithParam<VectorSection> {};

TEST_P(VersionVectors, EveryCaseHolds) { tarvo::testing::check_every_case(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Packaging, VersionVectors,
    ::testing::Values(VectorSection{"versions.json", "valid", check_valid},
                      VectorSection{"versions.json", "invalid", check_invalid},
                      VectorSection{"versions.json", "normalized", check_normalized},
                      VectorSection{"versions.json", "equal_pairs", check_equal_pair},
                      VectorSection{"versions.json", "properties", check_properties}),
    tarvo::testing::section_name);

TEST(VersionOrder, AscendingListHoldsUnderEveryOperator) {
  std::vector<Version> versions;
  std::vector<std::string> texts;
  for (const auto &item : packaging_data("versions.json").at("ordered")) {
    texts.push_back(item.get<std::string>());
    versions.push_back(parse_version(texts.back()));
  }
  ASSERT_GT(versions.size(), 50u);
  for (std::size_t i = 0; i < versions.size(); ++i) {
    for (std::size_t j = 0; j < versions.size(); ++j) {
      const Version &a = versions[i];
      const Version &b = versions[j];
      SCOPED_TRACE(texts[i] + " vs " + texts[j]);
      ASSERT_EQ(a < b, i < j);
      ASSERT_EQ(a <= b, i <= j);
      ASSERT_EQ(a == b, i == j);
      ASSERT_EQ(a != b, i != j);
      ASSERT_EQ(a >= b, i >= j);
      ASSERT_EQ(a > b, i > j);
    }
  }
}

TEST(VersionNumbers, BeyondSixtyFourBitsKeepTheirValueAndOrder) {
  Version big = parse_version("1.000123456789012345678901234567890");
  EXPECT_EQ(to_string(big), "1.123456789012345678901234567890");
  EXPECT_LT(parse_version("1.99999999999999999999"), parse_version("1.100000000000000000000"));
  EXPECT_LT(parse_version("1.0+abc.99999999999999999999"),
            parse_version("1.0+abc.100000000000000000000"));
  EXPECT_EQ(parse_version("1.0.0.0"), parse_version("1"));
}

TEST(VersionNumbers, LongTextsAreReadQuickly) {
  std::string release = "1";
  for (int i = 0; i < 50000; ++i) {
    release += ".0";
  }
  EXPECT_EQ(parse_version(release), parse_version("1"));
  std::string digits(100000, '7');
  EXPECT_EQ(to_string(parse_version(digits)), digits);
  try {
    parse_version(std::string(100000, '('));
    ADD_FAILURE() << "no error";
  } catch (const tarvo::Error &e) {
    EXPECT_EQ(e.kind(), tarvo::ErrorKind::InvalidVersion);
    EXPECT_TRUE(e.message().starts_with("Invalid version: '(((")) << e.message();
    EXPECT_LT(e.message().size(), 400u) << "a long text is cut in the message";
  }
}

} // namespace
