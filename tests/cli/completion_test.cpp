// The shell completions and the manual page that the build generates from the grammar.
#include "harness.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

fs::path share() { return tarvo_binary().parent_path() / "share"; }

// The program is on the search path (fish is not on every system: macOS's comes from brew).
bool installed(const std::string &program) {
  return run({"sh", "-c", "command -v \"$0\"", program}).status == 0;
}

// What bash offers for the command line `words`, the last word being completed, in `cwd`.
std::string bash_offers(const std::string &words, const fs::path &cwd = ".") {
  auto script = "source \"$0\"; complete -p tarvo; COMP_WORDS=(tarvo " + words +
                "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tarvo; echo \"${COMPREPLY[*]}\"";
  auto r = run({"bash", "-c", script, (share() / "bash-completion/completions/tarvo").string()},
               {.cwd = cwd});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  return r.out;
}

// A project whose groups are test, web and dev, and one more key that names no group but
// would run a command if a shell expanded it.
void write_project(const fs::path &folder) {
  write_file(folder / "pyproject.toml",
             "[project]\nname = 'demo'\n\n[project.optional-dependencies] # groups\n"
             "test = [\n  \"pytest>=8\",\n  \"cov[toml]\",\n]\nweb = []\n\"dev\" = []\n"
             "\"$(touch pwned)\" = []\n\n[tool.ruff]\nexclude = [\"x\"]\n");
}

} // namespace

TEST(Completions, BashOffersCommandsOptionsAndChoices) {
  EXPECT_EQ(bash_offers("''"),
            "complete -F _tarvo tarvo\n-h --help --version --directory -C --no-sync "
            "requirements test build publish clean lint status config-diff init\n");
  EXPECT_EQ(bash_offers("-C sub c"), "complete -F _tarvo tarvo\nclean config-diff\n");
  // --no-sync may follow the command word too.
  EXPECT_EQ(bash_offers("lint --"), "complete -F _tarvo tarvo\n--help --fix --workflow --colour "
                                    "--color --no-sync\n");
  EXPECT_EQ(bash_offers("build --libc ''"), "complete -F _tarvo tarvo\nglibc musl\n");
  EXPECT_EQ(bash_offers("build --arch ''"), "complete -F _tarvo tarvo\n\n");
  // test offers "--", after which its words are pytest's: files, never tarvo's options.
  TempDir tmp;
  write_file(tmp.path / "test_one.py", "");
  EXPECT_EQ(bash_offers("test --w", tmp.path), "complete -F _tarvo tarvo\n--wheel\n");
  EXPECT_EQ(bash_offers("test --", tmp.path), "complete -F _tarvo tarvo\n--help --wheel --arch "
                                              "--libc --python --setup --verbose --no-sync --\n");
  EXPECT_EQ(bash_offers("test -- -k ''", tmp.path), "complete -F _tarvo tarvo\ntest_one.py\n");
  EXPECT_EQ(bash_offers("test -- --w", tmp.path), "complete -F _tarvo tarvo\n\n");
  // publish takes files.
  EXPECT_EQ(bash_offers("publish --", tmp.path),
            "complete -F _tarvo tarvo\n--help --repository --skip-existing --dry-run --no-sync\n");
  EXPECT_EQ(bash_offers("publish --dry-run test_", tmp.path),
            "complete -F _tarvo tarvo\ntest_one.py\n");
}

// After `tarvo requirements`, bash and zsh offer the groups of the project in the current or
// -C folder, and quietly none where there is no pyproject.toml.
TEST(Completions, RequirementsOffersTheProjectsGroups) {
  TempDir tmp;
  write_project(tmp.path / "proj");
  const std::string offers = "complete -F _tarvo tarvo\n-h --help --no-sync test web dev\n";
  EXPECT_EQ(bash_offers("requirements ''", tmp.path / "proj"), offers);
  EXPECT_EQ(bash_offers("requirements test w", tmp.path / "proj"),
            "complete -F _tarvo tarvo\nweb\n");
  for (const std::string directory :
       {"-C proj", "-Cproj", "--directory = proj", "--directory=proj"}) {
    EXPECT_EQ(bash_offers(directory + " requirements ''", tmp.path), offers) << directory;
  }
  EXPECT_EQ(bash_offers("requirements ''", tmp.path),
            "complete -F _tarvo tarvo\n-h --help --no-sync\n");
  EXPECT_EQ(bash_offers("-C missing requirements ''", tmp.path),
            "complete -F _tarvo tarvo\n-h --help --no-sync\n");

  // zsh, interactive on a terminal (where its line editor writes to standard error): Tab lists
  // the groups; the line is then killed unrun (Ctrl-A, Ctrl-K).
  auto zsh = run_in_pty({"zsh", "-f", "-i"},
                        {.cwd = tmp.path,
                         .input = "fpath=(" + (share() / "zsh/site-functions").string() +
                                  " $fpath); autoload -U compinit; compinit -u -D\n"
                                  "tarvo -C proj requirements \t\x01\x0b"
                                  "tarvo test --\t\x01\x0b"
                                  "exit\n"},
                        true);
  EXPECT_EQ(zsh.status, 0) << zsh.err;
  EXPECT_NE(zsh.screen.find("dev   test  web"), std::string::npos) << zsh.screen;
  EXPECT_NE(zsh.screen.find("-- Words after -- go to pytest unchanged"), std::string::npos)
      << zsh.screen;
  EXPECT_FALSE(fs::exists(tmp.path / "pwned"));
  EXPECT_FALSE(fs::exists(tmp.path / "proj" / "pwned"));
}

// fish offers the groups after requirements as well, from the -C folder when one is given,
// and says what "--" does after test.
TEST(Completions, FishOffersTheProjectsGroupsAndPytestsWords) {
  if (!installed("fish")) {
    GTEST_SKIP() << "fish is not installed";
  }
  TempDir tmp;
  write_project(tmp.path / "proj");
  auto fish = [&](const std::string &line, const fs::path &cwd) {
    auto r =
        run({"fish", "--no-config", "-c", "set fish_complete_path $argv[1]; complete -C $argv[2]",
             (share() / "fish/vendor_completions.d").string(), line},
            {.cwd = cwd});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
  };
  const std::string groups = "dev\ntest\nweb\n";
  EXPECT_EQ(fish("tarvo requirements ", tmp.path / "proj"), groups);
  for (const std::string directory :
       {"-C proj", "-Cproj", "--directory proj", "--directory=proj", "--no-sync -C proj"}) {
    EXPECT_EQ(fish("tarvo " + directory + " requirements t", tmp.path), "test\n") << directory;
  }
  EXPECT_EQ(fish("tarvo requirements ", tmp.path), "");
  EXPECT_FALSE(fs::exists(tmp.path / "pwned"));
  EXPECT_FALSE(fs::exists(tmp.path / "proj" / "pwned"));
  EXPECT_NE(fish("tarvo test -", tmp.path).find("--\tWords after -- go to pytest unchanged"),
            std::string::npos);
}

TEST(Completions, ZshAndFishReadTheirFiles) {
  if (!installed("fish")) {
    GTEST_SKIP() << "fish is not installed";
  }
  for (const auto &[shell, file] : std::vector<std::pair<std::vector<std::string>, fs::path>>{
           {{"zsh", "-n"}, share() / "zsh/site-functions/_tarvo"},
           {{"fish", "--no-execute"}, share() / "fish/vendor_completions.d/tarvo.fish"}}) {
    auto argv = shell;
    argv.push_back(file.string());
    auto r = run(argv);
    EXPECT_EQ(r.status, 0) << shell[0] << ": " << r.err;
  }
  auto fish = read_file(share() / "fish/vendor_completions.d/tarvo.fish");
  EXPECT_NE(fish.find("complete -c tarvo -n '__fish_seen_subcommand_from build' -l libc -x -a "
                      "'glibc musl' -d 'Target libc for manylinux build (default: glibc), or both: "
                      "glibc,musl'"),
            std::string::npos);
}

TEST(ManualPage, RendersEveryCommandWithItsHelp) {
  RunOptions options;
  options.env = {{"MANWIDTH", "200"}, {"MAN_KEEP_FORMATTING", std::nullopt}};
  const auto page = (share() / "man/man1/tarvo.1").string();
  auto r = run({"man", "-P", "cat", "-l", page}, options);
  // -l is man-db's: elsewhere (macOS, the BSDs) mandoc renders the file.
  if (r.status != 0 && installed("mandoc")) {
    r = run({"sh", "-c", "mandoc -T utf8 -O width=200 \"$0\" | col -b", page});
  }
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char *text :
       {"tarvo - A Python module to replace Makefile workflows.", "tarvo config-diff",
        "Force colour output even when not on a tty", "--libc glibc|musl",
        "Script to run before starting the build.", "EXIT STATUS", "NO_COLOR", "--no-sync",
        "TARVO_NO_SYNC", "TARVO_CONTAINER_COPY", "TARVO_ENGINES", "[path] [-- PYTEST_ARGS ...]",
        "Words after -- go to pytest unchanged", "--license SPDX", "--json", "tarvo publish",
        "--repository NAME_OR_URL", "[FILE ...]", "TARVO_PUBLISH_TOKEN"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
  }
}
