// The packaging test vectors (JSON made with the reference Python library) and a
// parameterised form for checking every case of one section of a file.
#pragma once

#include "harness.hpp"
#include "tarvo/error.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>

namespace tarvo::testing {

using nlohmann::json;

// The parsed file from tests/data/packaging, read once per process.
inline const json &packaging_data(const std::string &file) {
  static std::map<std::string, json> cache;
  if (!cache.contains(file)) {
    auto path = source_dir() / "tests" / "data" / "packaging" / file;
    std::ifstream in(path);
    if (!in) {
      throw std::runtime_error("cannot read the test vectors " + path.string());
    }
    cache[file] = json::parse(in);
  }
  return cache[file];
}

// Whether the reference library's newer releases expect something else for `case_value` in
// `section` (the file's "upstream_differences"); gives that expectation.
inline const json *upstream_expectation(const json &data, const std::string &section,
                                        const json &case_value) {
  for (const auto &difference : data.at("upstream_differences")) {
    if (difference.at("section") == section && difference.at("case") == case_value) {
      return &difference.at("upstream_expected");
    }
  }
  return nullptr;
}

// Whether a marker text has a value in single quotes that holds a double quote.
inline bool quotes_a_double_quote(const std::string &text) {
  for (std::size_t open = text.find('\''); open != std::string::npos;) {
    std::size_t close = text.find('\'', open + 1);
    if (close == std::string::npos) {
      return false;
    }
    if (text.find('"', open) < close) {
      return true;
    }
    open = text.find('\'', close + 1);
  }
  return false;
}

// One section of a vector file and the check each of its cases must pass; each test file
// runs its sections as one parameterised test.
struct VectorSection {
  const char *file;
  const char *section;
  void (*check)(const json &data, const json &item);
};

inline void PrintTo(const VectorSection &section, std::ostream *out) {
  *out << section.file << " " << section.section;
}

// Runs the section's check on each of its cases, naming the case in any failure.
inline void check_every_case(const VectorSection &section) {
  const json &data = packaging_data(section.file);
  const json &cases = data.at(section.section);
  ASSERT_FALSE(cases.empty());
  for (const auto &item : cases) {
    SCOPED_TRACE(item.dump());
    section.check(data, item);
  }
}

// The kind of the tarvo::Error that `f` raises, or "no error".
template <class F> std::string error_kind(F &&f) {
  try {
    f();
  } catch (const tarvo::Error &e) {
    return std::string(tarvo::name(e.kind()));
  }
  return "no error";
}

inline std::string section_name(const ::testing::TestParamInfo<VectorSection> &info) {
  return info.param.section;
}

} // namespace tarvo::testing
