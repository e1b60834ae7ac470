#include "tarvo/project/project_config.hpp"

#include "tarvo/files/files.hpp"
#include "tarvo/project/toml_input.hpp"

#include <algorithm>
#include <cerrno>
#include <fmt/format.h>
#include <sys/stat.h>
#include <toml++/toml.hpp>

namespace tarvo::project {

namespace fs = std::filesystem;

namespace {

Value convert(const toml::node &node);

// toml++ keeps a table's keys sorted; the document's order comes back from where each key
// stands in the source.
Table convert_table(const toml::table &table) {
  std::vector<std::pair<const toml::key *, const toml::node *>> entries;
  for (const auto &[key, node] : table) {
    entries.emplace_back(&key, &node);
  }
  std::stable_sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
    const auto &pa = a.first->source().begin;
    const auto &pb = b.first->source().begin;
    return std::tie(pa.line, pa.column) < std::tie(pb.line, pb.column);
  });
  Table out;
  out.reserve(entries.size());
  for (const auto &[key, node] : entries) {
    out.emplace_back(std::string(key->str()), convert(*node));
  }
  return out;
}

Value convert(const toml::node &node) {
  switch (node.type()) {
  case toml::node_type::table:
    return {convert_table(*node.as_table())};
  case toml::node_type::array: {
    Array out;
    for (const auto &entry : *node.as_array()) {
      out.push_back(convert(entry));
    }
    return {std::move(out)};
  }
  case toml::node_type::string:
    return {std::string(node.as_string()->get())};
  case toml::node_type::integer:
    return {node.as_integer()->get()};
  case toml::node_type::floating_point:
    return {node.as_floating_point()->get()};
  case toml::node_type::boolean:
    return {node.as_boolean()->get()};
  default: {
    std::ostringstream text;
    node.visit([&](const auto &v) { text << v; });
    return {DateTime{text.str()}};
  }
  }
}

Table parse_document(std::string_view bytes) {
  const std::string input = toml_input(bytes);
  try {
    return convert_table(toml::parse(input));
  } catch (const toml::parse_error &e) {
    throw TomlDecodeError(fmt::format("{} (at line {}, column {})", e.description(),
                                      e.source().begin.line, e.source().begin.column));
  }
}

// A table met on the way to a key; anything else there is an error naming what was found.
const Table *walk(const Value *value, std::string_view where) {
  if (value == nullptr) {
    return nullptr;
  }
  if (const Table *table = value->as_table()) {
    return table;
  }
  throw Error(ErrorKind::TypeError,
              fmt::format("[{}] must be a table, got {}", where, repr(*value)));
}

// The checks whose failure reports the offending value itself.
const Table &checked_table(const Value &value) {
  if (const Table *table = value.as_table()) {
    return *table;
  }
  throw Error(ErrorKind::TypeError, str(value));
}

std::optional<Value> lookup(const Table *table, std::string_view key) {
  if (table == nullptr) {
    return std::nullopt;
  }
  const Value *value = find(*table, key);
  return value ? std::optional<Value>(*value) : std::nullopt;
}

} // namespace

std::optional<fs::path> find_project_root() {
  fs::path dir = ".";
  for (;;) {
    struct stat here {};
    struct stat above {};
    const auto up = dir == "." ? fs::path("..") : dir / "..";
    if (::stat((dir / "pyproject.toml").c_str(), &here) == 0) {
      return dir;
    }
    // The top of the file system ("/.." is "/"), or an ancestor that cannot be searched.
    if (errno != ENOENT || ::stat(dir.c_str(), &here) != 0 || ::stat(up.c_str(), &above) != 0 ||
        (here.st_dev == above.st_dev && here.st_ino == above.st_ino)) {
      return std::nullopt;
    }
    dir = up;
  }
}

fs::path find_pyproject() {
  if (auto root = find_project_root()) {
    return (*root / "pyproject.toml").lexically_normal();
  }
  throw Error(ErrorKind::FileNotFoundError, "pyproject.toml not found");
}

ProjectConfig::ProjectConfig() : ProjectConfig(find_pyproject()) {}

ProjectConfig::ProjectConfig(const fs::path &file)
    : data_(parse_document(files::read_file(file))) {}

ProjectConfig ProjectConfig::from_bytes(std::string_view bytes) {
  return ProjectConfig(parse_document(bytes));
}

std::optional<Value> ProjectConfig::project_key(std::string_view key) const {
  return lookup(walk(find(data_, "project"), "project"), key);
}

std::optional<Value> ProjectConfig::name() const { return project_key("name"); }
std::optional<Value> ProjectConfig::description() const { return project_key("description"); }
std::optional<Value> ProjectConfig::license() const { return project_key("license"); }
std::optional<Value> ProjectConfig::extras() const { return project_key("optional-dependencies"); }

std::optional<std::vector<Author>> ProjectConfig::authors() const {
  auto authors = project_key("authors");
  if (!authors) {
    return std::nullopt;
  }
  const Array *entries = authors->as_array();
  if (entries == nullptr) {
    throw Error(ErrorKind::TypeError,
                "[project] authors must be an array of tables, got " + repr(*authors));
  }
  std::vector<Author> out;
  for (const auto &entry : *entries) {
    const Table *table = walk(&entry, "project.authors");
    out.push_back({lookup(table, "name"), lookup(table, "email")});
  }
  return out;
}

std::optional<std::string> ProjectConfig::version() const {
  const Table *project = walk(find(data_, "project"), "project");
  if (project == nullptr) {
    return std::nullopt;
  }
  const Value *version = find(*project, "version");
  if (version == nullptr) {
    throw Error(ErrorKind::KeyError, "'version'");
  }
  if (const std::string *text = version->as_string()) {
    return *text;
  }
  throw Error(ErrorKind::TypeError, str(*version));
}

Table ProjectConfig::tarvo() const {
  const Table *tool = walk(find(data_, "tool"), "tool");
  const Value *own = tool ? find(*tool, "tarvo") : nullptr;
  return own ? checked_table(*own) : Table{};
}

Value ProjectConfig::build_system_requires() const {
  auto requires_ = lookup(walk(find(data_, "build-system"), "build-system"), "requires");
  if (!requires_ || !requires_->truthy()) {
    return {Array{}};
  }
  return *requires_;
}

std::optional<Value> ProjectConfig::build_backend() const {
  return lookup(walk(find(data_, "build-system"), "build-system"), "build-backend");
}

std::optional<Value> ProjectConfig::tool_exclude(std::string_view name) const {
  const Table *tool = walk(find(data_, "tool"), "tool");
  const Value *section = tool ? find(*tool, name) : nullptr;
  if (section == nullptr) {
    return std::nullopt;
  }
  return lookup(&checked_table(*section), "exclude");
}

std::optional<Value> ProjectConfig::tool(std::string_view name) const {
  return lookup(walk(find(data_, "tool"), "tool"), name);
}

std::optional<Value> ProjectConfig::dependency_groups() const {
  const Value *groups = find(data_, "dependency-groups");
  return groups ? std::optional<Value>(*groups) : std::nullopt;
}

std::optional<Value> ProjectConfig::pyright_exclude() const { return tool_exclude("pyright"); }
std::optional<Value> ProjectConfig::ruff_exclude() const { return tool_exclude("ruff"); }

std::vector<std::string> extra_names(const ProjectConfig &config) {
  std::vector<std::string> names;
  auto extras = config.extras();
  if (!extras || !extras->truthy()) {
    return names;
  }
  const Table *table = extras->as_table();
  if (table == nullptr) {
    throw Error(ErrorKind::TypeError,
                "[project.optional-dependencies] must be a table, got " + repr(*extras));
  }
  for (const auto &[name, _] : *table) {
    names.push_back(name);
  }
  return names;
}

std::optional<Value> ProjectConfig::requires_python() const {
  const Value *project = find(data_, "project");
  if (project == nullptr) {
    return std::nullopt;
  }
  return lookup(&checked_table(*project), "requires-python");
}

} // namespace tarvo::project
