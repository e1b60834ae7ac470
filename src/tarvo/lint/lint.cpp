#include "tarvo/lint/lint.hpp"

#include "tarvo/venv/runner.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fmt/format.h>
#include <future>
#include <thread>
#include <unistd.h>

namespace tarvo::lint {

namespace fs = std::filesystem;

namespace {

// How often the main thread looks at the checks, and so also the display's frame period.
constexpr auto POLL_PERIOD = std::chrono::milliseconds(100);

// Erases the current line and moves up one. Written once per check after each drawing, it
// clears the empty line under the block and the block's lower lines, leaving the cursor at the
// start of the block's first line for the next drawing (or the final report) to overwrite.
constexpr std::string_view ERASE_LINE_UP = "\x1b[2K\x1b[1A";

struct Tool {
  std::string name; // also the label printed for the check
  std::vector<std::string> args;
};

std::vector<Tool> tool_table(bool fix, bool workflow, bool colour) {
  std::vector<std::string> ruff = {"check"};
  if (fix) {
    ruff.push_back("--fix");
  }
  std::vector<std::string> self = {"config-diff"};
  if (workflow) {
    self.push_back("--workflow");
  }
  if (colour) {
    self.push_back("--colour");
  }
  return {{"ruff", ruff},
          {"basedpyright", {"--project=pyproject.toml"}},
          {"dodgy", {"--zero-exit"}},
          {"pyroma", {"."}},
          {"tarvo", self}};
}

fs::path running_executable() {
  std::error_code ec;
  auto exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) {
    throw os_error(ec.value(), "/proc/self/exe");
  }
  return exe;
}

// Whether some folder of the search path holds an entry named `program`, as execvp looks.
bool on_search_path(const std::string &program, const venv::Environment &env) {
  auto found = env.find("PATH");
  // The search path execvp falls back on when PATH is unset.
  std::string path = found != env.end() ? found->second : "/bin:/usr/bin";
  for (std::size_t start = 0;;) {
    auto end = path.find(':', start);
    auto dir = path.substr(start, end == std::string::npos ? end : end - start);
    if (access(((dir.empty() ? std::string(".") : dir) + "/" + program).c_str(), F_OK) == 0) {
      return true;
    }
    if (end == std::string::npos) {
      return false;
    }
    start = end + 1;
  }
}

venv::CompletedProcess run_self(const std::vector<std::string> &args) {
  auto env = venv::current_environment();
  auto &pythonpath = env["PYTHONPATH"];
  pythonpath = MODULE_PATH.string() + ":" + pythonpath;
  std::vector<std::string> argv = {"tarvo"};
  argv.insert(argv.end(), args.begin(), args.end());
  venv::ProcessOptions options{venv::Stream::Capture, venv::Stream::Capture, env};
  // Run from its build folder, the tool is on no search path; it then checks itself with the
  // running executable rather than losing every check's result to a start error.
  if (!on_search_path(argv.front(), env)) {
    options.program = running_executable();
  }
  return venv::run_process(std::move(argv), options);
}

std::string status_line(const std::string &name, const TaskResult &result) {
  if (result.returncode == 0) {
    return name + ": PASS";
  }
  return fmt::format("{}: FAIL ({})", name, result.returncode);
}

bool is_done(const std::shared_future<TaskResult> &future) {
  return future.wait_for(std::chrono::seconds::zero()) == std::future_status::ready;
}

} // namespace

const fs::path MODULE_PATH = [] {
  // Empty only where /proc is not mounted; the self-run then finds its package as usual.
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path();
}();

TaskResult run_lint_async(const venv::VirtualEnvironment &venv, const std::string &tool,
                          const std::vector<std::string> &args) {
  venv::CompletedProcess done;
  if (tool == "tarvo") {
    done = run_self(args);
  } else {
    std::vector<std::string> argv = {"-um", tool};
    argv.insert(argv.end(), args.begin(), args.end());
    done = venv.run(argv, {.capture_output = true});
  }
  return {done.returncode, done.stdout_text.value_or(""), done.stderr_text.value_or("")};
}

int run_lint(const venv::VirtualEnvironment &venv, const ProjectConfig &config, bool fix,
             bool workflow, bool colour) {
  auto groups = extra_names(config);
  venv.ensure_lint_tools(groups);
  std::vector<std::string> project_groups;
  std::copy_if(
      groups.begin(), groups.end(), std::back_inserter(project_groups),
      [](const std::string &name) { return name == "test" || name == "dev" || name == "lint"; });
  venv.install(project_groups);

  auto table = tool_table(fix, workflow, colour);
  int failed = 0;
  std::size_t spinner_idx = 0;

  // One worker per check, so all five children run at once. The workers are declared after
  // the futures: leaving this function, however it is left, joins them first.
  std::vector<std::shared_future<TaskResult>> futures;
  std::vector<std::jthread> pool;
  for (const auto &tool : table) {
    std::packaged_task<TaskResult()> task(
        [&venv, &tool] { return run_lint_async(venv, tool.name, tool.args); });
    futures.push_back(task.get_future().share());
    pool.emplace_back(std::move(task));
  }

  if (isatty(STDOUT_FILENO) == 0) {
    fmt::print(stdout, "Running linters...\n");
    std::fflush(stdout);
  }
  while (!std::all_of(futures.begin(), futures.end(), is_done)) {
    if (isatty(STDOUT_FILENO) == 0) {
      std::this_thread::sleep_for(POLL_PERIOD);
      continue;
    }
    spinner_idx = (spinner_idx + 1) % venv::SPINNER_FRAMES.size();
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (is_done(futures[i])) {
        fmt::print(stdout, "\r{}\n", status_line(table[i].name, futures[i].get()));
      } else {
        fmt::print(stdout, "\r{}: [{}]\n", table[i].name, venv::SPINNER_FRAMES[spinner_idx]);
      }
    }
    std::fflush(stdout);
    std::this_thread::sleep_for(POLL_PERIOD);
    for (std::size_t i = 0; i < table.size(); ++i) {
      fmt::print(stdout, "{}", ERASE_LINE_UP);
    }
  }
  pool.clear();

  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto &result = futures[i].get();
    fmt::print(stdout, "{}\n", status_line(table[i].name, result));
    if (result.returncode != 0) {
      // Each stream is flushed before the other is written, so that on one terminal the
      // lines keep their order.
      fmt::print(stdout, "{}\n", result.stdout_text);
      std::fflush(stdout);
      fmt::print(stderr, "{}\n", result.stderr_text);
      std::fflush(stderr);
      ++failed;
    }
  }
  if (failed != 0) {
    fmt::print(stdout, "{} failed\n", failed);
  }
  std::fflush(stdout);
  return failed;
}

} // namespace tarvo::lint
