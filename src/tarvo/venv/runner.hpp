// The two runners of installation steps: `chronic` shows a child's output only when it fails,
// `spinner` adds a one-line progress display (an animated frame on a terminal).
#pragma once

#include "tarvo/venv/process.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::venv {

// One character and one terminal column each; the lint display animates them too.
inline constexpr std::array<std::string_view, 10> SPINNER_FRAMES = {"⠋", "⠙", "⠹", "⠸", "⠼",
                                                                    "⠴", "⠦", "⠧", "⠇", "⠏"};

// Runs `args` with both streams captured; `env`, when given, is the child's whole environment.
// A failing child's output is written out; with `check` its failure raises CalledProcessError.
CompletedProcess chronic(const std::vector<std::string> &args,
                         const std::optional<Environment> &env = std::nullopt, bool check = true);

// Runs `args` with both streams captured under the status text `action`: a redrawn
// "<action>: [frame]" line on a terminal, "<action>..." otherwise. With `chronic` a failing
// child's output is written out and raises CalledProcessError.
CompletedProcess spinner(std::string_view action, const std::vector<std::string> &args,
                         bool chronic = false);

} // namespace tarvo::venv
