#include "tarvo/container/engines.hpp"

#include "tarvo/container/docker.hpp"
#include "tarvo/error.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fmt/format.h>
#include <set>

namespace tarvo::container {

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// The engine the environment names, as a table names it.
std::string current_engine_name() {
  for (const char *variable : {"DOCKER_CONTEXT", "DOCKER_HOST"}) {
    const char *value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      return value;
    }
  }
  return "default";
}

} // namespace

std::vector<Endpoint> endpoints(std::optional<std::string_view> setting) {
  if (!setting || trimmed(*setting).empty()) {
    return {{current_engine_name(), {}}};
  }
  std::vector<Endpoint> out;
  std::set<std::string> seen;
  std::string_view rest = *setting;
  while (true) {
    auto comma = rest.find(',');
    auto entry = std::string(trimmed(rest.substr(0, comma)));
    if (entry.empty()) {
      throw Error(ErrorKind::ValueError,
                  fmt::format("TARVO_ENGINES has an empty entry: '{}'", *setting));
    }
    if (!seen.insert(entry).second) {
      throw Error(ErrorKind::ValueError, fmt::format("TARVO_ENGINES lists '{}' twice", entry));
    }
    if (entry.find("://") != std::string::npos) {
      out.push_back({entry, {{"DOCKER_HOST", entry}, {"DOCKER_CONTEXT", std::nullopt}}});
    } else if (entry == "default") {
      // Docker's default context is the engine DOCKER_HOST names, if it names one.
      out.push_back({entry, {{"DOCKER_CONTEXT", entry}}});
    } else {
      out.push_back({entry, {{"DOCKER_CONTEXT", entry}, {"DOCKER_HOST", std::nullopt}}});
    }
    if (comma == std::string_view::npos) {
      return out;
    }
    rest.remove_prefix(comma + 1);
  }
}

std::optional<EngineSeat> parse_engine_answer(const std::string &name, std::string_view text) {
  text = trimmed(text);
  auto space = text.find(' ');
  if (space == std::string_view::npos) {
    return std::nullopt;
  }
  auto machine = text.substr(0, space);
  auto cpus = trimmed(text.substr(space + 1));
  int capacity = 0;
  auto [end, error] = std::from_chars(cpus.data(), cpus.data() + cpus.size(), capacity);
  if (machine.empty() || machine.find('<') != std::string_view::npos || error != std::errc() ||
      end != cpus.data() + cpus.size() || capacity < 1) {
    return std::nullopt;
  }
  return EngineSeat{name, machine_name(machine), capacity};
}

std::vector<std::vector<std::size_t>> eligible_engines(const std::vector<Target> &targets,
                                                       const std::vector<EngineSeat> &seats) {
  std::vector<std::vector<std::size_t>> out;
  for (const auto &target : targets) {
    std::vector<std::size_t> native;
    for (std::size_t i = 0; i < seats.size(); ++i) {
      if (seats[i].machine == target.arch) {
        native.push_back(i);
      }
    }
    if (native.empty()) {
      for (std::size_t i = 0; i < seats.size(); ++i) {
        native.push_back(i);
      }
    }
    out.push_back(std::move(native));
  }
  return out;
}

std::optional<std::string> emulation_line(const std::vector<Target> &targets,
                                          const std::vector<EngineSeat> &seats) {
  std::vector<std::string> foreign;
  for (const auto &target : targets) {
    bool native = std::any_of(seats.begin(), seats.end(),
                              [&](const EngineSeat &seat) { return seat.machine == target.arch; });
    if (!native && std::find(foreign.begin(), foreign.end(), target.arch) == foreign.end()) {
      foreign.push_back(target.arch);
    }
  }
  if (foreign.empty()) {
    return std::nullopt;
  }
  std::string names;
  for (const auto &arch : foreign) {
    names += (names.empty() ? "" : " or ") + arch;
  }
  return fmt::format("No engine runs {}: {} emulated", names,
                     foreign.size() == 1 ? "its targets are" : "their targets are");
}

std::optional<std::size_t> pick_engine(const std::vector<std::size_t> &candidates,
                                       const std::vector<EngineSeat> &seats,
                                       const std::vector<int> &busy) {
  std::optional<std::size_t> best;
  for (auto i : candidates) {
    if (busy[i] >= seats[i].capacity) {
      continue;
    }
    // busy/capacity below the best's, compared without division.
    if (!best || static_cast<long>(busy[i]) * seats[*best].capacity <
                     static_cast<long>(busy[*best]) * seats[i].capacity) {
      best = i;
    }
  }
  return best;
}

} // namespace tarvo::container
