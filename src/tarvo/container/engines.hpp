// The engines a build farm runs its targets on: the endpoints TARVO_ENGINES lists, what each
// says of itself (architecture and processors, asked once), and which engine takes a target.
#pragma once

#include "tarvo/container/docker.hpp"
#include "tarvo/container/target.hpp"
#include "tarvo/process/context.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::container {

// One docker endpoint: its name as listed ("default", "arm-box", "ssh://builder@x86-box") and
// what its docker commands get in their environment to reach it.
struct Endpoint {
  std::string name;
  process::Overlay overlay;
};

// The endpoints of TARVO_ENGINES, a comma-separated list of docker context names and DOCKER_HOST
// URLs (anything with "://"); unset or blank, the engine the environment names, alone. An empty
// entry or one listed twice is a ValueError.
std::vector<Endpoint> endpoints(std::optional<std::string_view> setting);

// An engine as it answered: its architecture (machine_name()'s spelling) and how many targets it
// takes at once (its processors).
struct EngineSeat {
  std::string name;
  std::string machine;
  int capacity = 1;
};

// Reads `docker info --format '{{.Architecture}} {{.NCPU}}'`'s answer; none when it is not one.
std::optional<EngineSeat> parse_engine_answer(const std::string &name, std::string_view text);

// The engines each target may go to, by index into `seats`: those of its architecture, or, where
// none is, every engine, which then emulates it.
std::vector<std::vector<std::size_t>> eligible_engines(const std::vector<Target> &targets,
                                                       const std::vector<EngineSeat> &seats);

// One line for the architectures that no engine runs natively ("No engine runs aarch64: its
// targets are emulated"; "No engine runs aarch64 or armv7l: their targets are emulated"), or
// none.
std::optional<std::string> emulation_line(const std::vector<Target> &targets,
                                          const std::vector<EngineSeat> &seats);

// An engine that answered, for a farm: its answer, the context its docker commands run through
// (with its environment), and the engine its targets' views share.
struct AnsweringEngine {
  EngineSeat seat;
  std::unique_ptr<process::Context> context;
  std::unique_ptr<Engine> engine;
};

// Asks the engines, eight at a time, each within the context's answer period, for their
// architecture and processors. One that does not answer is left out, with a line naming it and
// why; none answering is an error.
std::vector<AnsweringEngine> ask_engines(const process::Context &context,
                                         const std::vector<Endpoint> &endpoints);

// Which of `candidates` takes the next target: one with a free place (`busy` below its capacity),
// the least loaded for its capacity, the first listed among equals; none while all are full.
std::optional<std::size_t> pick_engine(const std::vector<std::size_t> &candidates,
                                       const std::vector<EngineSeat> &seats,
                                       const std::vector<int> &busy);

} // namespace tarvo::container
