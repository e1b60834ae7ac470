// Hints for container steps that fail in known ways. The container's output goes straight to
// the terminal, so the script itself watches it: `tarvo_step COMMAND...` runs the command with
// its standard error also kept in a file, and after a failure prints one line that says what
// to do when the output shows a known cause, then fails with the command's status.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::artifacts {

// The shell text that defines tarvo_step. The known causes: pip found no distribution at all
// for a requirement (no package index, and no wheel handed in), and, when `missing_pytest` is
// given, pytest missing where the tests run (the line then printed).
std::string step_hints(const std::optional<std::string> &missing_pytest = std::nullopt);

// The prefix that runs a script row under tarvo_step.
inline constexpr std::string_view STEP = "tarvo_step ";

} // namespace tarvo::artifacts
