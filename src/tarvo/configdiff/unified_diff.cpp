#include "tarvo/configdiff/unified_diff.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fmt/format.h>
#include <memory>
#include <optional>

namespace tarvo::configdiff {

namespace {

// A quick hash of a line, eight bytes at a time.
std::uint64_t hash_line(std::string_view line) {
  std::uint64_t hash = 0x9e3779b97f4a7c15ULL ^ line.size();
  std::size_t i = 0;
  for (; i + 8 <= line.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, line.data() + i, 8);
    hash = (hash ^ word) * 0xbf58476d1ce4e5b9ULL;
    hash ^= hash >> 31;
  }
  std::uint64_t rest = 0;
  std::memcpy(&rest, line.data() + i, line.size() - i);
  hash = (hash ^ rest) * 0x94d049bb133111ebULL;
  return hash ^ (hash >> 29);
}

// Numbers the distinct lines of both sides (equal lines get equal numbers) and notes on which
// side each occurs: an open-addressing table, as the lines may be millions.
class LineNumbers {
public:
  explicit LineNumbers(std::size_t lines) {
    std::size_t capacity = 16;
    while (capacity < lines + lines / 2) {
      capacity *= 2;
    }
    slots_.assign(capacity, Slot{0, -1});
    mask_ = capacity - 1;
    lines_.reserve(lines);
  }

  // The numbers of one side's lines. The table is far larger than a cache, so the slot of a
  // line some way ahead is fetched while the current one is looked up.
  std::vector<int> number(const Lines &lines, int side) {
    constexpr std::size_t AHEAD = 16;
    std::vector<std::uint64_t> hashes(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      hashes[i] = hash_line(lines[i]);
    }
    std::vector<int> numbers(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i + AHEAD < lines.size()) {
        __builtin_prefetch(&slots_[hashes[i + AHEAD] & mask_]);
      }
      numbers[i] = number(lines[i], hashes[i], side);
    }
    return numbers;
  }

  bool occurs(int number, int side) const {
    return (lines_[static_cast<std::size_t>(number)].sides & (1 << side)) != 0;
  }

private:
  int number(std::string_view line, std::uint64_t hash, int side) {
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      Slot &slot = slots_[i];
      if (slot.number < 0) {
        slot = {static_cast<std::uint32_t>(hash >> 32), static_cast<int>(lines_.size())};
        lines_.push_back({line, 1 << side});
        return slot.number;
      }
      if (slot.hash == static_cast<std::uint32_t>(hash >> 32)) {
        auto &known = lines_[static_cast<std::size_t>(slot.number)];
        if (known.text == line) {
          known.sides |= 1 << side;
          return slot.number;
        }
      }
    }
  }

  struct Slot {
    std::uint32_t hash; // the hash's upper half: most lines that differ differ in it
    int number;         // -1 while empty
  };
  struct Line {
    std::string_view text;
    int sides; // bit 0: in a, bit 1: in b
  };
  std::vector<Slot> slots_;
  std::vector<Line> lines_;
  std::size_t mask_;
};

// Myers' linear-space difference algorithm, with the heuristics GNU diff uses to stay fast on
// files that differ throughout: lines are compared as numbers, lines that occur nowhere in the
// other file are set aside before the search (no common subsequence can hold them), and a
// search that grows too expensive settles for the furthest point reached so far, giving up
// minimality only there. Marks in `match` (indexed by a's line) the line of b that each
// common line pairs with, or -1.
class Matcher {
public:
  Matcher(const Lines &a, const Lines &b) : match_(a.size(), -1) {
    LineNumbers numbers(a.size() + b.size());
    auto a_ids = numbers.number(a, 0);
    auto b_ids = numbers.number(b, 1);
    keep(a_ids, numbers, 1, a_, a_lines_);
    keep(b_ids, numbers, 0, b_, b_lines_);

    std::size_t size = 2 * (a_.size() + b_.size()) + 4;
    // Left uninitialised: the search reads only what it wrote, around the middle, so the pages
    // of a large input's far diagonals are never touched. (new[] rather than
    // make_unique_for_overwrite, which libstdc++ 10 lacks.)
    forward_.reset(new long[size]);
    backward_.reset(new long[size]);
    too_expensive_ = 1;
    for (std::size_t diagonals = a_.size() + b_.size() + 3; diagonals != 0; diagonals >>= 2) {
      too_expensive_ <<= 1;
    }
    too_expensive_ = std::max(too_expensive_, 4096L);
    compare(0, static_cast<long>(a_.size()), 0, static_cast<long>(b_.size()));
  }

  const std::vector<long> &matches() const { return match_; }

private:
  struct Snake {
    long x, y, u, v;
  };

  // The lines of one side that occur on the `other`, with where each stands in its file.
  static void keep(const std::vector<int> &ids, const LineNumbers &numbers, int other,
                   std::vector<int> &kept, std::vector<long> &lines) {
    for (std::size_t i = 0; i < ids.size(); ++i) {
      if (numbers.occurs(ids[i], other)) {
        kept.push_back(ids[i]);
        lines.push_back(static_cast<long>(i));
      }
    }
  }

  void pair(long x, long y) { match_[static_cast<std::size_t>(a_lines_[x])] = b_lines_[y]; }

  // The part after the middle snake is compared in the loop, so that the stack only grows with
  // the parts before it.
  void compare(long a_lo, long a_hi, long b_lo, long b_hi) {
    for (;;) {
      while (a_lo < a_hi && b_lo < b_hi && a_[a_lo] == b_[b_lo]) {
        pair(a_lo++, b_lo++);
      }
      while (a_lo < a_hi && b_lo < b_hi && a_[a_hi - 1] == b_[b_hi - 1]) {
        pair(--a_hi, --b_hi);
      }
      if (a_lo == a_hi || b_lo == b_hi) {
        return;
      }
      Snake s = middle_snake(a_lo, a_hi, b_lo, b_hi);
      compare(a_lo, a_lo + s.x, b_lo, b_lo + s.y);
      for (long i = s.x; i < s.u; ++i) {
        pair(a_lo + i, b_lo + s.y + (i - s.x));
      }
      a_lo += s.u;
      b_lo += s.v;
    }
  }

  // The middle snake of the shortest edit script between a[a_lo, a_hi) and b[b_lo, b_hi),
  // in coordinates relative to (a_lo, b_lo); past the cost limit, the furthest point reached.
  Snake middle_snake(long a_lo, long a_hi, long b_lo, long b_hi) {
    const long n = a_hi - a_lo, m = b_hi - b_lo, delta = n - m;
    const bool odd = (delta & 1) != 0;
    const long max = (n + m + 1) / 2;
    const long offset = max + 1;
    long *const forward = forward_.get() + offset;
    long *const backward = backward_.get() + offset;
    const int *const a = a_.data();
    const int *const b = b_.data();
    auto vf = [forward](long k) -> long & { return forward[k]; };
    auto vb = [backward](long k) -> long & { return backward[k]; };
    vf(1) = 0;
    vb(1) = 0;
    for (long d = 0; d <= max; ++d) {
      for (long k = -d; k <= d; k += 2) {
        long x = (k == -d || (k != d && vf(k - 1) < vf(k + 1))) ? vf(k + 1) : vf(k - 1) + 1;
        long y = x - k;
        const long sx = x, sy = y;
        while (x < n && y < m && a[a_lo + x] == b[b_lo + y]) {
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
        while (x < n && y < m && a[a_hi - 1 - x] == b[b_hi - 1 - y]) {
          ++x;
          ++y;
        }
        vb(k) = x;
        if (!odd && delta - k >= -d && delta - k <= d && x + vf(delta - k) >= n) {
          return {n - x, m - y, n - sx, m - sy};
        }
      }
      if (d >= too_expensive_) {
        if (auto split = furthest_point(d, n, m, offset)) {
          return *split;
        }
      }
    }
    return {0, 0, 0, 0}; // unreachable: some d <= max always meets
  }

  // The point on either search's frontier that got furthest from its corner, as an empty
  // snake: the two halves on either side of it are then compared on their own.
  std::optional<Snake> furthest_point(long d, long n, long m, long offset) const {
    long best = -1;
    std::optional<Snake> split;
    for (long k = -d; k <= d; k += 2) {
      for (bool forward : {true, false}) {
        long x = (forward ? forward_ : backward_)[k + offset];
        long y = x - k;
        // A corner would leave one part as large as the whole.
        if (x < 0 || y < 0 || x > n || y > m || x + y <= best || x + y == 0 || x + y == n + m) {
          continue;
        }
        best = x + y;
        split = forward ? Snake{x, y, x, y} : Snake{n - x, m - y, n - x, m - y};
      }
    }
    return split;
  }

  std::vector<int> a_, b_;              // the lines kept, as numbers
  std::vector<long> a_lines_, b_lines_; // where each kept line stands in its file
  std::vector<long> match_;
  std::unique_ptr<long[]> forward_;  // furthest x on each diagonal, searching from the start
  std::unique_ptr<long[]> backward_; // the same from the end
  long too_expensive_;
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

Lines split_lines(std::string_view text) {
  Lines lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
      start = i + 1;
    }
  }
  if (start < text.size()) {
    lines.push_back(text.substr(start));
  }
  return lines;
}

bool unified_diff(const Lines &a, const Lines &b, std::string_view from_name,
                  std::string_view to_name, const DiffSink &sink, std::size_t context) {
  if (a == b) {
    return false;
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

  sink('\0', fmt::format("--- {}\n", from_name));
  sink('\0', fmt::format("+++ {}\n", to_name));
  for (const auto &group : groups) {
    sink('\0', fmt::format("@@ -{} +{} @@\n", range(group.front().i1, group.back().i2),
                           range(group.front().j1, group.back().j2)));
    for (const auto &c : group) {
      if (c.tag == 'e') {
        for (auto i = c.i1; i < c.i2; ++i) {
          sink(' ', a[i]);
        }
        continue;
      }
      for (auto i = c.i1; i < c.i2; ++i) {
        sink('-', a[i]);
      }
      for (auto j = c.j1; j < c.j2; ++j) {
        sink('+', b[j]);
      }
    }
  }
  return true;
}

} // namespace tarvo::configdiff
