// Docker calls as tests compare them: the random names of a run (the container's, the
// marker's) written NAME and ID, and a script's prelude, which only carries those names, kept
// apart from what the job itself runs.
#pragma once

#include "tarvo/container/docker.hpp"

#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace tarvo::testing {

// The script after its prelude; `mounted` tells which prelude it had. Empty when it has none.
inline std::string script_body(const std::string &script, bool *mounted = nullptr) {
  static const std::regex first("^mv /src/(\\.tarvo-[0-9a-f]{16}) ");
  std::smatch m;
  if (!std::regex_search(script, m, first)) {
    return "";
  }
  const std::string marker = m[1];
  for (bool mount : {true, false}) {
    for (const auto &products : {"dist/" + marker, std::string()}) {
      auto prelude = container::prelude(marker, products, mount);
      if (script.starts_with(prelude)) {
        if (mounted != nullptr) {
          *mounted = mount;
        }
        return script.substr(prelude.size());
      }
    }
  }
  return "";
}

// The call with NAME for container names, ID for a run's id, and "PRELUDE" in place of a
// script's prelude.
inline std::vector<std::string> normal(std::vector<std::string> call) {
  static const std::regex name("tarvo-[0-9a-f]{16}");
  for (auto &arg : call) {
    if (auto body = script_body(arg); !body.empty()) {
      arg = "PRELUDE" + body;
    } else {
      arg = std::regex_replace(arg, name, "NAME");
    }
  }
  return call;
}

// An engine whose architecture is taken as unknown, so that this machine's decides, without
// the query among the recorded calls.
struct UnknownEngine : container::Engine {
  explicit UnknownEngine(const process::Context &context) : Engine(context) {
    know_machine(std::nullopt);
  }
};

} // namespace tarvo::testing
