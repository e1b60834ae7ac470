// How many terminal columns text takes: UTF-8 decoded, combining marks and zero-width characters
// taking none, East Asian wide and full-width characters and emoji two, as terminals draw them.
#include "tarvo/console/console.hpp"

#include <array>
#include <cstdint>
#include <utility>

namespace tarvo::console {

namespace {

using Range = std::pair<char32_t, char32_t>;

// Characters drawn in no column of their own.
constexpr std::array<Range, 12> ZERO_WIDTH = {{{0x0300, 0x036F},
                                               {0x0483, 0x0489},
                                               {0x0591, 0x05BD},
                                               {0x0610, 0x061A},
                                               {0x064B, 0x065F},
                                               {0x0E31, 0x0E3A},
                                               {0x1AB0, 0x1AFF},
                                               {0x1DC0, 0x1DFF},
                                               {0x200B, 0x200F},
                                               {0x20D0, 0x20FF},
                                               {0xFE00, 0xFE0F},
                                               {0xFE20, 0xFE2F}}};

// Characters drawn in two columns.
constexpr std::array<Range, 13> DOUBLE_WIDTH = {{{0x1100, 0x115F},
                                                 {0x231A, 0x231B},
                                                 {0x2E80, 0x303E},
                                                 {0x3041, 0x33FF},
                                                 {0x3400, 0x4DBF},
                                                 {0x4E00, 0x9FFF},
                                                 {0xA000, 0xA4CF},
                                                 {0xAC00, 0xD7A3},
                                                 {0xF900, 0xFAFF},
                                                 {0xFE30, 0xFE4F},
                                                 {0xFF00, 0xFF60},
                                                 {0xFFE0, 0xFFE6},
                                                 {0x1F300, 0x3FFFD}}};

template <std::size_t N> bool within(const std::array<Range, N> &ranges, char32_t c) {
  for (const auto &[first, last] : ranges) {
    if (c >= first && c <= last) {
      return true;
    }
  }
  return false;
}

// The code point that begins at text[at], and how many bytes it takes; a byte that begins no
// valid sequence counts as one character of its own.
std::pair<char32_t, std::size_t> decode(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
  if (length <= 1 || at + length > text.size()) {
    return {lead, 1};
  }
  char32_t c = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) {
      return {lead, 1};
    }
    c = (c << 6) | (next & 0x3F);
  }
  return {c, length};
}

std::size_t width_of(char32_t c) {
  return within(ZERO_WIDTH, c) ? 0 : within(DOUBLE_WIDTH, c) ? 2 : 1;
}

} // namespace

std::size_t display_width(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < text.size();) {
    auto [c, length] = decode(text, at);
    width += width_of(c);
    at += length;
  }
  return width;
}

std::string fitted(std::string line, std::size_t columns) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < line.size();) {
    auto [c, length] = decode(line, at);
    width += width_of(c);
    // The last column stays free: a line that fills the terminal would wrap the cursor.
    if (width >= columns) {
      line.resize(at);
      break;
    }
    at += length;
  }
  return line;
}

} // namespace tarvo::console
