#include "tarvo/lint/lint.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/programs.hpp"
#include "tarvo/process/timing.hpp"
#include "tarvo/process/workers.hpp"

#include <algorithm>
#include <chrono>
#include <fmt/format.h>
#include <future>

namespace tarvo::lint {

namespace fs = std::filesystem;

namespace {

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

process::CompletedProcess run_self(const process::Context &context,
                                   const std::vector<std::string> &args) {
  auto env = process::current_environment();
  auto &pythonpath = env["PYTHONPATH"];
  pythonpath = MODULE_PATH.string() + ":" + pythonpath;
  std::vector<std::string> argv = {"tarvo"};
  argv.insert(argv.end(), args.begin(), args.end());
  process::ProcessOptions options{process::Redirect::Capture, process::Redirect::Capture, env};
  // Run from its build folder, the tool is on no search path; it then checks itself with the
  // running executable rather than losing every check's result to a start error.
  if (!process::on_search_path(argv.front(), env)) {
    options.program = process::running_executable();
  }
  return context.run(std::move(argv), options);
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

// A check that could not be started: the display stops, and its error is raised once the
// other checks have finished.
bool ended_in_error(const std::shared_future<TaskResult> &future) {
  if (!is_done(future)) {
    return false;
  }
  try {
    future.get();
    return false;
  } catch (...) {
    return true;
  }
}

} // namespace

const fs::path MODULE_PATH = [] {
  // Empty only where /proc is not mounted; the self-run then finds its package as usual.
  try {
    return process::running_executable().parent_path().parent_path();
  } catch (const Error &) {
    return fs::path();
  }
}();

TaskResult run_lint_async(const venv::VirtualEnvironment &venv, const std::string &tool,
                          const std::vector<std::string> &args) {
  process::CompletedProcess done;
  if (tool == "tarvo") {
    done = run_self(venv.context(), args);
  } else {
    std::vector<std::string> argv = {venv.safe_path_option(), "-um", tool};
    argv.insert(argv.end(), args.begin(), args.end());
    done = venv.run(argv, {.capture_output = true});
  }
  return {done.returncode, std::move(done.stdout_text).value_or(""),
          std::move(done.stderr_text).value_or("")};
}

int run_lint(const venv::VirtualEnvironment &venv, const project::ProjectConfig &config, bool fix,
             bool workflow, bool colour) {
  if (venv.syncs()) {
    auto groups = project::extra_names(config);
    venv.ensure_lint_tools(groups);
    std::vector<std::string> project_groups;
    std::copy_if(
        groups.begin(), groups.end(), std::back_inserter(project_groups),
        [](const std::string &name) { return name == "test" || name == "dev" || name == "lint"; });
    venv.install(project_groups);
    venv.setup_done();
  }

  auto table = tool_table(fix, workflow, colour);
  int failed = 0;
  std::size_t spinner_idx = 0;

  // One worker per check, so all five children run at once. The workers are declared after
  // the futures: leaving this function, however it is left, joins them first, and an unwind
  // asks the checks to end. (An interrupt has reached them already, and a check that cannot
  // start is no unwind: it is raised below, once the others have finished.)
  std::vector<std::shared_future<TaskResult>> futures;
  process::Workers pool;
  for (const auto &tool : table) {
    std::packaged_task<TaskResult()> task(
        [&venv, &tool] { return run_lint_async(venv, tool.name, tool.args); });
    futures.push_back(task.get_future().share());
    pool.start(std::move(task));
  }

  using console::Stream;
  if (!console::is_terminal(Stream::Out)) {
    console::out("Running linters...\n");
    console::flush();
  }
  console::LiveBlock block;
  while (!process::interrupt_signal() && !std::all_of(futures.begin(), futures.end(), is_done) &&
         !std::any_of(futures.begin(), futures.end(), ended_in_error)) {
    if (!console::is_terminal(Stream::Out)) {
      process::sleep_unless_interrupted(venv.context().timing().frame_period);
      continue;
    }
    spinner_idx = (spinner_idx + 1) % console::SPINNER_FRAMES.size();
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < table.size(); ++i) {
      // A check that failed to start since the test above shows as running until the next.
      lines.push_back(
          is_done(futures[i]) && !ended_in_error(futures[i])
              ? status_line(table[i].name, futures[i].get())
              : fmt::format("{}: [{}]", table[i].name, console::SPINNER_FRAMES[spinner_idx]));
    }
    block.draw(lines);
    process::sleep_unless_interrupted(venv.context().timing().frame_period);
    block.rewind();
  }
  // Interrupted, the checks are waited for without drawing, and the block is erased.
  pool.join();
  process::check_interrupted();

  block.finish();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto &result = futures[i].get();
    console::out("{}\n", status_line(table[i].name, result));
    if (result.returncode != 0) {
      // Written as they are: a check's output may be large.
      console::write(console::Stream::Out, result.stdout_text);
      console::write(console::Stream::Out, "\n");
      console::write(console::Stream::Err, result.stderr_text);
      console::write(console::Stream::Err, "\n");
      ++failed;
    }
  }
  if (failed != 0) {
    console::out("{} failed\n", failed);
  }
  console::flush();
  return failed;
}

} // namespace tarvo::lint
