// Terminal columns: what a line takes on the screen, and a line cut to the terminal's width.
#include "tarvo/console/console.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Columns, WideCharactersTakeTwoAndMarksNone) {
  struct Case {
    std::string text;
    std::size_t width;
    std::string fitted_to_5; // fewer than 5 columns, never half a character
  };
  for (const auto &c : std::vector<Case>{
           {"abcdef", 6, "abcd"},
           {"⠋ pip", 5, "⠋ pi"},
           {"日本語です", 10, "日本"},
           {"e\xcc\x81t\xc3\xa9", 3, "e\xcc\x81t\xc3\xa9"}, // a combining accent, a composed one
           {"ok 🙂🙂", 7, "ok "},
           {"\xff\xfe", 2, "\xff\xfe"}, // bytes of no character count one each
       }) {
    EXPECT_EQ(tarvo::console::display_width(c.text), c.width) << c.text;
    EXPECT_EQ(tarvo::console::fitted(c.text, 5), c.fitted_to_5) << c.text;
  }
}

} // namespace
