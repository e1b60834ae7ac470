#include "tarvo/project/value.hpp"

#include "tarvo/error.hpp"
#include "tarvo/repr.hpp"

#include <fmt/format.h>

namespace tarvo::project {

Array::Array() = default;
Array::Array(const Array &) = default;
Array::Array(Array &&) noexcept = default;
Array &Array::operator=(const Array &) = default;
Array &Array::operator=(Array &&) noexcept = default;
Array::~Array() = default;

Table::Table() = default;
Table::Table(const Table &) = default;
Table::Table(Table &&) noexcept = default;
Table &Table::operator=(const Table &) = default;
Table &Table::operator=(Table &&) noexcept = default;
Table::~Table() = default;

const Value *find(const Table &table, std::string_view key) {
  for (const auto &[k, v] : table) {
    if (k == key) {
      return &v;
    }
  }
  return nullptr;
}

const Value *Value::find(std::string_view key) const {
  const Table *table = as_table();
  return table ? project::find(*table, key) : nullptr;
}

bool Value::truthy() const {
  return std::visit(
      [](const auto &v) -> bool {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Array> ||
                      std::is_same_v<T, Table>) {
          return !v.empty();
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return true;
        } else {
          return v != 0;
        }
      },
      data);
}

namespace {

std::string float_text(double d) {
  if (d != d) {
    return "nan";
  }
  std::string text = fmt::format("{}", d);
  if (text.find_first_of(".eEin") == std::string::npos) {
    text += ".0";
  }
  return text;
}

std::string printed(const Value &value, bool quote_text) {
  return std::visit(
      [&](const auto &v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return quote_text ? tarvo::repr(v) : v;
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "True" : "False";
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return float_text(v);
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return v.text;
        } else if constexpr (std::is_same_v<T, Array>) {
          std::string out = "[";
          for (std::size_t i = 0; i < v.size(); ++i) {
            out += (i ? ", " : "") + printed(v[i], true);
          }
          return out + "]";
        } else {
          std::string out = "{";
          for (std::size_t i = 0; i < v.size(); ++i) {
            out += (i ? ", " : "") + tarvo::repr(v[i].first) + ": " + printed(v[i].second, true);
          }
          return out + "}";
        }
      },
      value.data);
}

} // namespace

std::string str(const Value &value) { return printed(value, false); }
std::string repr(const Value &value) { return printed(value, true); }
std::string str(const std::optional<Value> &value) { return value ? str(*value) : "None"; }

std::vector<std::string> string_list(const Value &value, std::string_view what) {
  const Array *array = value.as_array();
  std::vector<std::string> out;
  if (array != nullptr) {
    for (const auto &entry : *array) {
      if (!entry.as_string()) {
        array = nullptr;
        break;
      }
      out.push_back(*entry.as_string());
    }
  }
  if (array == nullptr) {
    throw Error(ErrorKind::TypeError,
                fmt::format("{} must be a list of strings, got {}", what, repr(value)));
  }
  return out;
}

} // namespace tarvo::project
