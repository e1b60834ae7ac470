#include "tarvo/venv/virtual_environment.hpp"

#include "harness.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace tarvo::venv;
using tarvo::process::CalledProcessError;
using tarvo::process::CompletedProcess;
using namespace tarvo::testing;
namespace fs = std::filesystem;

class VirtualEnvironmentTest : public ::testing::Test {
protected:
  // Constructs the environment quietly, returning its progress lines.
  std::string make(const fs::path &path, std::optional<VirtualEnvironment> &venv) {
    return capture_output([&] { venv.emplace(context_, path); }).first;
  }

  tarvo::process::Context context_;
  TempDir dir_;
  fs::path log_ = dir_.path / "calls.log";
  fs::path venv_path_ = dir_.path / ".venv";
  ScopedEnv path_{"PATH", path_with(stubs_dir())};
  ScopedEnv stub_log_{"STUB_LOG", log_.string()};
  ScopedEnv stub_fail_{"STUB_FAIL", std::nullopt};
};

TEST_F(VirtualEnvironmentTest, CreatesAMissingOrIncompleteEnvironment) {
  const std::string created =
      "Creating virtual environment...\nEnsuring pip is installed...\nUpgrading pip...\n";
  std::optional<VirtualEnvironment> venv;
  EXPECT_EQ(make(venv_path_, venv), created);
  EXPECT_EQ(take_lines(log_), (std::vector<std::string>{
                                  (stubs_dir() / "python").string() +
                                      " -m venv --system-site-packages " + venv_path_.string(),
                                  (venv_path_ / "bin/python").string() + " -um ensurepip",
                                  (venv_path_ / "bin/pip").string() + " install --upgrade pip",
                              }));
  EXPECT_TRUE(venv->exists());
  EXPECT_EQ(venv->pip(), venv_path_ / "bin" / "pip");

  // A missing pip makes it incomplete, and it is created again over the same folder.
  fs::remove(venv_path_ / "bin" / "pip");
  EXPECT_FALSE(venv->exists());
  EXPECT_EQ(make(venv_path_, venv), created);
  EXPECT_TRUE(venv->exists());
}

TEST_F(VirtualEnvironmentTest, PathIsCanonical) {
  std::optional<VirtualEnvironment> venv;
  make(dir_.path / "real", venv);
  fs::create_directory_symlink(dir_.path / "real", dir_.path / "link");
  fs::create_symlink(dir_.path / "nowhere", dir_.path / "dangling");

  for (const auto &[given, expected] : std::vector<std::pair<fs::path, fs::path>>{
           {dir_.path / "link", dir_.path / "real"},
           {dir_.path / "link" / ".", dir_.path / "real"},
           {dir_.path / "new" / ".." / "real", dir_.path / "real"},
           {dir_.path / "link" / "inner", dir_.path / "real" / "inner"},
       }) {
    make(given, venv);
    EXPECT_EQ(venv->path(), expected) << given;
    EXPECT_EQ(venv->python(), expected / "bin" / "python");
  }
  fs::create_symlink(dir_.path / "loop-b", dir_.path / "loop-a");
  fs::create_symlink(dir_.path / "loop-a", dir_.path / "loop-b");
  try {
    make(dir_.path / "loop-a", venv);
    ADD_FAILURE() << "a link loop resolved";
  } catch (const tarvo::Error &e) {
    // ELOOP is 40 on Linux, 62 on macOS and the BSDs.
    EXPECT_EQ(e.message(), "[Errno " + std::to_string(ELOOP) + "] " + std::strerror(ELOOP) + ": '" +
                               (dir_.path / "loop-a").string() + "'");
  }
  // A dangling link is not an environment: creation runs for it.
  take_lines(log_);
  make(dir_.path / "dangling", venv);
  EXPECT_EQ(take_lines(log_).front(), (stubs_dir() / "python").string() +
                                          " -m venv --system-site-packages " +
                                          (dir_.path / "nowhere").string());
}

TEST_F(VirtualEnvironmentTest, GetVenvUsesDotVenvOfTheCurrentDirectory) {
  std::optional<VirtualEnvironment> venv;
  {
    InDir in(dir_.path);
    capture_output([&] { venv.emplace(get_venv(context_)); });
  }
  EXPECT_EQ(venv->path(), venv_path_);
  EXPECT_TRUE(fs::is_directory(venv_path_ / "bin"));
}

// The lint and requirements steps are checked with their exact argument vectors through
// run_lint and the commands.
TEST_F(VirtualEnvironmentTest, ToolStepsRunPipWithExactArguments) {
  std::optional<VirtualEnvironment> venv;
  make(venv_path_, venv);
  take_lines(log_);
  auto [out, err] = capture_output([&] {
    venv->ensure_build_tools();
    venv->ensure_test_tools();
  });
  EXPECT_EQ(out, "Installing build tools...\nInstalling test tools...\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(take_lines(log_),
            (std::vector<std::string>{venv->pip().string() + " install build wheel",
                                      venv->pip().string() + " install -e .[test]"}));
}

// The stand-in interpreter runs "-c" scripts with sh.
TEST_F(VirtualEnvironmentTest, RunPassesOutputThroughCapturesItOrEchoesAFailure) {
  std::optional<VirtualEnvironment> venv;
  make(venv_path_, venv);
  take_lines(log_);

  CompletedProcess passed;
  std::optional<CalledProcessError> error;
  auto [out, err] = capture_output([&] {
    passed = venv->run({"-c", "echo out; exit 4"});
    venv->run({"-c", "echo fine"}, {.chronic = true});
    try {
      venv->run({"-c", "echo bad; exit 5"}, {.chronic = true});
    } catch (const CalledProcessError &e) {
      error = e;
    }
  });
  EXPECT_EQ(out, "out\nbad\n\n");
  EXPECT_EQ(passed.returncode, 4);
  EXPECT_FALSE(passed.stdout_text || passed.stderr_text);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->returncode, 5);
  EXPECT_EQ(take_lines(log_).front(), venv->python().string() + " -c echo out; exit 4");

  ScopedEnv ours("TARVO_VENV_TEST", "ours");
  auto captured =
      venv->run({"-c", "printf '%s %s %s' \"$TARVO_VENV_TEST\" \"$ADDED\" \"$PATH\"; "
                       "printf e >&2"},
                {.env = {{"TARVO_VENV_TEST", "theirs"}, {"ADDED", "1"}}, .capture_output = true});
  EXPECT_EQ(captured.stdout_text, "theirs 1 " + std::string(std::getenv("PATH")));
  EXPECT_EQ(captured.stderr_text, "e");
  EXPECT_EQ(captured.args.front(), venv->python().string());
}

TEST_F(VirtualEnvironmentTest, RunFromSeveralThreadsAtOnce) {
  std::optional<VirtualEnvironment> venv;
  make(venv_path_, venv);
  std::vector<std::optional<std::string>> outputs(4);
  std::vector<std::thread> workers;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    workers.emplace_back([&, i] {
      outputs[i] = venv->run({"-c", "sleep 0.2; printf \"$N\""},
                             {.env = {{"N", std::to_string(i)}}, .capture_output = true})
                       .stdout_text;
    });
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    workers[i].join();
    EXPECT_EQ(outputs[i], std::to_string(i));
  }
}

} // namespace
