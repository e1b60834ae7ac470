// What the last full setup of .venv for a command installed from, kept in .venv: the project's
// build files, what the command asked for, and the interpreter. --no-sync uses the environment as
// it stands only while these are as they were, so that it can be left on.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tarvo::venv {

// What changed since the setup recorded in the environment at `venv` for `purpose` (a command's
// word and what it installs: "test extra 'test'"): "pyproject.toml", "setup.cfg", "setup.py",
// "what test installs" or "the interpreter". None when nothing did, or when nothing is recorded
// for the command (an environment made by hand, or by an older tarvo, is vouched for).
std::optional<std::string> setup_changes(const std::filesystem::path &venv,
                                         const std::string &purpose);

// Records a full setup for `purpose` now, replacing what was recorded for its command.
void record_setup(const std::filesystem::path &venv, const std::string &purpose);

} // namespace tarvo::venv
