#include "tarvo/container/engines.hpp"
#include "tarvo/text.hpp"

#include "tarvo/container/docker.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/workers.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/text.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <fmt/format.h>
#include <set>

namespace tarvo::container {

namespace {

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

namespace {

// How many engines are asked at once: a long list starts a bounded number of docker clients.
constexpr std::size_t ASKED_AT_ONCE = 8;

} // namespace

std::vector<AnsweringEngine> ask_engines(const process::Context &context,
                                         const std::vector<Endpoint> &endpoints) {
  const auto count = endpoints.size();
  std::vector<std::unique_ptr<process::Context>> contexts;
  for (const auto &endpoint : endpoints) {
    contexts.push_back(std::make_unique<process::Context>(context, endpoint.overlay));
  }
  std::vector<std::optional<EngineSeat>> seats(count);
  std::vector<std::string> why(count, "no answer");
  std::atomic<std::size_t> next{0};
  {
    process::Workers workers;
    for (std::size_t w = 0; w < std::min(count, ASKED_AT_ONCE); ++w) {
      workers.start([&] {
        for (std::size_t i = next++; i < count && process::interrupt_signal() == 0; i = next++) {
          try {
            auto done = ask_engine(*contexts[i],
                                   {"docker", "info", "--format", "{{.Architecture}} {{.NCPU}}"});
            if (!done) {
              why[i] = fmt::format(
                  "no answer within {:g} s",
                  std::chrono::duration<double>(context.timing().answer_period).count());
              continue;
            }
            if (done->returncode == 0) {
              seats[i] = parse_engine_answer(endpoints[i].name, done->stdout_text.value_or(""));
            }
            const auto said = done->stderr_text.value_or("");
            if (!last_line(said).empty()) {
              why[i] = std::string(last_line(said));
            }
          } catch (const Error &e) {
            why[i] = e.what();
          } catch (const process::Interrupted &) {
            return;
          }
        }
      });
    }
  }
  process::check_interrupted();
  std::vector<AnsweringEngine> engines;
  std::vector<std::string> silent;
  for (std::size_t i = 0; i < count; ++i) {
    if (!seats[i]) {
      context.say(process::Said::Progress,
                  fmt::format("Engine {} did not answer ({}): left out\n",
                              printable(endpoints[i].name), printable(why[i])));
      silent.push_back(printable(endpoints[i].name));
      continue;
    }
    auto engine = std::make_unique<Engine>(*contexts[i]);
    engine->know_machine(seats[i]->machine);
    // The farm asked the client before any engine: its targets do not ask again.
    engine->know_docker();
    engines.push_back({std::move(*seats[i]), std::move(contexts[i]), std::move(engine)});
  }
  if (engines.empty()) {
    throw Error(ErrorKind::RuntimeError, "No docker engine answered: " + listed(silent));
  }
  return engines;
}

} // namespace tarvo::container
