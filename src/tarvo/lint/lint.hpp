// The lint command's work: five checks run at once in the project's environment, with a live
// status block on a terminal, then PASS or FAIL for each and the number that failed.
#pragma once

#include "tarvo/project/project_config.hpp"
#include "tarvo/venv/virtual_environment.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::lint {

// The folder that holds the tool's own package folder, put first on PYTHONPATH for the
// self-run check. For this native build it is the folder two levels above the running
// executable.
extern const std::filesystem::path MODULE_PATH;

// What one check left behind.
struct TaskResult {
  int returncode = 0; // the negative signal number when a signal ended the check
  std::string stdout_text;
  std::string stderr_text;
};

// Runs one check to its end with both streams captured: "tarvo" is this tool itself, found on
// PATH (or, when PATH has none, the running executable); any other tool runs as a module of
// the environment's interpreter. A check that cannot be started raises its start error.
TaskResult run_lint_async(const venv::VirtualEnvironment &venv, const std::string &tool,
                          const std::vector<std::string> &args);

// Installs the checks and the project into `venv` (unless it is used as it stands), runs the
// five checks at once, reports each and returns how many failed.
int run_lint(const venv::VirtualEnvironment &venv, const project::ProjectConfig &config, bool fix,
             bool workflow, bool colour);

} // namespace tarvo::lint
