// The periods that pace tarvo's waits. A command's run context carries them (context.hpp), so
// that a test can shorten them for its own run.
#pragma once

#include <chrono>

namespace tarvo::process {

struct Timing {
  // How long children get, after an interrupt or when a command unwinds, before they are
  // killed.
  std::chrono::milliseconds grace_period{5000};
  // How long, from the first interrupt, the clean-up of what runs outside tarvo's process tree
  // (stopping and removing a container on the engine) may take in all; what has not ended by
  // then is abandoned and named.
  std::chrono::milliseconds cleanup_period{10000};
  // How often a display is redrawn while children run: the spinner's frame and the lint block.
  std::chrono::milliseconds frame_period{100};
  // How long output is still read once a step and its process group have ended: what a process
  // that left the group (a daemon) holds open is not waited for longer.
  std::chrono::milliseconds drain_period{1000};
  // How long a docker engine is given to answer a question (what it runs, what it has) before it
  // is taken as one that does not answer.
  std::chrono::milliseconds answer_period{10000};
};

} // namespace tarvo::process
