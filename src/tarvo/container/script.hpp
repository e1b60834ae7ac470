// Shell scripts for a container's shell, built row by row: a row that does not apply stays as
// an empty line, so every script keeps its shape. Values are spliced in as shell words.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::container {

class Script {
public:
  // One row, ended by a line feed; an empty text is an empty line, and a text of several lines
  // (a set-up script) occupies as many.
  Script &line(std::string_view text);
  // The row when it applies, otherwise an empty line.
  Script &line_if(bool applies, std::string_view text);
  // Puts `text` in front of the whole script: on its first line when that is empty.
  Script &prepend(std::string_view text);

  const std::string &text() const { return text_; }

private:
  std::string text_;
};

// The value as it is when it holds only characters the shell takes literally
// ([A-Za-z0-9_./:=@%+,-]), otherwise in single quotes: any value stays one word and runs
// nothing, and a pattern around it (dist/*_ARCH.whl) still matches.
std::string shell_word(std::string_view value);

// "value" in double quotes, as the scripts write it, when the shell takes it literally there
// (no ", $, `, \, ! or control character); otherwise shell_word(value).
std::string double_quoted(std::string_view value);

} // namespace tarvo::container
