// Docker calls as tests compare them: the random names of a run (the container's, the
// marker's) written NAME and ID, and a script's prelude, which only carries those names, kept
// apart from what the job itself runs.
#pragma once

#include "tarvo/container/docker.hpp"

#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace tarvo::testing {

// The script after its prelude; `copy` tells which prelude it had (the one that copies the
// project for a build). Empty when it has none.
inline std::string script_body(const std::string &script, bool *copy = nullptr) {
  static const std::regex first("^\\[ -e /src/(\\.tarvo-[0-9a-f]{16}) \\]");
  std::smatch m;
  if (!std::regex_search(script, m, first)) {
    return "";
  }
  const std::string marker = m[1];
  for (bool copies : {true, false}) {
    auto prelude = container::prelude(marker, copies);
    if (script.starts_with(prelude)) {
      if (copy != nullptr) {
        *copy = copies;
      }
      return script.substr(prelude.size());
    }
  }
  return "";
}

// The call with NAME for container names, "PRELUDE" in place of a script's prelude, and the
// cache volume without the project's part ("tarvo-cache-x86_64-glibc-3.11").
inline std::vector<std::string> normal(std::vector<std::string> call) {
  static const std::regex name("tarvo-[0-9a-f]{16}");
  static const std::regex cache("tarvo-cache-.*-[0-9a-f]{8}-");
  for (auto &arg : call) {
    if (auto body = script_body(arg); !body.empty()) {
      arg = "PRELUDE" + body;
    } else {
      arg = std::regex_replace(std::regex_replace(arg, name, "NAME"), cache, "tarvo-cache-");
    }
  }
  return call;
}

// A tar stream as `docker cp CONTAINER:FOLDER/. -` writes it, holding `files` (name to content)
// below "./", made by the system's tar.
std::string tar_stream(const std::map<std::string, std::string> &files);

// An engine whose architecture is taken as unknown, so that this machine's decides, without
// the query among the recorded calls.
struct UnknownEngine : container::Engine {
  explicit UnknownEngine(const process::Context &context) : Engine(context) {
    know_machine(std::nullopt);
  }
};

} // namespace tarvo::testing
