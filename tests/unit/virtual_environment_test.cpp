#include "tarvo/venv/virtual_environment.hpp"

#include "harness.hpp"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace tarvo::testing {

// Runs `body` with our standard output and error sent to memory files; returns what was
// written to each. (Used by the other process tests as well.)
std::pair<std::string, std::string> capture_output(const std::function<void()> &body) {
  // Flushes what stdio holds before each switch, so every text lands where it was written.
  struct Redirect {
    int target;
    int saved = dup(target);
    int file = memfd_create("output", MFD_CLOEXEC);
    explicit Redirect(int fd) : target(fd) {
      std::fflush(nullptr);
      dup2(file, target);
    }
    ~Redirect() {
      std::fflush(nullptr);
      dup2(saved, target);
      close(saved);
      close(file);
    }
    std::string text() const {
      std::fflush(nullptr);
      std::string out;
      char buffer[4096];
      for (ssize_t n;
           (n = pread(file, buffer, sizeof buffer, static_cast<off_t>(out.size()))) > 0;) {
        out.append(buffer, static_cast<std::size_t>(n));
      }
      return out;
    }
  };
  Redirect out(STDOUT_FILENO), err(STDERR_FILENO);
  body();
  return {out.text(), err.text()};
}

} // namespace tarvo::testing

namespace {

using namespace tarvo::venv;
namespace fs = std::filesystem;
using tarvo::testing::capture_output;
using tarvo::testing::read_file;
using tarvo::testing::stubs_dir;
using tarvo::testing::TempDir;

// Sets a variable for one test and puts the old value back afterwards.
class ScopedEnv {
public:
  ScopedEnv(const char *name, const std::optional<std::string> &value) : name_(name) {
    if (const char *old = std::getenv(name)) {
      old_ = old;
    }
    set(value);
  }
  ~ScopedEnv() { set(old_); }

private:
  void set(const std::optional<std::string> &value) {
    value ? setenv(name_, value->c_str(), 1) : unsetenv(name_);
  }
  const char *name_;
  std::optional<std::string> old_;
};

class VirtualEnvironmentTest : public ::testing::Test {
protected:
  // The calls of stand-in programs since the last look, one line each.
  std::vector<std::string> take_calls() {
    std::vector<std::string> out;
    if (!fs::exists(log_)) {
      return out;
    }
    auto text = read_file(log_);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      out.push_back(text.substr(start, end - start));
    }
    fs::remove(log_);
    return out;
  }

  // Constructs the environment quietly, returning its progress lines.
  std::string make(const fs::path &path, std::optional<VirtualEnvironment> &venv) {
    return capture_output([&] { venv.emplace(path); }).first;
  }

  TempDir dir_;
  fs::path log_ = dir_.path / "calls.log";
  fs::path venv_path_ = dir_.path / ".venv";
  ScopedEnv path_{"PATH", tarvo::testing::path_with(stubs_dir())};
  ScopedEnv stub_log_{"STUB_LOG", log_.string()};
  ScopedEnv stub_fail_{"STUB_FAIL", std::nullopt};
};

TEST_F(VirtualEnvironmentTest, CreatesAMissingEnvironmentThenBringsPipUpToDate) {
  std::optional<VirtualEnvironment> venv;
  EXPECT_EQ(make(venv_path_, venv),
            "Creating virtual environment...\nEnsuring pip is installed...\nUpgrading pip...\n");
  EXPECT_EQ(take_calls(), (std::vector<std::string>{
                              (stubs_dir() / "python").string() +
                                  " -m venv --system-site-packages " + venv_path_.string(),
                              (venv_path_ / "bin/python").string() + " -um ensurepip",
                              (venv_path_ / "bin/pip").string() + " install --upgrade pip",
                          }));
  EXPECT_TRUE(venv->exists());
  EXPECT_EQ(venv->path(), venv_path_);
  EXPECT_EQ(venv->python(), venv_path_ / "bin" / "python");
  EXPECT_EQ(venv->pip(), venv_path_ / "bin" / "pip");

  // Complete now: only the two pip steps run.
  EXPECT_EQ(make(venv_path_, venv), "Ensuring pip is installed...\nUpgrading pip...\n");
  EXPECT_EQ(take_calls().size(), 2u);

  // A missing pip makes it incomplete, and it is created again over the same folder.
  fs::remove(venv_path_ / "bin" / "pip");
  EXPECT_FALSE(venv->exists());
  EXPECT_EQ(make(venv_path_, venv),
            "Creating virtual environment...\nEnsuring pip is installed...\nUpgrading pip...\n");
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
    EXPECT_EQ(e.message(), "[Errno 40] Too many levels of symbolic links: '" +
                               (dir_.path / "loop-a").string() + "'");
  }
  // A dangling link is not an environment: creation runs for it.
  take_calls();
  make(dir_.path / "dangling", venv);
  EXPECT_EQ(take_calls().front(), (stubs_dir() / "python").string() +
                                      " -m venv --system-site-packages " +
                                      (dir_.path / "nowhere").string());
}

TEST_F(VirtualEnvironmentTest, GetVenvUsesDotVenvOfTheCurrentDirectory) {
  auto cwd = fs::current_path();
  fs::current_path(dir_.path);
  std::optional<VirtualEnvironment> venv;
  capture_output([&] { venv.emplace(get_venv()); });
  fs::current_path(cwd);
  EXPECT_EQ(venv->path(), venv_path_);
  EXPECT_TRUE(fs::is_directory(venv_path_ / "bin"));
}

struct StepCase {
  std::string name;
  std::function<void(const VirtualEnvironment &)> step;
  std::string action;
  std::string args; // after the pip path
};

class VirtualEnvironmentStepTest : public VirtualEnvironmentTest,
                                   public ::testing::WithParamInterface<StepCase> {};

TEST_P(VirtualEnvironmentStepTest, RunsPipWithExactArguments) {
  std::optional<VirtualEnvironment> venv;
  make(venv_path_, venv);
  take_calls();
  auto [out, err] = capture_output([&] { GetParam().step(*venv); });
  EXPECT_EQ(out, GetParam().action + "...\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(take_calls(), std::vector<std::string>{venv->pip().string() + " " + GetParam().args});
}

INSTANTIATE_TEST_SUITE_P(
    Steps, VirtualEnvironmentStepTest,
    ::testing::Values(StepCase{"BuildTools", [](auto &v) { v.ensure_build_tools(); },
                               "Installing build tools", "install build wheel"},
                      StepCase{"TestTools", [](auto &v) { v.ensure_test_tools(); },
                               "Installing test tools", "install -e .[test]"},
                      StepCase{"LintToolsAlone", [](auto &v) { v.ensure_lint_tools({}); },
                               "Installing lint tools",
                               "install ruff vulture basedpyright dodgy pyroma"},
                      StepCase{"LintToolsWithGroups",
                               [](auto &v) {
                                 v.ensure_lint_tools({"dev", "test"});
                               },
                               "Installing lint tools",
                               "install ruff vulture basedpyright dodgy pyroma -e .[dev,test]"},
                      StepCase{"InstallWithoutGroups", [](auto &v) { v.install(); },
                               "Installing requirements", "install --quiet --editable ."},
                      StepCase{"InstallInGivenOrder",
                               [](auto &v) {
                                 v.install({"web", "test", "web"});
                               },
                               "Installing requirements",
                               "install --quiet --editable .[web,test,web]"}),
    [](const auto &info) { return info.param.name; });

TEST_F(VirtualEnvironmentTest, FailingStepIsEchoedAndRaised) {
  ScopedEnv fail("STUB_FAIL", "install --upgrade");
  std::optional<CalledProcessError> error;
  auto [out, err] = capture_output([&] {
    try {
      VirtualEnvironment venv(venv_path_);
    } catch (const CalledProcessError &e) {
      error = e;
    }
  });
  EXPECT_EQ(out, "Creating virtual environment...\nEnsuring pip is installed...\nUpgrading "
                 "pip...\nstub out\n\n");
  EXPECT_EQ(err, "stub err\n\n");
  ASSERT_TRUE(error);
  auto pip = (venv_path_ / "bin" / "pip").string();
  EXPECT_EQ(error->returncode, 1);
  EXPECT_EQ(error->args, (std::vector<std::string>{pip, "install", "--upgrade", "pip"}));
  EXPECT_EQ(error->stdout_text, "stub out\n");
  EXPECT_EQ(error->stderr_text, "stub err\n");
  EXPECT_EQ(error->message(), "Command '['" + pip +
                                  "', 'install', '--upgrade', 'pip']' returned non-zero exit "
                                  "status 1.");
}

TEST_F(VirtualEnvironmentTest, MissingPythonIsNamed) {
  TempDir empty;
  ScopedEnv path("PATH", empty.path.string());
  try {
    capture_output([&] { VirtualEnvironment venv(venv_path_); });
    ADD_FAILURE() << "constructed without python";
  } catch (const tarvo::Error &e) {
    EXPECT_EQ(e.kind(), "FileNotFoundError");
    EXPECT_EQ(e.message(), "[Errno 2] No such file or directory: 'python'");
  }
  EXPECT_FALSE(fs::exists(venv_path_));
}

// The stand-in interpreter runs "-c" scripts with sh.
TEST_F(VirtualEnvironmentTest, RunPassesOutputThroughOrCapturesIt) {
  std::optional<VirtualEnvironment> venv;
  make(venv_path_, venv);
  take_calls();

  CompletedProcess passed;
  auto [out, err] = capture_output([&] { passed = venv->run({"-c", "echo out; exit 4"}); });
  EXPECT_EQ(out, "out\n");
  EXPECT_EQ(passed.returncode, 4);
  EXPECT_FALSE(passed.stdout_text);
  EXPECT_FALSE(passed.stderr_text);
  EXPECT_EQ(take_calls(),
            std::vector<std::string>{venv->python().string() + " -c echo out; exit 4"});

  ScopedEnv ours("TARVO_VENV_TEST", "ours");
  auto captured =
      venv->run({"-c", "printf '%s %s %s' \"$TARVO_VENV_TEST\" \"$ADDED\" \"$PATH\"; "
                       "printf e >&2"},
                {.env = {{"TARVO_VENV_TEST", "theirs"}, {"ADDED", "1"}}, .capture_output = true});
  EXPECT_EQ(captured.stdout_text, "theirs 1 " + std::string(std::getenv("PATH")));
  EXPECT_EQ(captured.stderr_text, "e");
  EXPECT_EQ(captured.args.front(), venv->python().string());
}

TEST_F(VirtualEnvironmentTest, ChronicRunIsQuietUntilItFails) {
  std::optional<VirtualEnvironment> venv;
  make(venv_path_, venv);

  std::optional<CalledProcessError> error;
  auto [out, err] = capture_output([&] {
    venv->run({"-c", "echo fine"}, {.chronic = true});
    try {
      venv->run({"-c", "echo bad; exit 5"}, {.env = {{"X", "1"}}, .chronic = true});
    } catch (const CalledProcessError &e) {
      error = e;
    }
  });
  EXPECT_EQ(out, "bad\n\n");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->returncode, 5);
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
  for (auto &worker : workers) {
    worker.join();
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    EXPECT_EQ(outputs[i], std::to_string(i));
  }
}

} // namespace
