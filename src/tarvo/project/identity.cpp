#include "tarvo/project/identity.hpp"

#include "tarvo/files/files.hpp"
#include "tarvo/project/ini.hpp"

#include <algorithm>

namespace tarvo::project {

namespace fs = std::filesystem;

namespace {

bool lists(const std::optional<Value> &list, std::string_view entry) {
  const Array *entries = list ? list->as_array() : nullptr;
  return entries && std::any_of(entries->begin(), entries->end(), [&](const Value &v) {
           return v.as_string() && *v.as_string() == entry;
         });
}

// The first line of `key` in the [metadata] section of a setup.cfg, as setuptools reads it.
std::optional<std::string> setup_cfg_metadata(const std::string &text, std::string_view key) {
  auto value = ini_value(text, "metadata", key);
  if (value) {
    value->erase(std::min(value->find('\n'), value->size()));
  }
  return value;
}

} // namespace

Identity project_identity(const ProjectConfig &config, const fs::path &folder) {
  Identity identity;
  if (auto name = config.name()) {
    identity.source = "[project]";
    identity.name = str(*name);
    if (config.project_key("version")) {
      identity.version = config.version();
    } else {
      identity.dynamic_version = lists(config.project_key("dynamic"), "version");
    }
    return identity;
  }
  if (auto poetry = config.tool("poetry"); poetry && poetry->as_table()) {
    if (const Value *name = poetry->find("name")) {
      identity.source = "[tool.poetry]";
      identity.name = str(*name);
      if (const Value *version = poetry->find("version")) {
        identity.version = str(*version);
      }
      return identity;
    }
  }
  const auto setup_cfg = folder / "setup.cfg";
  if (!files::exists(setup_cfg)) {
    return identity;
  }
  const auto text = files::read_file(setup_cfg);
  auto name = setup_cfg_metadata(text, "name");
  if (!name || name->empty()) {
    return identity;
  }
  identity.source = "setup.cfg";
  identity.name = *name;
  auto version = setup_cfg_metadata(text, "version");
  if (version && (version->starts_with("attr:") || version->starts_with("file:"))) {
    identity.dynamic_version = true;
  } else if (version && !version->empty()) {
    identity.version = *version;
  } else {
    identity.dynamic_version = config.tool("setuptools_scm").has_value();
  }
  return identity;
}

} // namespace tarvo::project
