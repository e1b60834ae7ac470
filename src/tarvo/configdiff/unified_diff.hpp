// Unified diffs of two lists of lines, in the format of `diff -u` without file dates.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::configdiff {

using Lines = std::vector<std::string_view>;

// Splits text into lines at "\n", "\r\n" and "\r", dropping the line ends. The lines are views
// into `text`.
Lines split_lines(std::string_view text);

// Receives the lines of a diff in order: a body line as its mark (' ', '-' or '+') and text;
// a header ("--- NAME\n", "+++ NAME\n", "@@ -1,5 +1,4 @@\n") with no mark ('\0'), its text
// ending in a line end of its own.
using DiffSink = std::function<void(char mark, std::string_view text)>;

// Gives the diff from `a` (named `from_name`) to `b` (named `to_name`), with `context`
// unchanged lines around each change, to `sink`; false, and nothing given, when they are equal.
// Minimal for ordinary sizes; on large inputs that differ throughout it settles for a diff that
// may be longer than the shortest, as GNU diff does, to stay fast.
bool unified_diff(const Lines &a, const Lines &b, std::string_view from_name,
                  std::string_view to_name, const DiffSink &sink, std::size_t context = 3);

} // namespace tarvo::configdiff
