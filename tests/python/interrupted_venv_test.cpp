// Ctrl-C while tarvo creates a real .venv (python -m venv, then the environment's ensurepip,
// each a child of the one before): tarvo exits only once nothing it started runs any more, and
// the next command makes the environment again, whole. Run with pidfd_open working and refused.
#include "real_python.hpp"

#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <utility>

using namespace tarvo::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The processes whose command line names `path`.
std::vector<std::string> running_with(const fs::path &path) {
  std::vector<std::string> found;
  for (const auto &entry : fs::directory_iterator("/proc")) {
    auto pid = entry.path().filename().string();
    std::error_code ec;
    if (pid.find_first_not_of("0123456789") != std::string::npos ||
        !fs::exists(entry.path() / "cmdline", ec)) {
      continue;
    }
    std::string cmdline;
    try {
      cmdline = read_file(entry.path() / "cmdline");
      auto state = read_file(entry.path() / "status");
      if (state.find("State:\tZ") != std::string::npos) {
        continue;
      }
    } catch (const std::exception &) {
      continue; // ended meanwhile
    }
    if (cmdline.find(path.string()) != std::string::npos) {
      found.push_back(pid + " " + cmdline);
    }
  }
  return found;
}

class InterruptedVenv : public RealPython, public ::testing::WithParamInterface<bool> {};

} // namespace

TEST_P(InterruptedVenv, NothingRunsOnAndTheNextCommandStartsAfresh) {
  for (const auto &[name, content] : setuptools_project("tiny")) {
    write_file(tmp.path / name, content);
  }
  if (GetParam()) {
    options.env["LD_PRELOAD"] = NO_PIDFD_SHIM;
  }
  auto o = options;
  // Ctrl-C at some moment while the environment's pip is being installed.
  std::mt19937 random(std::random_device{}());
  auto delay = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 1500)(random));
  o.meanwhile = [this, delay](pid_t, int terminal) {
    for (int i = 0; i < 1200 && !fs::exists(tmp.path / ".venv" / "bin" / "python"); ++i) {
      std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(delay);
    ASSERT_EQ(write(terminal, "\x03", 1), 1);
  };
  auto interrupted = run_in_pty({tarvo_binary().string(), "requirements"}, o);
  // Ended by the interrupt, or finished just before it.
  EXPECT_TRUE(interrupted.status == 130 || interrupted.status == 0)
      << interrupted.status << " after " << delay.count() << " ms\n"
      << interrupted.screen << interrupted.err;
  EXPECT_EQ(running_with(tmp.path), std::vector<std::string>{}) << delay.count() << " ms";

  // Once per run of the test program: the stress target repeats the case for the interrupt.
  static bool checked_again = false;
  if (!std::exchange(checked_again, true)) {
    auto again = run_tarvo({"status"}, options);
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_TRUE(fs::exists(tmp.path / ".venv" / "bin" / "pip"));
  }
}

INSTANTIATE_TEST_SUITE_P(Waits, InterruptedVenv, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "WithoutPidfd" : "Pidfd"; });
