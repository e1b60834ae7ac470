// The project templates compiled into tarvo, and the renderer that fills in their fields.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvo::templates {

// The text of a template by file name ("pyproject.toml.tpl", "build.yml.tpl"); a
// FileNotFoundError names an unknown one.
std::string_view text(std::string_view name);

// Every field of our templates stands inside a double-quoted string; a value is escaped for
// that string so that any text renders to a valid file and reads back unchanged.
enum class Quoting {
  TomlBasic,  // TOML basic string
  YamlDouble, // YAML double-quoted scalar
};

std::string escape(std::string_view value, Quoting quoting);

using Fields = std::vector<std::pair<std::string, std::string>>;

// Replaces each {field} by its escaped value and each {{ or }} by one brace. A field that is
// not given is a KeyError; a lone brace is a ValueError.
std::string render(std::string_view templ, const Fields &fields, Quoting quoting);

} // namespace tarvo::templates
