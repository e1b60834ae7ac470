#include "harness.hpp"
#include "tarvo/project/project_config.hpp"
#include "tarvo/templates/templates.hpp"

#include <gtest/gtest.h>

using namespace tarvo::templates;
using tarvo::Error;
using tarvo::project::ProjectConfig;
using tarvo::project::str;

namespace {

std::string kind_of(const std::string &templ, const Fields &fields) {
  try {
    render(templ, fields, Quoting::TomlBasic);
  } catch (const Error &e) {
    return tarvo::testing::error_line(e);
  }
  return "no error";
}

Fields pyproject_fields(const std::string &value) {
  return {{"name", value},         {"description", value},  {"author_name", value},
          {"author_email", value}, {"license_spdx", value}, {"python_version", ">=3.11"}};
}

} // namespace

TEST(Render, FieldsAndBraces) {
  EXPECT_EQ(render("a = \"{x}\" {{lit}} }}{{", {{"x", "v"}}, Quoting::TomlBasic),
            "a = \"v\" {lit} }{");
  EXPECT_EQ(render("{x}{x}", {{"x", "ab"}}, Quoting::YamlDouble), "abab");
  EXPECT_EQ(kind_of("{missing}", {{"x", "v"}}), "KeyError: 'missing'");
  EXPECT_EQ(kind_of("a } b", {}), "ValueError: Single '}' encountered in format string");
  EXPECT_EQ(kind_of("a {x", {{"x", "v"}}), "ValueError: expected '}' before end of string");
}

TEST(Render, PlainValuesAreInsertedUnchanged) {
  for (const char *value : {"demo", "Ann O'Neil", "a.b@example.org", "MIT OR Apache-2.0", "é ü"}) {
    EXPECT_EQ(escape(value, Quoting::TomlBasic), value);
    EXPECT_EQ(escape(value, Quoting::YamlDouble), value);
  }
}

TEST(Render, EscapedValuesReadBackUnchanged) {
  const std::string nasty[] = {"Say \"hi\"", "back\\slash", "two\nlines", "tab\there", "bell\x07",
                               "cr\r",       "del\x7f",     "\"\\\"",     "end\\"};
  for (const auto &value : nasty) {
    auto rendered = render(text("pyproject.toml.tpl"), pyproject_fields(value), Quoting::TomlBasic);
    auto c = ProjectConfig::from_bytes(rendered);
    EXPECT_EQ(str(c.name()), value);
    EXPECT_EQ(str(c.description()), value);
    EXPECT_EQ(str(c.license()), value);
    EXPECT_EQ(str(c.authors()->front().name), value);
    EXPECT_EQ(str(c.authors()->front().email), value);
  }
}

TEST(Render, WorkflowValuesReadBackUnchanged) {
  // YAML is read back by PyYAML; the escaping must survive a real YAML reader. All values go to
  // one reader, as the documents of one stream, and come back separated by NULs.
  const std::vector<std::string> nasty = {"demo",    "Say \"hi\"",  "back\\slash",    "two\nlines",
                                          "x: y #z", "nel\xc2\x85", "ls\xe2\x80\xa8", "bell\x07"};
  tarvo::testing::RunOptions options;
  options.input = "";
  for (const auto &value : nasty) {
    options.input->append(
        "--- \n" + render(text("build.yml.tpl"), {{"project_name", value}}, Quoting::YamlDouble));
  }
  auto out = tarvo::testing::run(
      {"python3", "-c",
       "import sys, yaml\n"
       "for d in yaml.safe_load_all(sys.stdin.buffer):\n"
       "    sys.stdout.buffer.write(d['jobs']['check']['name'].encode() + b'\\0')\n"},
      options);
  ASSERT_EQ(out.status, 0) << out.err;
  std::string expected;
  for (const auto &value : nasty) {
    expected += value + ": lint and test" + std::string(1, '\0');
  }
  EXPECT_EQ(out.out, expected);
}
