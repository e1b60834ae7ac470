// Throughput of parsing and normalising 100,000 requirement strings.
#include "tarvo/packaging/requirement.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

using namespace tarvo::packaging;

static double run(const std::vector<std::string> &inputs) {
  auto start = std::chrono::steady_clock::now();
  std::size_t bytes = 0;
  for (const auto &s : inputs) {
    bytes += to_string(parse_requirement(s)).size();
  }
  if (bytes == 0) {
    std::cerr << "nothing parsed\n";
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main() {
  std::ifstream in(TARVO_TESTDATA "/requirements.json");
  auto data = nlohmann::json::parse(in);
  std::vector<std::string> vectors;
  for (const auto &item : data["valid"]) {
    vectors.push_back(item["input"]);
  }
  const char *forms[] = {
      "pytest>=7.0",
      "requests[security,socks] >= 2.8.1, < 3 ; python_version >= '3.8' and sys_platform != "
      "'win32'",
      "setuptools>=61",
      "numpy (>=1.21,<2)",
      "tomli; python_version < \"3.11\"",
      "mypkg @ https://example.com/mypkg-1.0.tar.gz ; os_name == 'posix'"};
  std::vector<std::string> mixed, typical;
  for (std::size_t i = 0; mixed.size() < 100000; ++i) {
    mixed.push_back(vectors[i % vectors.size()]);
    typical.push_back(forms[i % 6]);
  }
  for (auto *set : {&mixed, &typical}) {
    double best = 1e9;
    for (int r = 0; r < 5; ++r) {
      best = std::min(best, run(*set));
    }
    std::cout << (set == &mixed ? "test-vector inputs" : "typical pyproject strings")
              << ": 100000 strings in " << best * 1000 << " ms = " << 0.1 / best
              << " million strings/s\n";
  }
}
