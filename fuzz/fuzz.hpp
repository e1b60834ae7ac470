// Shared by the fuzz targets: the input as text, and a check that stops the run with the input
// that broke it.
#pragma once

#include "tarvo/error.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tarvo::fuzz {

inline std::string_view text(const unsigned char *data, std::size_t size) {
  return {reinterpret_cast<const char *>(data), size};
}

// Text that the standards' grammar covers: printable ASCII without backslashes. Strings in
// markers follow Python's escapes beyond it, which the normal form writes back as they read,
// so only such text is held to printing back to itself.
inline bool standard_text(std::string_view text) {
  for (char c : text) {
    if (c < 0x20 || c > 0x7e || c == '\\') {
      return false;
    }
  }
  return true;
}

// A property that must hold; libFuzzer keeps the input that breaks it.
inline void require(bool holds, const char *what, std::string_view input, std::string_view got) {
  if (!holds) {
    std::fprintf(stderr, "%s\ninput: %.*s\ngot:   %.*s\n", what, static_cast<int>(input.size()),
                 input.data(), static_cast<int>(got.size()), got.data());
    std::abort();
  }
}

} // namespace tarvo::fuzz
