#include "harness.hpp"
#include "tarvo/project/project_config.hpp"

#include <gtest/gtest.h>

using tarvo::Error;
using tarvo::project::ProjectConfig;
using tarvo::project::str;
using tarvo::testing::InDir;
using tarvo::testing::TempDir;
using tarvo::testing::write_file;
namespace fs = std::filesystem;

namespace {

ProjectConfig config(const std::string &text) { return ProjectConfig::from_bytes(text); }

template <typename F> std::string error_of(F f) {
  try {
    f();
  } catch (const Error &e) {
    return tarvo::testing::error_line(e);
  }
  return "no error";
}

} // namespace

TEST(ProjectConfig, FullProjectReadsAsStored) {
  auto c = config(R"(
[build-system]
requires = ["setuptools>=77", "wheel"]
build-backend = "setuptools.build_meta"

[project]
name = "demo"
version = "1.0"
description = "A demo"
license = {text = "MIT"}
requires-python = ">=3.11"
authors = [{name = "Ann", email = "ann@example.org"}, {email = "bob@example.org"}, {}]

[project.optional-dependencies]
web = ["flask"]
test = ["pytest>=8"]
apple = []

[tool.tarvo]
extra = ["a"]

[tool.pyright]
exclude = [".venv"]

[tool.ruff]
line-length = 100
)");
  EXPECT_EQ(str(c.name()), "demo");
  EXPECT_EQ(str(c.description()), "A demo");
  EXPECT_EQ(str(c.license()), "{'text': 'MIT'}");
  EXPECT_EQ(c.version(), "1.0");
  EXPECT_EQ(str(c.requires_python()), ">=3.11");
  EXPECT_EQ(str(c.build_backend()), "setuptools.build_meta");
  EXPECT_EQ(str(c.build_system_requires()), "['setuptools>=77', 'wheel']");
  EXPECT_EQ(str(c.pyright_exclude()), "['.venv']");
  EXPECT_FALSE(c.ruff_exclude());
  EXPECT_EQ(c.tarvo().size(), 1u);

  auto authors = c.authors();
  ASSERT_TRUE(authors);
  ASSERT_EQ(authors->size(), 3u);
  EXPECT_EQ(str((*authors)[0].name), "Ann");
  EXPECT_EQ(str((*authors)[0].email), "ann@example.org");
  EXPECT_FALSE((*authors)[1].name);
  EXPECT_EQ(str((*authors)[1].email), "bob@example.org");
  EXPECT_FALSE((*authors)[2].name || (*authors)[2].email);

  // Groups come back in the order the document lists them, not sorted.
  auto extras = c.extras();
  ASSERT_TRUE(extras && extras->as_table());
  std::vector<std::string> groups;
  for (const auto &[group, _] : *extras->as_table()) {
    groups.push_back(group);
  }
  EXPECT_EQ(groups, (std::vector<std::string>{"web", "test", "apple"}));
}

TEST(ProjectConfig, AbsentTablesAndKeysHaveFixedResults) {
  auto empty = config("");
  EXPECT_FALSE(empty.name() || empty.description() || empty.license() || empty.authors() ||
               empty.version() || empty.extras() || empty.requires_python() ||
               empty.build_backend() || empty.pyright_exclude() || empty.ruff_exclude());
  EXPECT_EQ(str(empty.build_system_requires()), "[]");
  EXPECT_TRUE(empty.tarvo().empty());

  auto bare = config("[project]\nversion = '1'\nauthors = []\n[tool.pyright]\nexclude = []\n"
                     "[build-system]\nrequires = []\n");
  EXPECT_FALSE(bare.name());
  ASSERT_TRUE(bare.authors());
  EXPECT_TRUE(bare.authors()->empty());
  EXPECT_EQ(str(bare.pyright_exclude()), "[]");
  EXPECT_EQ(str(bare.build_system_requires()), "[]");
  EXPECT_TRUE(bare.tarvo().empty());

  // Values that count as empty give an empty requires list.
  for (const char *value : {"''", "0", "false", "{}"}) {
    auto c = config(std::string("[build-system]\nrequires = ") + value + "\n");
    EXPECT_EQ(str(c.build_system_requires()), "[]") << value;
  }
}

TEST(ProjectConfig, ErrorsNameTheOffendingValue) {
  EXPECT_EQ(error_of([] { config("[project]\nname = 'x'\n").version(); }), "KeyError: 'version'");
  EXPECT_EQ(str(config("[project]\nname = 'x'\n").name()), "x");
  EXPECT_EQ(error_of([] { config("[project]\nversion = 3\n").version(); }), "TypeError: 3");
  EXPECT_EQ(error_of([] { config("[project]\nversion = [1, 'a']\n").version(); }),
            "TypeError: [1, 'a']");
  EXPECT_EQ(error_of([] { config("tool = {tarvo = 'x'}\n").tarvo(); }), "TypeError: x");
  EXPECT_EQ(error_of([] { config("[tool]\npyright = 1.5\n").pyright_exclude(); }),
            "TypeError: 1.5");
  EXPECT_EQ(error_of([] { config("[tool]\nruff = true\n").ruff_exclude(); }), "TypeError: True");
  EXPECT_EQ(error_of([] { config("project = 'p'\n").requires_python(); }), "TypeError: p");
  EXPECT_EQ(error_of([] { config("project = 'p'\n").name(); }),
            "TypeError: [project] must be a table, got 'p'");
  EXPECT_EQ(error_of([] { config("[project]\nauthors = ['Ann']\n").authors(); }),
            "TypeError: [project.authors] must be a table, got 'Ann'");
  EXPECT_EQ(error_of([] { config("name = ").name(); }).rfind("TOMLDecodeError: ", 0), 0u);
  // The decode error can be caught on its own.
  EXPECT_THROW(config("[project"), tarvo::project::TomlDecodeError);
}

TEST(ProjectConfig, SearchFindsNearestAncestor) {
  TempDir tmp;
  write_file(tmp.path / "pyproject.toml", "[project]\nname = 'top'\nversion = '2'\n");
  fs::create_directories(tmp.path / "a" / "b");
  {
    InDir in(tmp.path / "a" / "b");
    // Found by relative paths, which work where an ancestor cannot be searched.
    EXPECT_EQ(tarvo::project::find_pyproject(), "../../pyproject.toml");
    EXPECT_EQ(ProjectConfig().version(), "2");
  }
  // A folder of that name is found, then fails to open.
  fs::create_directories(tmp.path / "a" / "pyproject.toml");
  {
    InDir in(tmp.path / "a");
    EXPECT_EQ(error_of([] { ProjectConfig(); }),
              "IsADirectoryError: [Errno 21] Is a directory: 'pyproject.toml'");
  }
  // A dangling link does not count.
  fs::create_symlink("missing.toml", tmp.path / "a" / "b" / "pyproject.toml");
  {
    InDir in(tmp.path / "a" / "b");
    EXPECT_EQ(tarvo::project::find_pyproject(), "../pyproject.toml");
  }
  EXPECT_EQ(error_of([&] { ProjectConfig(tmp.path / "nope.toml"); }),
            "FileNotFoundError: [Errno 2] No such file or directory: '" +
                (tmp.path / "nope.toml").string() + "'");
}

TEST(ProjectConfig, NotFoundAnywhere) {
  TempDir tmp;
  InDir in(tmp.path);
  // The temporary folder's ancestors may hold a pyproject.toml on some machines.
  for (fs::path dir = tmp.path; dir.has_relative_path(); dir = dir.parent_path()) {
    if (fs::exists(dir.parent_path() / "pyproject.toml")) {
      GTEST_SKIP() << "an ancestor of the temporary folder holds a pyproject.toml";
    }
  }
  EXPECT_EQ(error_of([] { ProjectConfig(); }), "FileNotFoundError: pyproject.toml not found");
}

// Any depth gives an answer or the one decode error, never a crash: nesting is bounded before
// the parser, which takes a stack frame per level, sees the document.
TEST(ProjectConfig, NestingIsBoundedBeforeParsing) {
  auto chain = [](std::size_t levels, const char *separator) {
    std::string out = "a";
    for (std::size_t i = 1; i < levels; ++i) {
      out += separator;
      out += "a";
    }
    return out;
  };
  auto repeated = [](const std::string &text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
      out += text;
    }
    return out;
  };
  const std::string too_deep = "TOMLDecodeError: Nesting deeper than 1000 levels";
  struct Case {
    std::string document;
    bool refused;
  };
  for (const auto &c : std::vector<Case>{
           {"[" + chain(1000, ".") + "]\nx = 1\n", false},
           {"[" + chain(1001, ".") + "]\n", true},
           {"[" + chain(1000000, ".") + "]\n", true},
           {"[project]\n" + chain(1000000, ".") + " = 1\n", true},
           {"[tool.tarvo]\nx = " + std::string(1000000, '[') + std::string(1000000, ']') + "\n",
            true},
           {"x = " + repeated("{a = ", 100000) + "1" + std::string(100000, '}') + "\n", true},
           // Dots and brackets in strings and comments are not nesting.
           {"[project]\nname = \"" + std::string(5000, '[') + chain(5000, ".") + "\"\n# " +
                std::string(5000, '{') + "\nd = '''\n" + chain(5000, ".") + "\n'''\n",
            false},
       }) {
    auto error = error_of([&] { config(c.document); });
    EXPECT_EQ(error.starts_with(too_deep), c.refused) << error << " " << c.document.substr(0, 60);
  }
  // Deep but allowed: read as usual.
  auto deep = config("[" + chain(999, ".") + "]\nx = 1\n[project]\nname = 'deep'\n");
  EXPECT_EQ(str(deep.name()), "deep");
}

// The parser is given ASCII only: non-ASCII text reads back unchanged from every kind of string
// and quoted key, is passed over in comments, and is a decode error anywhere else.
TEST(ProjectConfig, NonAsciiTextReadsBackUnchanged) {
  auto c = config(R"([project]
name = "Grüße ✓ 𝄞"
description = 'Literal "quoted" \back ✓'
license = """
multi \
  ✓ line ""quotes"""
authors = [{name = '''
Zoë's
'''''}]   # a comment with ✓
"ключ" = 1
'ключ2' = 2
)");
  EXPECT_EQ(str(c.name()), "Grüße ✓ 𝄞");
  EXPECT_EQ(str(c.description()), "Literal \"quoted\" \\back ✓");
  EXPECT_EQ(str(c.license()), "multi ✓ line \"\"quotes");
  EXPECT_EQ(str(c.authors().value().front().name), "Zoë's\n''");
  auto groups = extra_names(config("[project.optional-dependencies]\n\"ключ\" = []\n"
                                   "'ключ2' = []\nzz = []\n"));
  EXPECT_EQ(groups, (std::vector<std::string>{"ключ", "ключ2", "zz"}));

  for (const auto &[document, error] : std::vector<std::pair<std::string, std::string>>{
           {"\xcb\x9a", "Unexpected character U+02DA (at line 1, column 1)"},
           {"a = 1\nb = 2 \xe2\x9c\x93", "Unexpected character U+2713 (at line 2, column 7)"},
           {"[t\xc3\xa9]", "Unexpected character U+00E9 (at line 1, column 3)"},
           {"a = \"\xff\"", "Invalid UTF-8 (at line 1, column 6)"},
           {"a = '\xed\xa0\x80'", "Invalid UTF-8 (at line 1, column 6)"},
           {"a = \"\"\"\\\xc2\xa7\"\"\"", "Invalid escape sequence (at line 1, column 9)"},
       }) {
    EXPECT_EQ(error_of([&] { config(document); }), "TOMLDecodeError: " + error) << document;
  }
}
