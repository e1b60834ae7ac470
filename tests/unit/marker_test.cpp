#include "tarvo/packaging/marker.hpp"

#include "packaging_testdata.hpp"
#include "tarvo/error.hpp"
#include "tarvo/repr.hpp"

#include <gtest/gtest.h>
#include <ostream>
#include <set>
#include <sys/utsname.h>

using namespace tarvo::packaging;
using tarvo::testing::error_kind;
using tarvo::testing::json;
using tarvo::testing::packaging_data;
using tarvo::testing::upstream_expectation;
using tarvo::testing::VectorSection;

namespace {

MarkerEnvironment environment(const json &value) {
  MarkerEnvironment out;
  if (value.is_null()) {
    return out;
  }
  for (const auto &[name, v] : value.items()) {
    // Python's None for "extra" means the empty extra.
    out[name] = v.is_null() ? "" : v.get<std::string>();
  }
  return out;
}

void check_valid(const json &data, const json &item) {
  std::string text = item;
  // Text after a complete marker is refused as PEP 508 says (the reference library ignores
  // it); a trailing line end is allowed, as that library allows it.
  const json *upstream = upstream_expectation(data, "invalid", item);
  if (upstream != nullptr && !text.ends_with('\n') && !text.ends_with('\r')) {
    EXPECT_EQ(error_kind([&] { parse_marker(text); }), upstream->get<std::string>());
    return;
  }
  Marker marker = parse_marker(text);
  EXPECT_FALSE(to_string(marker).empty());
}

void check_invalid(const json &, const json &item) {
  EXPECT_EQ(error_kind([&] { parse_marker(item.get<std::string>()); }), "InvalidMarker");
}

// Our one-line message is the reference library's first line, the caret's column and the text.
void check_invalid_message(const json &, const json &item) {
  std::string input = item.at("input");
  std::string message = item.at("message");
  std::size_t first_break = message.find('\n');
  if (first_break == std::string::npos) {
    EXPECT_EQ(error_kind([&] { parse_marker(input); }), "InvalidMarker");
    return;
  }
  std::size_t caret = message.rfind('\n') + 1;
  std::size_t column = message.find('^', caret) - caret - 4 + 1;
  try {
    parse_marker(input);
    ADD_FAILURE() << "no error";
  } catch (const tarvo::Error &e) {
    EXPECT_EQ(tarvo::name(e.kind()), item.at("error").get<std::string>());
    EXPECT_EQ(e.message(), message.substr(0, first_break) + " at column " + std::to_string(column) +
                               ": " + tarvo::repr(input));
  }
}

void check_str(const json &data, const json &item) {
  std::string input = item.at("input");
  // A variable stays a variable: the reference library turns the other side of
  // `extra == os_name` into the text "os-name", which changes what the marker means.
  static const std::set<std::string> variable_pairs = {"extra == os_name", "os_name == extra"};
  std::string expected =
      variable_pairs.contains(input) ? input : item.at("normalised").get<std::string>();
  // A value holding a double quote is written in single quotes, as the library's later
  // releases do: in double quotes the text would be another marker.
  const json *upstream = upstream_expectation(data, "str", item.at("input"));
  if (upstream != nullptr && tarvo::testing::quotes_a_double_quote(*upstream)) {
    expected = upstream->get<std::string>();
  }
  EXPECT_EQ(to_string(parse_marker(input)), expected);
}

void check_evaluate(const json &, const json &item) {
  Marker marker = parse_marker(item.at("marker").get<std::string>());
  EXPECT_EQ(evaluate(marker, environment(item.at("environment"))), item.at("expected").get<bool>());
}

void check_evaluate_error(const json &, const json &item) {
  Marker marker = parse_marker(item.at("marker").get<std::string>());
  EXPECT_EQ(error_kind([&] { evaluate(marker, environment(item.at("environment"))); }),
            item.at("error").get<std::string>());
}

void check_different_pair(const json &, const json &item) {
  Marker left = parse_marker(item.at("left").get<std::string>());
  Marker right = parse_marker(item.at("right").get<std::string>());
  EXPECT_EQ(left == right, item.at("equal").get<bool>());
}

class MarkerVectors : public ::testing::TestWithParam<VectorSection> {};

TEST_P(MarkerVectors, EveryCaseHolds) { tarvo::testing::check_every_case(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Packaging, MarkerVectors,
    ::testing::Values(VectorSection{"markers.json", "valid", check_valid},
                      VectorSection{"markers.json", "invalid", check_invalid},
                      VectorSection{"markers.json", "invalid_messages", check_invalid_message},
                      VectorSection{"markers.json", "str", check_str},
                      VectorSection{"markers.json", "evaluate", check_evaluate},
                      VectorSection{"markers.json", "evaluate_errors", check_evaluate_error},
                      VectorSection{"markers.json", "different_pairs", check_different_pair}),
    tarvo::testing::section_name);

struct TextCase {
  const char *input;
  const char *normalised;
};

void PrintTo(const TextCase &c, std::ostream *out) { *out << c.input; }

class MarkerText : public ::testing::TestWithParam<TextCase> {};

TEST_P(MarkerText, Normalises) {
  EXPECT_EQ(to_string(parse_marker(GetParam().input)), GetParam().normalised);
}

INSTANTIATE_TEST_SUITE_P(
    Grouping, MarkerText,
    ::testing::Values(
        TextCase{"os_name=='a' and ((sys_platform=='b' or sys_platform=='c'))",
                 "os_name == \"a\" and (sys_platform == \"b\" or sys_platform == \"c\")"},
        TextCase{"((os_name=='a' and sys_platform=='b'))",
                 "os_name == \"a\" and sys_platform == \"b\""},
        TextCase{"(os_name=='a') or ((sys_platform=='b'))",
                 "os_name == \"a\" or sys_platform == \"b\""},
        TextCase{"\t(os_name=='a' or os_name=='b')and(python_version<'3')\r\n",
                 "(os_name == \"a\" or os_name == \"b\") and python_version < \"3\""},
        TextCase{"'x' not  in\tplatform.machine", "\"x\" not in platform_machine"},
        TextCase{"os_name == \"\\x41\\u00e9\\101\\t\\q\"", "os_name == \"A\xc3\xa9"
                                                           "A\t\\q\""}));

struct EvaluationCase {
  const char *marker;
  bool expected;
};

void PrintTo(const EvaluationCase &c, std::ostream *out) { *out << c.marker; }

class MarkerEvaluation : public ::testing::TestWithParam<EvaluationCase> {};

TEST_P(MarkerEvaluation, InTheEnvironment) {
  MarkerEnvironment env{
      {"python_version", "3.9"}, {"python_full_version", "3.9.1"},    {"os_name", "posix"},
      {"extra", "Foo.Bar"},      {"implementation_version", "3.9.1"}, {"unknown", "x"}};
  EXPECT_EQ(evaluate(parse_marker(GetParam().marker), env), GetParam().expected)
      << GetParam().marker;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MarkerEvaluation,
    ::testing::Values(
        // Where operator and value make a specifier, the comparison is of versions, where text
        // would say "3.9" > "3.10" (the test vectors cover the variable on the right and "~=").
        EvaluationCase{"python_version < '3.10'", true},
        EvaluationCase{"implementation_version >= '3.9.0'", true},
        EvaluationCase{"python_full_version == '3.9.*'", true},
        // Elsewhere it is of text.
        EvaluationCase{"os_name == 'posix'", true}, EvaluationCase{"extra == 'FOO__bar'", true},
        // "and" binds tighter than "or".
        EvaluationCase{"os_name == 'x' and os_name == 'y' or os_name == 'posix'", true},
        EvaluationCase{"os_name == 'posix' or os_name == 'y' and os_name == 'x'", true},
        EvaluationCase{"(os_name == 'posix' or os_name == 'y') and os_name == 'x'", false}));

// Every comparison is evaluated, so an error counts even where the result is already known.
TEST(MarkerEvaluation, ErrorsEvenWhereTheResultIsKnown) {
  struct Case {
    const char *marker;
    tarvo::ErrorKind kind;
    const char *message;
  };
  for (const auto &c : {
           Case{"os_name == 'posix' or '1.0' ~= os_name", tarvo::ErrorKind::UndefinedComparison,
                "Undefined '~=' on '1.0' and 'posix'"},
           // A version specifier, and a value that is no version.
           Case{"os_name == 'posix' or os_name == '0.0'", tarvo::ErrorKind::InvalidVersion,
                "Invalid version: 'posix'"},
       }) {
    try {
      evaluate(parse_marker(c.marker));
      ADD_FAILURE() << c.marker << ": no error";
    } catch (const tarvo::Error &e) {
      EXPECT_EQ(e.kind(), c.kind);
      EXPECT_EQ(e.message(), c.message);
    }
  }
}

TEST(MarkerEnvironmentDefaults, DescribeThisHost) {
  struct utsname host {};
  ASSERT_EQ(uname(&host), 0);
  const MarkerEnvironment &env = default_environment();
  EXPECT_EQ(env.size(), 12u);
  EXPECT_EQ(env.at("platform_machine"), host.machine);
  EXPECT_EQ(env.at("platform_system"), host.sysname);
  EXPECT_EQ(env.at("os_name"), "posix");
  EXPECT_EQ(env.at("extra"), "");
  EXPECT_TRUE(evaluate(parse_marker("python_version >= '3' and extra == ''")));
}

TEST(MarkerErrors, StringsMustBeWellFormed) {
  EXPECT_EQ(error_kind([] { parse_marker("os_name == '\\N{BULLET}'"); }), "InvalidMarker");
  EXPECT_EQ(error_kind([] { parse_marker("os_name == '\\u12'"); }), "InvalidMarker");
  EXPECT_EQ(error_kind([] { parse_marker("os_name == 'a\nb'"); }), "InvalidMarker");
  EXPECT_EQ(error_kind([] { parse_marker("os_name == 'a' junk"); }), "InvalidMarker");
  EXPECT_EQ(error_kind([] { parse_marker("os_name == 'a' and"); }), "InvalidMarker");
  EXPECT_EQ(error_kind([] { parse_marker("extras == 'a'"); }), "InvalidMarker");
}

// Deeply nested or very long markers get an answer or an error, never a crash.
TEST(MarkerLimits, HundredThousandCharactersFinish) {
  std::string nested = std::string(50000, '(') + "os_name == 'posix'" + std::string(50000, ')');
  Marker marker = parse_marker(nested);
  EXPECT_EQ(to_string(marker), "os_name == \"posix\"");
  EXPECT_TRUE(evaluate(marker));

  std::string unclosed = std::string(50000, '(') + "os_name == 'posix'";
  EXPECT_EQ(error_kind([&] { parse_marker(unclosed); }), "InvalidMarker");

  std::string chain = "os_name == 'a'";
  while (chain.size() < 100000) {
    chain += " or (os_name == 'b' and python_version < '3')";
  }
  Marker long_marker = parse_marker(chain);
  EXPECT_FALSE(evaluate(long_marker));
  EXPECT_EQ(parse_marker(to_string(long_marker)), long_marker);

  std::string alternating;
  for (int i = 0; i < 25000; ++i) {
    alternating += "(os_name == 'a' or ";
  }
  alternating += "os_name == 'posix'" + std::string(25000, ')');
  EXPECT_TRUE(evaluate(parse_marker(alternating)));
}

} // namespace
