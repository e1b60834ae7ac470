// The manual page tarvo(1), written from the command-line grammar by generate_docs.
#pragma once

#include "tarvo/cli/grammar.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tarvo::docs {

// The items with `separator` between them.
std::string join(const std::vector<std::string> &items, std::string_view separator);

// The page, in roff.
std::string man_page(const cli::Grammar &g);

} // namespace tarvo::docs
