// Values of INI files as setuptools and pytest read them (setup.cfg, tox.ini, pytest.ini).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::project {

// Whether `text` has the section `section` (names compared without regard to case).
bool ini_has_section(const std::string &text, std::string_view section);

// The value of `key` in `section`: section and key names compared without regard to case,
// "=" or ":" between key and value, lines that begin with "#" or ";" ignored. The lines that
// continue a value (indented ones) follow its first line, each after a line end.
std::optional<std::string> ini_value(const std::string &text, std::string_view section,
                                     std::string_view key);

} // namespace tarvo::project
