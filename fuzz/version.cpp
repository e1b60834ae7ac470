// Versions: whatever parses prints in normal form, and that form parses back to an equal
// version that prints the same.
#include "tarvo/packaging/version.hpp"
#include "fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
  using namespace tarvo;
  auto input = fuzz::text(data, size);
  auto version = packaging::try_parse_version(input);
  if (!version) {
    return 0;
  }
  auto printed = packaging::to_string(*version);
  auto again = packaging::try_parse_version(printed);
  fuzz::require(again.has_value(), "the normal form does not parse", input, printed);
  fuzz::require(*again == *version, "the normal form is another version", input, printed);
  fuzz::require(packaging::to_string(*again) == printed, "printing is not stable", input, printed);
  return 0;
}
