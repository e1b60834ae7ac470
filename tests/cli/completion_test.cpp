// The shell completions and the manual page that the build generates from the grammar.
#include "harness.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

fs::path share() { return tarvo_binary().parent_path() / "share"; }

// What bash offers for the command line `words`, the last word being completed.
std::string bash_offers(const std::string &words) {
  auto script = "source \"$0\"; complete -p tarvo; COMP_WORDS=(tarvo " + words +
                "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tarvo; echo \"${COMPREPLY[*]}\"";
  auto r = run({"bash", "-c", script, (share() / "bash-completion/completions/tarvo").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

} // namespace

TEST(Completions, BashOffersCommandsOptionsAndChoices) {
  EXPECT_EQ(bash_offers("''"),
            "complete -F _tarvo tarvo\n-h --help --version --directory -C --no-sync "
            "requirements test build clean lint status config-diff init\n");
  EXPECT_EQ(bash_offers("-C sub c"), "complete -F _tarvo tarvo\nclean config-diff\n");
  EXPECT_EQ(bash_offers("lint --"), "complete -F _tarvo tarvo\n--help --fix --workflow --colour "
                                    "--color\n");
  EXPECT_EQ(bash_offers("build --libc ''"), "complete -F _tarvo tarvo\nglibc musl\n");
  EXPECT_EQ(bash_offers("build --arch ''"), "complete -F _tarvo tarvo\n\n");
}

TEST(Completions, ZshAndFishReadTheirFiles) {
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
                      "'glibc musl' -d 'Target libc for manylinux build (default: glibc)'"),
            std::string::npos);
}

TEST(ManualPage, RendersEveryCommandWithItsHelp) {
  RunOptions options;
  options.env = {{"MANWIDTH", "200"}, {"MAN_KEEP_FORMATTING", std::nullopt}};
  auto r = run({"man", "-P", "cat", "-l", (share() / "man/man1/tarvo.1").string()}, options);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char *text : {"tarvo - A Python module to replace Makefile workflows.",
                           "tarvo config-diff", "Force colour output even when not on a tty",
                           "--libc glibc|musl", "Script to run before starting the build.",
                           "EXIT STATUS", "NO_COLOR", "--no-sync", "TARVO_NO_SYNC"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
  }
}
