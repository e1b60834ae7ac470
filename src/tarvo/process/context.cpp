#include "tarvo/process/context.hpp"

#include "tarvo/console/console.hpp"

#include <cstdlib>

namespace tarvo::process {

Context::Context(Timing timing, bool verbose)
    : timing_(timing), verbose_(verbose), launcher_(&system_) {}

Context::Context(Launcher &launcher, Timing timing, bool verbose)
    : timing_(timing), verbose_(verbose), launcher_(&launcher) {}

Context::Context(const Context &base, Overlay overlay, Output *output)
    : timing_(base.timing_), verbose_(base.verbose_), launcher_(base.launcher_),
      overlay_(base.overlay_), output_(output != nullptr ? output : base.output_) {
  for (auto &[name, value] : overlay) {
    overlay_[name] = std::move(value);
  }
}

std::unique_ptr<Child> Context::start(std::vector<std::string> args,
                                      const ProcessOptions &options) const {
  if (overlay_.empty() && output_ == nullptr) {
    return launcher_->start(std::move(args), options);
  }
  ProcessOptions adjusted = options;
  if (!overlay_.empty()) {
    auto env = options.env ? *options.env : current_environment();
    for (const auto &[name, value] : overlay_) {
      if (value) {
        env[name] = *value;
      } else {
        env.erase(name);
      }
    }
    adjusted.env = std::move(env);
  }
  if (output_ != nullptr) {
    for (auto *mode : {&adjusted.stdout_mode, &adjusted.stderr_mode}) {
      if (*mode == Redirect::Inherit) {
        *mode = Redirect::File;
        adjusted.file = output_->file();
      }
    }
  }
  return launcher_->start(std::move(args), adjusted);
}

CompletedProcess Context::run(std::vector<std::string> args, const ProcessOptions &options) const {
  return start(std::move(args), options)->finish();
}

std::optional<std::string> Context::variable(const std::string &name) const {
  if (auto set = overlay_.find(name); set != overlay_.end()) {
    return set->second;
  }
  const char *value = std::getenv(name.c_str());
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void Context::say(Said kind, std::string_view text) const {
  if (output_ != nullptr) {
    output_->say(kind, text);
  } else if (kind != Said::Delivered) {
    console::write(kind == Said::Progress ? console::Stream::Out : console::Stream::Err, text);
  }
}

} // namespace tarvo::process
