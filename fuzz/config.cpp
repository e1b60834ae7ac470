// The configuration reader: any document gives values or tarvo's own errors, never a crash,
// and the requirement check it feeds answers or raises.
#include "fuzz.hpp"
#include "tarvo/configdiff/coverage.hpp"
#include "tarvo/project/project_config.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
  using namespace tarvo;
  using namespace tarvo::project;
  using tarvo::configdiff::requirements_not_satisfied_by;
  std::optional<ProjectConfig> config;
  try {
    config = ProjectConfig::from_bytes(fuzz::text(data, size));
  } catch (const Error &) {
    return 0;
  }
  auto attempt = [](auto &&read) {
    try {
      read();
    } catch (const Error &) {
    }
  };
  attempt([&] { str(config->name()); });
  attempt([&] { str(config->description()); });
  attempt([&] { str(config->license()); });
  attempt([&] { config->authors(); });
  attempt([&] { config->version(); });
  attempt([&] { config->tarvo(); });
  attempt([&] { extra_names(*config); });
  attempt([&] { repr(config->build_system_requires()); });
  attempt([&] { str(config->build_backend()); });
  attempt([&] { str(config->pyright_exclude()); });
  attempt([&] { str(config->ruff_exclude()); });
  attempt([&] {
    auto requires_python = config->requires_python();
    auto requires_ = string_list(config->build_system_requires(), "requires");
    requirements_not_satisfied_by({"setuptools>=61", "pytest; python_version < '3.11'"}, requires_,
                                  requires_python ? str(*requires_python) : ">=3.11");
  });
  return 0;
}
