#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/container/target.hpp"

#include "harness.hpp"
#include "tarvo/process/process.hpp"

#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace {

using namespace tarvo::container;
namespace fs = std::filesystem;
using namespace tarvo::testing;

TEST(Targets, MapsTheTarget) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  using Triples = std::vector<std::tuple<std::string, std::string, std::string>>;
  for (const auto &[version, expected] : Pairs{{"3.11", "cp311-cp311"},
                                               {"3.9", "cp39-cp39"},
                                               {"3.10.4", "cp3104-cp3104"},
                                               {"311", "cp311-cp311"}}) {
    EXPECT_EQ(get_python_interpreter(version), expected);
  }
  for (const auto &[arch, libc, expected] : Triples{
           {"armv7l", "musl", "musllinux_1_2_armv7l"},
           {"x86_64", "musl", "musllinux_1_2_x86_64"},
           {"armv7l", "glibc", "manylinux_2_35_armv7l"},
           {"riscv64", "glibc", "manylinux_2_39_riscv64"},
           {"aarch64", "glibc", "manylinux_2_34_aarch64"},
       }) {
    EXPECT_EQ(get_manylinux_image({arch, parse_libc(libc)}), expected);
  }
  for (const auto &[arch, expected] : Pairs{{"i686", "linux/386"},
                                            {"armv7l", "linux/arm/v7"},
                                            {"x86_64", "linux/x86_64"},
                                            {"aarch64", "linux/aarch64"},
                                            {"riscv64", "linux/riscv64"}}) {
    EXPECT_EQ(get_platform(arch), expected);
  }
  for (const auto &[python, libc, expected] :
       Triples{{"3.12", "musl", "python:3.12-alpine"}, {"3.12", "glibc", "python:3.12"}}) {
    EXPECT_EQ(get_python_image({"x86_64", parse_libc(libc), python}), expected);
  }
  // The C library is one of two, named exactly.
  for (const char *other : {"MUSL", "Musl", "uclibc", ""}) {
    EXPECT_THROW(parse_libc(other), tarvo::Error) << other;
  }
  EXPECT_EQ(name(parse_libc("musl")), "musl");
  EXPECT_EQ(name(parse_libc("glibc")), "glibc");
}

TEST(Script, RowsKeepTheirLinesAndPrependJoinsTheFirst) {
  Script script;
  script.line("").line("cd /src").line("a\nb").line_if(false, "skipped").line("end");
  EXPECT_EQ(script.text(), "\ncd /src\na\nb\n\nend\n");
  script.prepend("second;").prepend("first;");
  EXPECT_EQ(script.text(), "first;second;\ncd /src\na\nb\n\nend\n");
}

// A value from the command line or a cloned project stays one word and runs nothing; a value
// the shell takes literally is spliced as it is.
TEST(Script, ValuesBecomeOneInertShellWord) {
  using Case = std::tuple<std::string, std::string, std::string>;
  for (const auto &[value, word, quoted] : std::vector<Case>{
           {"x86_64", "x86_64", "\"x86_64\""},
           {"dist/pkg-1.0+local-py3-none-any.whl", "dist/pkg-1.0+local-py3-none-any.whl",
            "\"dist/pkg-1.0+local-py3-none-any.whl\""},
           {"a;rm -rf /", "'a;rm -rf /'", "\"a;rm -rf /\""},
           {"dist/pkg-1.0-py3-none-any.whl[test]", "'dist/pkg-1.0-py3-none-any.whl[test]'",
            "\"dist/pkg-1.0-py3-none-any.whl[test]\""},
           {"$(id)", "'$(id)'", "'$(id)'"},
           {"it's", "'it'\\''s'", "\"it's\""},
           {"\"quoted\" `x`", "'\"quoted\" `x`'", "'\"quoted\" `x`'"},
           {"", "''", "\"\""},
       }) {
    EXPECT_EQ(shell_word(value), word) << value;
    EXPECT_EQ(double_quoted(value), quoted) << value;
    // The shell reads both back as the value.
    for (const auto &text : {word, quoted}) {
      auto echoed = tarvo::process::run({"sh", "-c", "printf %s " + text},
                                        {tarvo::process::Redirect::Capture});
      EXPECT_EQ(echoed.stdout_text, value) << text;
    }
  }
}

class DockerTest : public ::testing::Test {
protected:
  std::string calls() { return fs::exists(log_) ? read_file(log_) : std::string(); }
  TempDir dir_;
  fs::path log_ = dir_.path / "calls.log";
  ScopedEnv path_{"PATH", path_with(stubs_dir())};
  ScopedEnv stub_log_{"STUB_LOG", log_.string()};
  ScopedEnv stub_fail_{"STUB_FAIL", std::nullopt};
};

TEST_F(DockerTest, CheckDockerAsksForTheVersionQuietly) {
  bool present = false, failing = true, missing = true;
  auto [out, err] = capture_output([&] {
    present = check_docker();
    ScopedEnv fail("STUB_FAIL", "--version");
    failing = check_docker();
    ScopedEnv path("PATH", dir_.path.string());
    missing = check_docker();
  });
  EXPECT_TRUE(present);
  EXPECT_FALSE(failing);
  EXPECT_FALSE(missing);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  auto docker = (stubs_dir() / "docker").string();
  EXPECT_EQ(calls(), docker + " --version\n" + docker + " --version\n");
}

TEST_F(DockerTest, RegisterBinfmtOnlyForAForeignArchitecture) {
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(host_machine(), names.machine);

  register_binfmt(names.machine);
  EXPECT_EQ(calls(), "");

  auto foreign = std::string(names.machine) == "aarch64" ? "x86_64" : "aarch64";
  register_binfmt(foreign);
  register_binfmt(foreign);
  auto line = (stubs_dir() / "docker").string() + " run --privileged --rm " +
              std::string(BINFMT_IMAGE) + " --install all\n";
  EXPECT_EQ(calls(), line + line);
}

TEST_F(DockerTest, RegisterBinfmtFailureIsRaised) {
  ScopedEnv fail("STUB_FAIL", "--install");
  std::optional<tarvo::process::CalledProcessError> error;
  auto [out, err] = capture_output([&] {
    try {
      register_binfmt("not-this-host");
    } catch (const tarvo::process::CalledProcessError &e) {
      error = e;
    }
  });
  // The container's output is not captured: it reaches our own streams.
  EXPECT_EQ(out, "stub out\n");
  EXPECT_EQ(err, "stub err\n");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->returncode, 1);
  EXPECT_EQ(error->args, (std::vector<std::string>{"docker", "run", "--privileged", "--rm",
                                                   std::string(BINFMT_IMAGE), "--install", "all"}));
  EXPECT_FALSE(error->stdout_text);
  EXPECT_FALSE(error->stderr_text);
}

} // namespace
