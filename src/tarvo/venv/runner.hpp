// The two runners of installation steps: `chronic` shows a child's output only when it fails,
// `spinner` adds a one-line progress display (an animated frame on a terminal).
#pragma once

#include "tarvo/process/context.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::venv {

// Runs `args` with both streams captured; `env`, when given, is the child's whole environment.
// A failing child's output is written out; with `check` its failure raises CalledProcessError.
process::CompletedProcess chronic(const process::Context &context,
                                  const std::vector<std::string> &args,
                                  const std::optional<process::Environment> &env = std::nullopt,
                                  bool check = true);

// Runs `args` with both streams captured under the status text `action`: a redrawn
// "<action>: [frame]" line on a terminal, "<action>..." otherwise. With `chronic` a failing
// child's output is written out and raises CalledProcessError. `env`, when given, is the child's
// whole environment.
process::CompletedProcess spinner(const process::Context &context, std::string_view action,
                                  const std::vector<std::string> &args, bool chronic = false,
                                  const std::optional<process::Environment> &env = std::nullopt);

// Writes out what a failed child said, as the runners do: each captured stream to its own
// (standard output's to the progress stream), then, for a known cause, one line that says what
// to do.
void show_output(const process::CompletedProcess &done);

} // namespace tarvo::venv
