// Markers: whatever parses prints in a normal form that parses again; evaluating a marker
// answers or raises one of the evaluation errors.
#include "tarvo/packaging/marker.hpp"
#include "fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
  using namespace tarvo;
  auto input = fuzz::text(data, size);
  packaging::Marker marker;
  try {
    marker = packaging::parse_marker(input);
  } catch (const Error &) {
    return 0;
  }
  // Standard text: the normal form parses, and printing it is stable from then on. (It may differ
  // from what it was printed from: an extra compared in the first comparison prints normalised, and
  // brackets around the whole marker go, which can make another comparison the first.)
  if (fuzz::standard_text(input)) {
    auto printed = packaging::to_string(marker);
    try {
      auto again = packaging::to_string(packaging::parse_marker(printed));
      auto third = packaging::to_string(packaging::parse_marker(again));
      fuzz::require(third == again, "printing is not stable", input, again);
    } catch (const Error &) {
      fuzz::require(false, "the normal form does not parse", input, printed);
    }
  }
  try {
    packaging::evaluate(marker, {{"python_version", "~=3.11"}, {"extra", "test"}});
  } catch (const Error &e) {
    fuzz::require(e.kind() == ErrorKind::InvalidVersion ||
                      e.kind() == ErrorKind::UndefinedComparison,
                  "evaluation failed", input, e.what());
  }
  return 0;
}
