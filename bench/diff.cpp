// bench_diff A B: the unified diff of two files, read, compared and printed as config-diff
// --workflow does it, with its time on standard error; compare with `diff -u A B`.
#include "tarvo/configdiff/unified_diff.hpp"
#include "tarvo/files/files.hpp"

#include <chrono>
#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_diff A B\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  const auto a_text = tarvo::files::read_file(argv[1]);
  const auto b_text = tarvo::files::read_file(argv[2]);
  auto a = tarvo::configdiff::split_lines(a_text);
  auto b = tarvo::configdiff::split_lines(b_text);
  std::size_t lines = 0;
  std::string text;
  tarvo::configdiff::unified_diff(a, b, argv[1], argv[2], [&](char mark, std::string_view line) {
    ++lines;
    if (mark != '\0') {
      text += mark;
    }
    text += line;
    text += '\n';
  });
  std::fwrite(text.data(), 1, text.size(), stdout);
  auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "%zu and %zu lines: %zu diff lines in %.3f s\n", a.size(), b.size(), lines,
               wall);
}
