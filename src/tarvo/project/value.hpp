// A TOML value as the project's pyproject.toml stores it, with tables in document order, and
// the printed forms that messages show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tarvo::project {

struct Value;

// The two containers declare their special members here and define them in value.cpp, where
// Value is complete: asking whether they are trivial then needs no Value, which lets the
// recursive type compile with every compiler and standard library.
struct Array : std::vector<Value> {
  using vector::vector;
  Array();
  Array(const Array &);
  Array(Array &&) noexcept;
  Array &operator=(const Array &);
  Array &operator=(Array &&) noexcept;
  ~Array();
};

// Keys in document order.
struct Table : std::vector<std::pair<std::string, Value>> {
  using vector::vector;
  Table();
  Table(const Table &);
  Table(Table &&) noexcept;
  Table &operator=(const Table &);
  Table &operator=(Table &&) noexcept;
  ~Table();
};

// Dates and times keep their TOML text.
struct DateTime {
  std::string text;
};

struct Value {
  std::variant<std::string, std::int64_t, double, bool, DateTime, Array, Table> data;

  const std::string *as_string() const { return std::get_if<std::string>(&data); }
  const Array *as_array() const { return std::get_if<Array>(&data); }
  const Table *as_table() const { return std::get_if<Table>(&data); }

  // The value stored under `key` when this is a table holding it.
  const Value *find(std::string_view key) const;

  // False for an empty text, array or table, zero and false.
  bool truthy() const;
};

// The value stored under `key` in `table`, or null.
const Value *find(const Table &table, std::string_view key);

// Printed forms: `str` shows text as it is, `repr` quotes it; containers quote their entries
// ("['a', 'b']", "{'text': 'MIT'}").
std::string str(const Value &value);
std::string repr(const Value &value);
// str() of the value, or None when absent.
std::string str(const std::optional<Value> &value);

// The entries of a list of text; a TypeError names `what` when the value is anything else.
std::vector<std::string> string_list(const Value &value, std::string_view what);

} // namespace tarvo::project
