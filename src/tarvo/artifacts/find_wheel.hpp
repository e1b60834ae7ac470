// The search for a built wheel.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::artifacts {

// The first wheel for `arch` in `directory`, else its first wheel of any kind, in the order
// the directory lists them: "directory/name.whl". None when there is none.
std::optional<std::string> find_wheel(const std::string &directory, std::string_view arch);

} // namespace tarvo::artifacts
