// The search for a built wheel.
#pragma once

#include "tarvo/container/target.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::artifacts {

// The first wheel for `arch` in `directory`, else its first wheel of any kind, in the order
// the directory lists them: "directory/name.whl". None when there is none.
std::optional<std::string> find_wheel(const std::string &directory, std::string_view arch);

// The same, preferring the wheels of the target's Python ("*-cp312-*") and then of its C library:
// where dist/ holds the wheels of several targets, each is tested with its own.
std::optional<std::string> find_wheel_for(const std::string &directory,
                                          const container::Target &target);

} // namespace tarvo::artifacts
