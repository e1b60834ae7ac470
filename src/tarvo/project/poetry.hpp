// poetry's dependency constraints ("^1.2", "~2.1", a table with extras, markers and a Python
// range) said in PEP 508, so that pip installs what poetry would.
#pragma once

#include "tarvo/project/value.hpp"

#include <optional>
#include <string>

namespace tarvo::project {

// A poetry dependency (its name and its value: a constraint text or a table) as a PEP 508
// requirement; absent with `why` set where it cannot be expressed (a git, path or url source,
// alternatives joined by "||").
std::optional<std::string> poetry_requirement(const std::string &name, const Value &value,
                                              std::string &why);

} // namespace tarvo::project
