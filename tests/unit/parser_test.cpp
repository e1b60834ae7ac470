#include "tarvo/cli/help.hpp"
#include "tarvo/cli/parser.hpp"

#include <gtest/gtest.h>

using namespace tarvo::cli;

namespace {

Args parsed(const std::vector<std::string> &argv) {
  auto result = parse(tarvo_grammar(), argv, "1.2.3");
  if (auto *finished = std::get_if<Finished>(&result)) {
    ADD_FAILURE() << "parse ended with " << finished->status << ": " << finished->err;
    return {};
  }
  return std::get<Parsed>(result).args;
}

Finished finished(const std::vector<std::string> &argv) {
  auto result = parse(tarvo_grammar(), argv, "1.2.3");
  if (auto *f = std::get_if<Finished>(&result)) {
    return *f;
  }
  ADD_FAILURE() << "parse did not end";
  return {};
}

} // namespace

TEST(Grammar, CommandsInOrderWithTheirHelp) {
  const auto &g = tarvo_grammar();
  std::vector<std::string> names;
  for (const auto &c : g.commands) {
    names.push_back(c.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"requirements", "test", "build", "publish", "clean",
                                             "lint", "status", "config-diff", "init"}));
  EXPECT_EQ(g.commands[1].help, "Run tests (default: all tests in tests/)");
  EXPECT_EQ(g.commands[7].help, "Compare project's pyproject.toml against template");
}

TEST(Grammar, Defaults) {
  Args a = parsed({"test"});
  EXPECT_EQ(a.command, "test");
  EXPECT_EQ(a.directory, ".");
  EXPECT_FALSE(a.wheel);
  EXPECT_EQ(a.arch, "x86_64");
  EXPECT_EQ(a.libc, "glibc");
  EXPECT_EQ(a.python, "3.11");
  EXPECT_FALSE(a.setup);
  EXPECT_FALSE(a.path);
  EXPECT_TRUE(a.pytest_args.empty());
  EXPECT_FALSE(parsed({"status"}).json);
  Args init = parsed({"init"});
  EXPECT_FALSE(init.name || init.description || init.author_name || init.author_email ||
               init.license);
}

TEST(Grammar, ValuesInEverySpelling) {
  EXPECT_EQ(parsed({"-C", "sub", "status"}).directory, "sub");
  EXPECT_EQ(parsed({"-Csub", "status"}).directory, "sub");
  EXPECT_EQ(parsed({"--directory=sub", "status"}).directory, "sub");
  EXPECT_TRUE(parsed({"--no-sync", "-C", "sub", "test"}).no_sync);
  EXPECT_FALSE(parsed({"test"}).no_sync);
  // A global switch after the command word, also by a prefix that only it begins with there.
  EXPECT_TRUE(parsed({"lint", "--no-sync"}).no_sync);
  EXPECT_TRUE(parsed({"test", "tests", "--no-s", "--", "-x"}).no_sync);
  EXPECT_EQ(parsed({"--dir", "sub", "status"}).directory, "sub");
  EXPECT_EQ(parsed({"build", "--arch=aarch64"}).arch, "aarch64");
  EXPECT_EQ(parsed({"build", "--ar", "armv7l"}).arch, "armv7l");
  EXPECT_EQ(parsed({"build", "--libc", "musl"}).libc, "musl");
  EXPECT_EQ(parsed({"build", "--libc", "glibc, musl"}).libc, "glibc, musl");
  EXPECT_EQ(split_list("x86_64, aarch64,riscv64"),
            (std::vector<std::string>{"x86_64", "aarch64", "riscv64"}));
  EXPECT_EQ(parsed({"test", "--setup", "-"}).setup, "-");
  EXPECT_EQ(parsed({"init", "--name="}).name, "");
  EXPECT_EQ(parsed({"init", "--author-n", "Ann"}).author_name, "Ann");
}

TEST(Grammar, FlagsAndPositionalsInAnyOrder) {
  Args a = parsed({"build", "--native-wheel", "--sdist", "--python", "3.12", "--no-c"});
  EXPECT_TRUE(a.native_wheel && a.sdist && a.no_compress);
  EXPECT_FALSE(a.wheel || a.executable);
  EXPECT_EQ(a.python, "3.12");

  EXPECT_EQ(parsed({"requirements", "web", "test", "web"}).extras,
            (std::vector<std::string>{"web", "test", "web"}));
  EXPECT_TRUE(parsed({"requirements"}).extras.empty());
  Args t = parsed({"test", "unit/test_a.py", "--wheel", "--libc", "musl"});
  EXPECT_EQ(t.path, "unit/test_a.py");
  EXPECT_TRUE(t.wheel);
  // After "--", test's words go to pytest as they are; other commands take them as positionals.
  Args words = parsed({"test", "tests/a.py::b", "--", "-k", "slow", "--wheel", "--", "x"});
  EXPECT_EQ(words.path, "tests/a.py::b");
  EXPECT_FALSE(words.wheel);
  EXPECT_EQ(words.pytest_args, (std::vector<std::string>{"-k", "slow", "--wheel", "--", "x"}));
  Args none = parsed({"test", "--wheel", "--"});
  EXPECT_TRUE(none.wheel && !none.path && none.pytest_args.empty());
  EXPECT_EQ(parsed({"requirements", "--", "-odd"}).extras, std::vector<std::string>{"-odd"});
  EXPECT_TRUE(parsed({"status", "--json"}).json);
  EXPECT_EQ(parsed({"init", "--lic", "MIT"}).license, "MIT");
  Args p = parsed({"publish", "dist/a.whl", "--repository", "testpypi", "--skip", "b.tar.gz"});
  EXPECT_EQ(p.files, (std::vector<std::string>{"dist/a.whl", "b.tar.gz"}));
  EXPECT_EQ(p.repository, "testpypi");
  EXPECT_TRUE(p.skip_existing && !p.dry_run);

  EXPECT_TRUE(parsed({"lint", "--color"}).colour);
  EXPECT_TRUE(parsed({"lint", "--colour"}).colour);
  Args d = parsed({"config-diff", "--workflow", "--colour"});
  EXPECT_TRUE(d.workflow && d.colour);
}

TEST(Grammar, HelpAndVersionEndAtOnce) {
  Finished v = finished({"--version"}); // with a command too in the end-to-end test
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "tarvo 1.2.3\n");

  Finished h = finished({"-h"});
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out.rfind("usage: tarvo [-h] [--version] [--directory DIRECTORY] [--no-sync] COMMAND "
                        "...\n",
                        0),
            0u);
  EXPECT_NE(h.out.find("A Python module to replace Makefile workflows."), std::string::npos);
  EXPECT_NE(h.out.find("Change to DIRECTORY before doing anything"), std::string::npos);
  EXPECT_NE(h.out.find("    config-diff         Compare project's pyproject.toml"),
            std::string::npos);

  Finished b = finished({"build", "--help"});
  EXPECT_EQ(b.status, 0);
  EXPECT_EQ(b.out.rfind("usage: tarvo build [-h] [--sdist]", 0), 0u);
  for (const char *text : {"--libc {glibc,musl}", "Build platform-specific wheel.",
                           "Target libc for manylinux build (default: glibc), or\n                 "
                           "       both: glibc,musl",
                           "Do not compress the standalone executable."}) {
    EXPECT_NE(b.out.find(text), std::string::npos) << text;
  }
  Finished t = finished({"test", "--he"});
  EXPECT_NE(t.out.find(" [path]"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find(" [-- PYTEST_ARGS ...]\n"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("  -- PYTEST_ARGS ...    Words after -- go to pytest unchanged"),
            std::string::npos)
      << t.out;
  EXPECT_NE(finished({"requirements", "-h"}).out.find("[extras ...]"), std::string::npos);
  EXPECT_NE(t.out.find("\nglobal options (before or after the command word):\n  --no-sync  "),
            std::string::npos)
      << t.out;
}

struct UsageCase {
  std::vector<std::string> argv;
  std::string error; // the last line; it names the parser whose usage line comes first
};

void PrintTo(const UsageCase &c, std::ostream *os) {
  *os << "tarvo";
  for (const auto &word : c.argv) {
    *os << " " << word;
  }
}

class UsageErrors : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, UsageLineAndOneErrorLineWithStatus2) {
  const auto &c = GetParam();
  Finished f = finished(c.argv);
  EXPECT_EQ(f.status, 2);
  EXPECT_EQ(f.out, "");
  EXPECT_TRUE(f.err.starts_with("usage: " + c.error.substr(0, c.error.find(": error")) + " "))
      << f.err;
  auto last = f.err.substr(f.err.rfind('\n', f.err.size() - 2) + 1);
  EXPECT_EQ(last, c.error + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, UsageErrors,
    testing::Values(
        UsageCase{{}, "tarvo: error: the following arguments are required: command"},
        UsageCase{{"-C"}, "tarvo: error: argument --directory/-C: expected one argument"},
        UsageCase{{"--bogus", "status"}, "tarvo: error: unrecognized arguments: --bogus"},
        UsageCase{{"frobnicate"},
                  "tarvo: error: argument command: invalid choice: 'frobnicate' (choose from "
                  "'requirements', 'test', 'build', 'publish', 'clean', 'lint', 'status', "
                  "'config-diff', 'init')"},
        UsageCase{{"status", "-C", "sub"}, "tarvo status: error: unrecognized arguments: -C"},
        UsageCase{{"test", "--no-sync=1"},
                  "tarvo test: error: argument --no-sync: ignored explicit argument '1'"},
        UsageCase{{"clean", "extra"}, "tarvo clean: error: unrecognized arguments: extra"},
        UsageCase{{"test", "a", "b"}, "tarvo test: error: unrecognized arguments: b"},
        UsageCase{{"build", "--libc", "uclibc"},
                  "tarvo build: error: argument --libc: invalid choice: 'uclibc' (choose from "
                  "'glibc', 'musl')"},
        // A list's every item is checked.
        UsageCase{{"build", "--libc", "glibc, uclibc"},
                  "tarvo build: error: argument --libc: invalid choice: 'uclibc' (choose from "
                  "'glibc', 'musl')"},
        UsageCase{{"test", "--python", "3.11,"},
                  "tarvo test: error: argument --python: empty item in '3.11,'"},
        UsageCase{{"build", "--arch"},
                  "tarvo build: error: argument --arch: expected one argument"},
        UsageCase{{"build", "--arch", "--sdist"},
                  "tarvo build: error: argument --arch: expected one argument"},
        UsageCase{{"lint", "--col"},
                  "tarvo lint: error: ambiguous option: --col could match --colour, --color"},
        UsageCase{{"lint", "--fix=yes"},
                  "tarvo lint: error: argument --fix: ignored explicit argument 'yes'"},
        UsageCase{{"build", "--n"},
                  "tarvo build: error: ambiguous option: --n could match --native-wheel, "
                  "--no-compress"},
        UsageCase{{"build", "--frob"}, "tarvo build: error: unrecognized arguments: --frob"},
        // The words typed are shown escaped: they cannot drive the terminal.
        UsageCase{{"cle\x1b]0;X\a"},
                  "tarvo: error: argument command: invalid choice: 'cle\\x1b]0;X\\x07' (choose "
                  "from 'requirements', 'test', 'build', 'publish', 'clean', 'lint', 'status', "
                  "'config-diff', 'init')"},
        UsageCase{{"clean", "a\rb"}, "tarvo clean: error: unrecognized arguments: a\\rb"}));

struct SuggestionCase {
  std::vector<std::string> argv;
  std::string suggestion; // the line after the error line, or "" for none
};

void PrintTo(const SuggestionCase &c, std::ostream *os) { PrintTo(UsageCase{c.argv, ""}, os); }

class Suggestions : public testing::TestWithParam<SuggestionCase> {};

// A mistyped command word or long option keeps the usage error and gains one line naming the
// word meant, when one is close.
TEST_P(Suggestions, OneLineAfterTheErrorWhenAWordIsClose) {
  const auto &c = GetParam();
  Finished f = finished(c.argv);
  EXPECT_EQ(f.status, 2);
  auto lines = f.err.substr(f.err.find("\n", f.err.find(": error: ")) + 1);
  EXPECT_EQ(lines, c.suggestion.empty() ? "" : c.suggestion + "\n") << f.err;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, Suggestions,
    testing::Values(SuggestionCase{{"biuld"}, "tarvo: did you mean 'build'?"},
                    SuggestionCase{{"build", "--sdsit"}, "tarvo build: did you mean '--sdist'?"},
                    SuggestionCase{{"build", "--sdsit=x"}, "tarvo build: did you mean '--sdist'?"},
                    SuggestionCase{{"--no-snyc", "test"}, "tarvo: did you mean '--no-sync'?"},
                    SuggestionCase{{"stat"}, "tarvo: did you mean 'status'?"},
                    SuggestionCase{{"lint", "--fx"}, "tarvo lint: did you mean '--fix'?"},
                    SuggestionCase{{"confg-dif"}, "tarvo: did you mean 'config-diff'?"},
                    SuggestionCase{{"frobnicate"}, ""}, SuggestionCase{{"c"}, ""},
                    SuggestionCase{{"build", "--frob"}, ""}, SuggestionCase{{"lint", "--x"}, ""},
                    SuggestionCase{{"status", "-C", "sub"}, ""},
                    SuggestionCase{{"clean", "claen"}, ""},
                    SuggestionCase{{"build", "--libc", "gblic"}, ""},
                    // Far longer than any name: no search, no suggestion.
                    SuggestionCase{{std::string(120'000, 'b') + "uild"}, ""},
                    SuggestionCase{{"build", "--" + std::string(120'000, 's')}, ""}));
