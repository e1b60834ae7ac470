// Unified diffs of two lists of lines, in the format of `diff -u` without file dates.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// Splits text into lines at "\n", "\r\n" and "\r", dropping the line ends.
std::vector<std::string> split_lines(std::string_view text);

// The diff from `a` (named `from_name`) to `b` (named `to_name`) with `context` unchanged
// lines around each change: no lines at all when the lists are equal; otherwise the two name
// lines and each hunk header end in "\n" of their own, the other lines carry none.
std::vector<std::string> unified_diff(const std::vector<std::string> &a,
                                      const std::vector<std::string> &b, std::string_view from_name,
                                      std::string_view to_name, std::size_t context = 3);

} // namespace tarvo
