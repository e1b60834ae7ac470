// JSON strings of any text: always valid JSON, reading back to the text where it was valid UTF-8.
#include "tarvo/repr.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

struct JsonCase {
  std::string text;
  std::string json;
};

class JsonString : public ::testing::TestWithParam<JsonCase> {};

TEST_P(JsonString, IsValidJsonForAnyBytes) {
  const auto &c = GetParam();
  const auto json = tarvo::json_string(c.text);
  EXPECT_EQ(json, c.json);
  EXPECT_TRUE(nlohmann::json::accept(json)) << json;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonString,
    ::testing::Values(JsonCase{"demo", R"("demo")"}, JsonCase{"a\"b\\c", R"("a\"b\\c")"},
                      JsonCase{"tab\tline\n\x1b[2J\x7f", R"("tab\tline\n\u001b[2J\u007f")"},
                      // C1 controls are escaped; other characters stay as they are.
                      JsonCase{"\xc2\x85\xc3\xa9\xe2\x82\xac\xf0\x9f\x90\x8d",
                               "\"\\u0085\xc3\xa9\xe2\x82\xac\xf0\x9f\x90\x8d\""},
                      // A stray continuation byte, an overlong form, a surrogate, a sequence cut
                      // short and a code point above U+10FFFF each become U+FFFD.
                      JsonCase{"a\x80z", R"("a\ufffdz")"},
                      JsonCase{"\xc0\x80", R"("\ufffd\ufffd")"},
                      JsonCase{"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},
                      JsonCase{"\xe2\x82", R"("\ufffd\ufffd")"},
                      JsonCase{"\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"}));

} // namespace
