// Evaluating a marker against the values of an environment, this host's by default.
#include "tarvo/packaging/marker.hpp"

#include "tarvo/error.hpp"
#include "tarvo/packaging/name.hpp"
#include "tarvo/packaging/scan.hpp"
#include "tarvo/packaging/specifier.hpp"
#include "tarvo/repr.hpp"

#include <array>
#include <fmt/format.h>
#include <sys/utsname.h>

namespace tarvo::packaging {

namespace {

constexpr std::size_t variable_count = detail::MARKER_VARIABLE_COUNT;

using Values = std::array<std::string, variable_count>;

bool compare_text(MarkerOp op, const std::string &lhs, const std::string &rhs) {
  if (op.kind != MarkerOp::Kind::version) {
    return (rhs.find(lhs) != std::string::npos) == (op.kind == MarkerOp::Kind::in);
  }
  switch (op.version) {
  case Operator::less:
    return lhs < rhs;
  case Operator::less_equal:
    return lhs <= rhs;
  case Operator::not_equal:
    return lhs != rhs;
  case Operator::equal:
    return lhs == rhs;
  case Operator::greater_equal:
    return lhs >= rhs;
  case Operator::greater:
    return lhs > rhs;
  case Operator::compatible:
  case Operator::arbitrary:
    break;
  }
  throw Error(
      ErrorKind::UndefinedComparison,
      fmt::format("Undefined {} on {} and {}", repr(detail::op_text(op)), repr(lhs), repr(rhs)));
}

bool evaluate_comparison(const MarkerComparison &c, const Values &values) {
  std::string lhs =
      c.lhs.variable ? values[static_cast<std::size_t>(*c.lhs.variable)] : c.lhs.literal;
  std::string rhs =
      c.rhs.variable ? values[static_cast<std::size_t>(*c.rhs.variable)] : c.rhs.literal;
  auto variable = c.lhs.variable ? c.lhs.variable : c.rhs.variable;
  if (variable == MarkerVariable::extra) {
    // Extra names are equal when their normalised forms are (PEP 685).
    lhs = canonicalize_name(lhs);
    rhs = canonicalize_name(rhs);
  }
  // Where the operator and the right side make a version specifier, the left side is compared
  // as a version, whatever the variable, and a left side that is no version is an
  // InvalidVersion error. Only the others compare as text.
  if (c.op.kind == MarkerOp::Kind::version) {
    std::string clause(detail::op_text(c.op));
    clause += rhs;
    if (auto specifier = try_parse_specifier(clause)) {
      return contains(*specifier, lhs, true);
    }
  }
  return compare_text(c.op, lhs, rhs);
}

std::string host_platform(const std::string &system) {
  if (system == "Linux") {
    return "linux";
  }
  return system == "Darwin" ? "darwin" : scan::lower(system);
}

const Values &default_values() {
  static const Values values = [] {
    struct utsname host {};
    uname(&host);
    std::string system = host.sysname;
    Values out;
    auto set = [&](MarkerVariable variable, std::string value) {
      out[static_cast<std::size_t>(variable)] = std::move(value);
    };
    set(MarkerVariable::python_version, "3.11");
    set(MarkerVariable::python_full_version, "3.11.0");
    set(MarkerVariable::os_name, "posix");
    set(MarkerVariable::sys_platform, host_platform(system));
    set(MarkerVariable::platform_release, host.release);
    set(MarkerVariable::platform_system, system);
    set(MarkerVariable::platform_version, host.version);
    set(MarkerVariable::platform_machine, host.machine);
    set(MarkerVariable::platform_python_implementation, "CPython");
    set(MarkerVariable::implementation_name, "cpython");
    set(MarkerVariable::implementation_version, "3.11.0");
    return out;
  }();
  return values;
}

} // namespace

const MarkerEnvironment &default_environment() {
  static const MarkerEnvironment environment = [] {
    MarkerEnvironment out;
    for (std::size_t i = 0; i < variable_count; ++i) {
      out.emplace(variable_name(static_cast<MarkerVariable>(i)), default_values()[i]);
    }
    return out;
  }();
  return environment;
}

bool evaluate(const Marker &marker, const MarkerEnvironment &environment) {
  Values values = default_values();
  for (const auto &[name, value] : environment) {
    for (std::size_t i = 0; i < variable_count; ++i) {
      if (variable_name(static_cast<MarkerVariable>(i)) == name) {
        values[i] = value;
      }
    }
  }
  // Each level keeps whether an earlier "or" branch held and whether the current "and"
  // chain still holds.
  struct Level {
    bool any = false;
    bool all = true;
  };
  std::vector<Level> levels(1);
  for (const MarkerToken &token : marker.tokens) {
    switch (token.kind) {
    case MarkerToken::Kind::comparison: {
      bool result = evaluate_comparison(marker.comparisons[token.index], values);
      levels.back().all = levels.back().all && result;
      break;
    }
    case MarkerToken::Kind::open:
      levels.emplace_back();
      break;
    case MarkerToken::Kind::close: {
      bool result = levels.back().any || levels.back().all;
      levels.pop_back();
      levels.back().all = levels.back().all && result;
      break;
    }
    case MarkerToken::Kind::and_:
      break;
    case MarkerToken::Kind::or_:
      levels.back().any = levels.back().any || levels.back().all;
      levels.back().all = true;
      break;
    }
  }
  return levels.back().any || levels.back().all;
}

} // namespace tarvo::packaging
