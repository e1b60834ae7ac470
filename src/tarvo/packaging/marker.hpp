// PEP 508 environment markers such as `python_version < "3.9" and sys_platform == "linux"`:
// parsing and the normalised text (marker.cpp), and evaluation against the values of an
// environment (marker_evaluation.cpp).
#pragma once

#include "tarvo/error.hpp"
#include "tarvo/packaging/specifier.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::packaging {

enum class MarkerVariable : std::uint8_t {
  python_version,
  python_full_version,
  os_name,
  sys_platform,
  platform_release,
  platform_system,
  platform_version,
  platform_machine,
  platform_python_implementation,
  implementation_name,
  implementation_version,
  extra,
};

// The variable's name in the normalised text and in environments ("os.name" and
// "python_implementation" are older spellings of "os_name" and
// "platform_python_implementation").
std::string_view variable_name(MarkerVariable variable);

// One side of a comparison: a variable, or a quoted string's value.
struct MarkerValue {
  std::optional<MarkerVariable> variable;
  std::string literal;
};

// A comparison's operator: one of the version operators, or (not) being part of a text.
struct MarkerOp {
  enum class Kind : std::uint8_t { version, in, not_in };
  Kind kind = Kind::version;
  Operator version = Operator::equal; // the operator, for Kind::version
};

struct MarkerComparison {
  MarkerValue lhs;
  MarkerOp op;
  MarkerValue rhs;
};

// The expression in written order, parentheses kept, so that neither evaluating nor printing
// a deeply nested marker needs recursion.
struct MarkerToken {
  enum class Kind : std::uint8_t { comparison, open, close, and_, or_ };
  Kind kind = Kind::comparison;
  std::uint32_t index = 0; // into Marker::comparisons, for a comparison
};

struct Marker {
  std::vector<MarkerComparison> comparisons;
  std::vector<MarkerToken> tokens;
};

// Parses a marker; an invalid text is an "InvalidMarker" error. A trailing line end is
// allowed.
Marker parse_marker(std::string_view text);

// The normalised text: values in double quotes, single spaces around operators, and only
// the parentheses that group something ("(a)" prints as "a").
std::string to_string(const Marker &marker);

// Two markers are equal when their normalised texts are.
bool operator==(const Marker &a, const Marker &b);

// Values of marker variables by name.
using MarkerEnvironment = std::map<std::string, std::string, std::less<>>;

// The values of this system: the host's from uname(), a CPython 3.11 for the interpreter's,
// and an empty "extra".
const MarkerEnvironment &default_environment();

// Evaluates the marker with `environment` laid over default_environment() (names it does not
// know are ignored). Version variables compare as PEP 440 versions where both sides are
// versions; everything else compares as text. "~=" or "===" between texts is an
// "UndefinedComparison" error. Every comparison is evaluated, so an error anywhere in the
// marker is raised.
bool evaluate(const Marker &marker, const MarkerEnvironment &environment = {});

namespace detail {

// How many variables there are: MarkerVariable's values run from 0 to one less.
inline constexpr std::size_t MARKER_VARIABLE_COUNT = 12;

// The operator as a marker writes it: "<", "in", "not in", ...
std::string_view op_text(MarkerOp op);

// Parses the marker expression that starts at `pos` of `source` and moves `pos` past it and
// the blanks after it. Errors are of `kind` and name the whole `source`.
Marker parse_marker_expression(std::string_view source, std::size_t &pos, ErrorKind kind);

} // namespace detail

} // namespace tarvo::packaging
