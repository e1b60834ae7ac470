// Requirements: whatever parses prints in a normal form that parses again.
#include "tarvo/packaging/requirement.hpp"
#include "fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
  using namespace tarvo;
  auto input = fuzz::text(data, size);
  packaging::Requirement requirement;
  try {
    requirement = packaging::parse_requirement(input);
  } catch (const Error &) {
    return 0;
  }
  // The normal form parses, and printing it is stable from then on. (It may differ from what
  // it was printed from: an extra compared in the first comparison prints normalised, and
  // brackets around the whole marker go, which can make another comparison the first.)
  auto printed = packaging::to_string(requirement);
  if (!fuzz::standard_text(input)) {
    return 0;
  }
  try {
    auto again = packaging::to_string(packaging::parse_requirement(printed));
    auto third = packaging::to_string(packaging::parse_requirement(again));
    fuzz::require(third == again, "printing is not stable", input, again);
  } catch (const Error &) {
    fuzz::require(false, "the normal form does not parse", input, printed);
  }
  return 0;
}
