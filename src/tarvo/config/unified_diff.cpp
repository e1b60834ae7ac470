#include "tarvo/config/unified_diff.hpp"

#include <fmt/format.h>

namespace tarvo {

namespace {

using Lines = std::vector<std::string>;

// Myers' linear-space difference algorithm: marks in `match` (indexed by a's line) the line
// of b that each common line pairs with, or -1.
class Matcher {
public:
  Matcher(const Lines &a, const Lines &b) : a_(a), b_(b), match_(a.size(), -1) {
    std::size_t size = 2 * (a.size() + b.size()) + 4;
    forward_.resize(size);
    backward_.resize(size);
    compare(0, a.size(), 0, b.size());
  }

  const std::vector<long> &matches() const { return match_; }

private:
  struct Snake {
    long x, y, u, v;
  };

  void compare(long a_lo, long a_hi, long b_lo, long b_hi) {
    while (a_lo < a_hi && b_lo < b_hi && a_[a_lo] == b_[b_lo]) {
      match_[a_lo++] = b_lo++;
    }
    while (a_lo < a_hi && b_lo < b_hi && a_[a_hi - 1] == b_[b_hi - 1]) {
      match_[--a_hi] = --b_hi;
    }
    if (a_lo == a_hi || b_lo == b_hi) {
      return;
    }
    Snake s = middle_snake(a_lo, a_hi, b_lo, b_hi);
    compare(a_lo, a_lo + s.x, b_lo, b_lo + s.y);
    for (long i = s.x; i < s.u; ++i) {
      match_[a_lo + i] = b_lo + s.y + (i - s.x);
    }
    compare(a_lo + s.u, a_hi, b_lo + s.v, b_hi);
  }

  // The middle snake of the shortest edit script between a[a_lo, a_hi) and b[b_lo, b_hi),
  // in coordinates relative to (a_lo, b_lo).
  Snake middle_snake(long a_lo, long a_hi, long b_lo, long b_hi) {
    const long n = a_hi - a_lo, m = b_hi - b_lo, delta = n - m;
    const bool odd = (delta & 1) != 0;
    const long max = (n + m + 1) / 2;
    const long offset = max + 1;
    auto vf = [&](long k) -> long & { return forward_[k + offset]; };
    auto vb = [&](long k) -> long & { return backward_[k + offset]; };
    vf(1) = 0;
    vb(1) = 0;
    for (long d = 0; d <= max; ++d) {
      for (long k = -d; k <= d; k += 2) {
        long x = (k == -d || (k != d && vf(k - 1) < vf(k + 1))) ? vf(k + 1) : vf(k - 1) + 1;
        long y = x - k;
        const long sx = x, sy = y;
        while (x < n && y < m && a_[a_lo + x] == b_[b_lo + y]) {
          ++x;
          ++y;
        }
        vf(k) = x;
        if (odd && k >= delta - (d - 1) && k <= delta + (d - 1) && x + vb(delta - k) >= n) {
          return {sx, sy, x, y};
        }
      }
      for (long k = -d; k <= d; k += 2) {
        long x = (k == -d || (k != d && vb(k - 1) < vb(k + 1))) ? vb(k + 1) : vb(k - 1) + 1;
        long y = x - k;
        const long sx = x, sy = y;
        while (x < n && y < m && a_[a_hi - 1 - x] == b_[b_hi - 1 - y]) {
          ++x;
          ++y;
        }
        vb(k) = x;
        if (!odd && delta - k >= -d && delta - k <= d && x + vf(delta - k) >= n) {
          return {n - x, m - y, n - sx, m - sy};
        }
      }
    }
    return {0, 0, 0, 0}; // unreachable: some d <= max always meets
  }

  const Lines &a_;
  const Lines &b_;
  std::vector<long> match_;
  std::vector<long> forward_;
  std::vector<long> backward_;
};

struct Opcode {
  char tag; // 'e'qual or 'c'hange
  std::size_t i1, i2, j1, j2;
};

std::vector<Opcode> opcodes(const Lines &a, const Lines &b) {
  Matcher matcher(a, b);
  const auto &match = matcher.matches();
  std::vector<Opcode> out;
  std::size_t i = 0, j = 0;
  auto emit = [&](char tag, std::size_t i2, std::size_t j2) {
    if (i2 > i || j2 > j) {
      if (!out.empty() && out.back().tag == tag) {
        out.back().i2 = i2;
        out.back().j2 = j2;
      } else {
        out.push_back({tag, i, i2, j, j2});
      }
    }
    i = i2;
    j = j2;
  };
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (match[k] >= 0) {
      emit('c', k, static_cast<std::size_t>(match[k]));
      emit('e', k + 1, static_cast<std::size_t>(match[k]) + 1);
    }
  }
  emit('c', a.size(), b.size());
  return out;
}

// "start,count"; a count of 1 is left out, and an empty range starts at the line before it.
std::string range(std::size_t start, std::size_t stop) {
  std::size_t length = stop - start;
  if (length == 1) {
    return std::to_string(start + 1);
  }
  return fmt::format("{},{}", length == 0 ? start : start + 1, length);
}

} // namespace

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
      start = i + 1;
    }
  }
  if (start < text.size()) {
    lines.emplace_back(text.substr(start));
  }
  return lines;
}

std::vector<std::string> unified_diff(const Lines &a, const Lines &b, std::string_view from_name,
                                      std::string_view to_name, std::size_t context) {
  std::vector<std::string> out;
  if (a == b) {
    return out;
  }
  auto codes = opcodes(a, b);
  // Unchanged runs are cut to the context kept around the changes; a run longer than two
  // contexts splits the changes into separate hunks.
  if (codes.front().tag == 'e') {
    auto &c = codes.front();
    c.i1 = std::max(c.i1, c.i2 > context ? c.i2 - context : 0);
    c.j1 = std::max(c.j1, c.j2 > context ? c.j2 - context : 0);
  }
  if (codes.back().tag == 'e') {
    auto &c = codes.back();
    c.i2 = std::min(c.i2, c.i1 + context);
    c.j2 = std::min(c.j2, c.j1 + context);
  }
  std::vector<std::vector<Opcode>> groups(1);
  for (auto c : codes) {
    if (c.tag == 'e' && c.i2 - c.i1 > 2 * context) {
      groups.back().push_back({'e', c.i1, c.i1 + context, c.j1, c.j1 + context});
      groups.emplace_back();
      c.i1 = c.i2 - context;
      c.j1 = c.j2 - context;
    }
    groups.back().push_back(c);
  }
  if (groups.back().size() == 1 && groups.back().front().tag == 'e') {
    groups.pop_back();
  }

  out.push_back(fmt::format("--- {}\n", from_name));
  out.push_back(fmt::format("+++ {}\n", to_name));
  for (const auto &group : groups) {
    out.push_back(fmt::format("@@ -{} +{} @@\n", range(group.front().i1, group.back().i2),
                              range(group.front().j1, group.back().j2)));
    for (const auto &c : group) {
      if (c.tag == 'e') {
        for (auto i = c.i1; i < c.i2; ++i) {
          out.push_back(" " + a[i]);
        }
        continue;
      }
      for (auto i = c.i1; i < c.i2; ++i) {
        out.push_back("-" + a[i]);
      }
      for (auto j = c.j1; j < c.j2; ++j) {
        out.push_back("+" + b[j]);
      }
    }
  }
  return out;
}

} // namespace tarvo
