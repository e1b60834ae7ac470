#include "tarvo/process/context.hpp"

namespace tarvo::process {

Context::Context(Timing timing, bool verbose)
    : timing_(timing), verbose_(verbose), launcher_(&system_) {}

Context::Context(Launcher &launcher, Timing timing, bool verbose)
    : timing_(timing), verbose_(verbose), launcher_(&launcher) {}

std::unique_ptr<Child> Context::start(std::vector<std::string> args,
                                      const ProcessOptions &options) const {
  return launcher_->start(std::move(args), options);
}

CompletedProcess Context::run(std::vector<std::string> args, const ProcessOptions &options) const {
  return start(std::move(args), options)->finish();
}

} // namespace tarvo::process
