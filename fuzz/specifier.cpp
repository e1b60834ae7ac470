// Specifier sets: whatever parses prints in normal form, and that form parses back to an equal
// set that prints the same; testing a version against it answers or raises InvalidVersion.
#include "tarvo/packaging/specifier.hpp"
#include "fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
  using namespace tarvo;
  auto input = fuzz::text(data, size);
  packaging::SpecifierSet set;
  try {
    set = packaging::parse_specifier_set(input);
  } catch (const Error &) {
    return 0;
  }
  auto printed = packaging::to_string(set);
  try {
    auto again = packaging::parse_specifier_set(printed);
    fuzz::require(again == set, "the normal form is another set", input, printed);
    fuzz::require(packaging::to_string(again) == printed, "printing is not stable", input, printed);
  } catch (const Error &e) {
    fuzz::require(false, "the normal form does not parse", input, printed);
  }
  for (const char *version : {"1.0", "2!1.0rc1.post2.dev3+local.7", "0"}) {
    try {
      packaging::contains(set, version);
    } catch (const Error &e) {
      fuzz::require(e.kind() == ErrorKind::InvalidVersion, "testing a version failed", input,
                    e.what());
    }
  }
  return 0;
}
