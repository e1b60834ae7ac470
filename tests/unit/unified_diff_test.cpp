#include "harness.hpp"
#include "tarvo/configdiff/unified_diff.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

using tarvo::configdiff::split_lines;
using namespace tarvo::testing;

namespace {

using Strings = std::vector<std::string>;

// The diff's lines as printed entries: headers as they are, body lines with their mark.
Strings unified_diff(const Strings &a, const Strings &b, std::string_view from,
                     std::string_view to) {
  auto views = [](const Strings &lines) {
    return tarvo::configdiff::Lines(lines.begin(), lines.end());
  };
  Strings out;
  tarvo::configdiff::unified_diff(
      views(a), views(b), from, to, [&](char mark, std::string_view line) {
        out.push_back(mark == '\0' ? std::string(line) : mark + std::string(line));
      });
  return out;
}

std::string joined(const std::vector<std::string> &lines) {
  std::string out;
  for (const auto &line : lines) {
    out += line.ends_with('\n') ? line : line + "\n";
  }
  return out;
}

std::string file_text(const std::vector<std::string> &lines) {
  std::string out;
  for (const auto &line : lines) {
    out += line + "\n";
  }
  return out;
}

} // namespace

TEST(SplitLines, EveryLineEnd) {
  EXPECT_EQ(split_lines("a\nb\r\nc\rd"), (tarvo::configdiff::Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(split_lines("a\n"), (tarvo::configdiff::Lines{"a"}));
  EXPECT_EQ(split_lines("\n\n"), (tarvo::configdiff::Lines{"", ""}));
  EXPECT_TRUE(split_lines("").empty());
}

TEST(UnifiedDiff, FormatOfHeadersAndRanges) {
  EXPECT_TRUE(unified_diff({"a", "b"}, {"a", "b"}, "x", "y").empty());
  EXPECT_EQ(unified_diff({"a"}, {"b"}, "x", "y"),
            (std::vector<std::string>{"--- x\n", "+++ y\n", "@@ -1 +1 @@\n", "-a", "+b"}));
  EXPECT_EQ(unified_diff({}, {"new"}, "x", "y"),
            (std::vector<std::string>{"--- x\n", "+++ y\n", "@@ -0,0 +1 @@\n", "+new"}));
  EXPECT_EQ(joined(unified_diff({"1", "2", "3", "4", "5"}, {"1", "2", "4", "5"}, "x", "y")),
            "--- x\n+++ y\n@@ -1,5 +1,4 @@\n 1\n 2\n-3\n 4\n 5\n");
  // Changes six unchanged lines apart share a hunk; seven apart do not.
  std::vector<std::string> a = {"c", "1", "2", "3", "4", "5", "6", "c"};
  std::vector<std::string> b = {"C", "1", "2", "3", "4", "5", "6", "C"};
  auto hunks = [](const std::vector<std::string> &lines) {
    return std::count_if(lines.begin(), lines.end(),
                         [](const auto &l) { return l.starts_with("@@"); });
  };
  EXPECT_EQ(hunks(unified_diff(a, b, "x", "y")), 1);
  a.insert(a.begin() + 1, "0");
  b.insert(b.begin() + 1, "0");
  EXPECT_EQ(hunks(unified_diff(a, b, "x", "y")), 2);
}

// Lines of `a` are all distinct and added lines are new, so the longest common subsequence
// is unique and any correct diff must print exactly what `diff -u` prints.
TEST(UnifiedDiff, AgreesWithPosixDiffOnGeneratedFiles) {
  TempDir tmp;
  std::mt19937 random(20261207);
  for (int round = 0; round < 150; ++round) {
    std::vector<std::string> a, b;
    int size = static_cast<int>(random() % 60);
    int fresh = 0;
    for (int i = 0; i < size; ++i) {
      a.push_back("line " + std::to_string(i));
    }
    for (const auto &line : a) {
      switch (random() % 10) {
      case 0: // deleted
        break;
      case 1: // replaced
        b.push_back("new " + std::to_string(fresh++));
        break;
      case 2: // preceded by an insertion
        b.push_back("new " + std::to_string(fresh++));
        b.push_back(line);
        break;
      default:
        b.push_back(line);
      }
    }
    if (random() % 3 == 0) {
      b.push_back("new " + std::to_string(fresh++));
    }
    write_file(tmp.path / "a", file_text(a));
    write_file(tmp.path / "b", file_text(b));
    auto expected = run({"diff", "-u", "--label", "old", "--label", "new",
                         (tmp.path / "a").string(), (tmp.path / "b").string()});
    ASSERT_LE(expected.status, 1) << expected.err;
    ASSERT_EQ(joined(unified_diff(a, b, "old", "new")), expected.out) << "round " << round;
  }
}

// The search's worst case, lines that all occur on both sides in another order, finishes; how
// fast is measured in bench/diff_timing.sh.
TEST(UnifiedDiff, ShuffledLinesFinish) {
  constexpr long LINES = 5000;
  Strings a, b;
  std::mt19937 random(7);
  for (int i = 0; i < LINES; ++i) {
    a.push_back("line " + std::to_string(i));
  }
  b = a;
  std::shuffle(b.begin(), b.end(), random);
  auto lines = unified_diff(a, b, "x", "y");
  auto count = [&](char mark) {
    return std::count_if(lines.begin(), lines.end(), [&](const auto &l) { return l[0] == mark; });
  };
  // Every line of each side is printed once, kept or changed.
  EXPECT_EQ(count('-') + count(' ') - 1, LINES); // "---" is a header
  EXPECT_EQ(count('+') + count(' ') - 1, LINES);
}
