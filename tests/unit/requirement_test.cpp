#include "tarvo/packaging/requirement.hpp"

#include "packaging_testdata.hpp"
#include "tarvo/error.hpp"
#include "tarvo/repr.hpp"

#include <gtest/gtest.h>
#include <ostream>

using namespace tarvo::packaging;
using tarvo::testing::error_kind;
using tarvo::testing::json;
using tarvo::testing::packaging_data;
using tarvo::testing::VectorSection;

namespace {

// The reference library reports a malformed quoted string as Python's SyntaxError; here it is
// an invalid requirement like any other syntax error.
std::string our_kind(const std::string &kind) {
  return kind == "SyntaxError" ? "InvalidRequirement" : kind;
}

void check_valid(const json &data, const json &item) {
  Requirement r = parse_requirement(item.at("input").get<std::string>());
  EXPECT_EQ(r.name, item.at("name").get<std::string>());
  EXPECT_EQ(r.extras, item.at("extras").get<std::vector<std::string>>());
  EXPECT_EQ(to_string(r.specifier), item.at("specifier").get<std::string>());
  EXPECT_EQ(r.url ? json(*r.url) : json(nullptr), item.at("url"));
  std::string str = item.at("str");
  // A marker value holding a double quote is written in single quotes, as the library's
  // later releases do: in double quotes the text would be another marker.
  const json *upstream = tarvo::testing::upstream_expectation(data, "valid", item.at("input"));
  if (upstream != nullptr && tarvo::testing::quotes_a_double_quote(upstream->at("str"))) {
    str = upstream->at("str");
  } else {
    EXPECT_EQ(r.marker ? json(to_string(*r.marker)) : json(nullptr), item.at("marker"));
  }
  EXPECT_EQ(to_string(r), str);
}

void check_invalid(const json &data, const json &item) {
  std::string input = item;
  std::string expected = "InvalidRequirement";
  for (const auto &message : data.at("invalid_messages")) {
    if (message.at("input") == item) {
      expected = our_kind(message.at("error"));
    }
  }
  EXPECT_EQ(error_kind([&] { parse_requirement(input); }), expected);
}

// A syntax error's message is the reference library's first line, the caret's column and
// the text; other errors start as the library's message does.
void check_invalid_message(const json &, const json &item) {
  std::string input = item.at("input");
  std::string message = item.at("message");
  try {
    parse_requirement(input);
    ADD_FAILURE() << "no error";
  } catch (const tarvo::Error &e) {
    EXPECT_EQ(tarvo::name(e.kind()), our_kind(item.at("error")));
    if (item.at("error") == "SyntaxError") {
      return;
    }
    std::size_t first_break = message.find('\n');
    if (first_break == std::string::npos) {
      EXPECT_TRUE(e.message().starts_with(message.substr(0, message.find(':')))) << e.message();
      return;
    }
    std::size_t caret = message.rfind('\n') + 1;
    std::size_t column = message.find('^', caret) - caret - 4 + 1;
    EXPECT_EQ(e.message(), message.substr(0, first_break) + " at column " + std::to_string(column) +
                               ": " + tarvo::repr(input));
  }
}

void check_pair(const json &, const json &item) {
  Requirement left = parse_requirement(item.at("left").get<std::string>());
  Requirement right = parse_requirement(item.at("right").get<std::string>());
  EXPECT_EQ(left == right, item.at("equal").get<bool>());
}

class RequirementVectors : public ::testing::TestWithParam<VectorSection> {};

TEST_P(RequirementVectors, EveryCaseHolds) { tarvo::testing::check_every_case(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Packaging, RequirementVectors,
    ::testing::Values(VectorSection{"requirements.json", "valid", check_valid},
                      VectorSection{"requirements.json", "invalid", check_invalid},
                      VectorSection{"requirements.json", "invalid_messages", check_invalid_message},
                      VectorSection{"requirements.json", "equal_pairs", check_pair},
                      VectorSection{"requirements.json", "different_pairs", check_pair}),
    tarvo::testing::section_name);

struct TextCase {
  const char *input;
  const char *normalised;
};

void PrintTo(const TextCase &c, std::ostream *out) { *out << c.input; }

class RequirementText : public ::testing::TestWithParam<TextCase> {};

TEST_P(RequirementText, Normalises) {
  EXPECT_EQ(to_string(parse_requirement(GetParam().input)), GetParam().normalised);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RequirementText,
    // Forms the test vectors lack; spacing, parentheses and URLs with markers are among them.
    ::testing::Values(TextCase{"Foo_Bar [b, a, b] (>=1.0 , <2)", "Foo_Bar[a,b]<2,>=1.0"},
                      TextCase{"x>=1,", "x>=1"},
                      TextCase{"x===a-b; os_name=='posix'", "x===a-b; os_name == \"posix\""},
                      TextCase{"name_ >=1", "name_>=1"}));

struct ErrorCase {
  const char *input;
  const char *kind;
};

void PrintTo(const ErrorCase &c, std::ostream *out) { *out << c.input; }

class RequirementErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RequirementErrors, AreReported) {
  EXPECT_EQ(error_kind([&] { parse_requirement(GetParam().input); }), GetParam().kind)
      << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(Kinds, RequirementErrors,
                         ::testing::Values(ErrorCase{"x @ https://", "InvalidRequirement"},
                                           ErrorCase{"x @ FILE:///tmp/x", "InvalidRequirement"},
                                           ErrorCase{"x @ http://[::1/x", "InvalidRequirement"},
                                           ErrorCase{"x>=1.0; os_name", "InvalidRequirement"},
                                           ErrorCase{"x>=1.0 or", "InvalidRequirement"},
                                           ErrorCase{"x ==1.0.*.*", "InvalidRequirement"},
                                           ErrorCase{"-x", "InvalidRequirement"},
                                           ErrorCase{"x[a,]", "InvalidRequirement"},
                                           ErrorCase{"x===a,b", "InvalidSpecifier"}));

// Deeply nested or very long requirement strings get an answer or an error, never a crash.
TEST(RequirementLimits, HundredThousandCharactersFinish) {
  std::string nested =
      "name; " + std::string(50000, '(') + "os_name == 'posix'" + std::string(50000, ')');
  EXPECT_EQ(to_string(parse_requirement(nested)), "name; os_name == \"posix\"");

  std::string unbalanced = "name; " + std::string(50000, '(') + "os_name == 'posix')";
  try {
    parse_requirement(unbalanced);
    ADD_FAILURE() << "no error";
  } catch (const tarvo::Error &e) {
    EXPECT_EQ(e.kind(), tarvo::ErrorKind::InvalidRequirement);
    EXPECT_LT(e.message().size(), 400u) << "a long text is cut in the message";
  }

  std::string clauses = "name ";
  while (clauses.size() < 100000) {
    clauses += ">=1.0,!=1.5.*,";
  }
  EXPECT_EQ(to_string(parse_requirement(clauses)), "name!=1.5.*,>=1.0");

  std::string extras = "name[";
  for (int i = 0; i < 20000; ++i) {
    extras += "e" + std::to_string(i) + ",";
  }
  extras += "z]";
  EXPECT_EQ(parse_requirement(extras).extras.size(), 20001u);

  EXPECT_EQ(error_kind([] { parse_requirement(std::string(100000, '[')); }), "InvalidRequirement");
  EXPECT_EQ(error_kind([] { parse_requirement("x" + std::string(100000, '-')); }),
            "InvalidRequirement");
}

} // namespace
