#include "tarvo/project/identity.hpp"
#include "tarvo/text.hpp"

#include "tarvo/files/files.hpp"
#include "tarvo/process/context.hpp"
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

// "Version: X" among the headers of a PKG-INFO (they end at the first empty line).
std::optional<std::string> pkg_info_version(const std::string &text) {
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = std::min(text.find('\n', start), text.size());
    std::string_view line(text.data() + start, end - start);
    if (line.empty() || line == "\r") {
      break;
    }
    if (line.starts_with("Version:")) {
      return std::string(trimmed(line.substr(8)));
    }
    start = end + 1;
  }
  return std::nullopt;
}

// The text assigned to __version__ or version in a version file the build wrote
// ("__version__ = version = '1.2.3'").
std::optional<std::string> version_file_version(const std::string &text) {
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = std::min(text.find('\n', start), text.size());
    std::string line(trimmed(std::string_view(text).substr(start, end - start)));
    start = end + 1;
    if (!line.starts_with("__version__") && !line.starts_with("version")) {
      continue;
    }
    auto quote = line.find_first_of("'\"", line.find('='));
    if (line.find('=') == std::string::npos || quote == std::string::npos) {
      continue;
    }
    auto close = line.find(line[quote], quote + 1);
    if (close != std::string::npos) {
      return line.substr(quote + 1, close - quote - 1);
    }
  }
  return std::nullopt;
}

// The value at `path` in [tool.TOOL], or absent.
std::optional<Value> tool_key(const ProjectConfig &config, std::string_view tool,
                              std::initializer_list<std::string_view> path) {
  auto table = config.tool(tool);
  const Value *at = table ? &*table : nullptr;
  for (auto key : path) {
    at = at ? at->find(key) : nullptr;
  }
  return at ? std::optional<Value>(*at) : std::nullopt;
}

bool requires_scm(const ProjectConfig &config) {
  const auto needed = config.build_system_requires();
  const Array *list = needed.as_array();
  return list && std::any_of(list->begin(), list->end(), [](const Value &v) {
           return v.as_string() && (v.as_string()->starts_with("setuptools_scm") ||
                                    v.as_string()->starts_with("setuptools-scm"));
         });
}

} // namespace

std::optional<std::pair<std::string, std::string>>
version_known_before_build(const process::Context &context, const ProjectConfig &config,
                           const fs::path &folder) {
  if (files::exists(folder / "PKG-INFO")) {
    if (auto version = pkg_info_version(files::read_file(folder / "PKG-INFO"))) {
      return std::pair{*version, std::string("PKG-INFO")};
    }
  }
  const auto source = tool_key(config, "hatch", {"version", "source"});
  const bool hatch_vcs = source && source->as_string() && *source->as_string() == "vcs";
  const bool scm = config.tool("setuptools_scm").has_value() || requires_scm(config);
  if (!hatch_vcs && !scm) {
    return std::nullopt;
  }
  if (files::exists(folder / ".git")) {
    // At a tag, on a clean checkout, the version is the tag's; anywhere else the build makes
    // a development version of its own.
    auto described = context.run(
        {"git", "-C", folder.string(), "describe", "--tags", "--exact-match", "--dirty"},
        {process::Redirect::Capture, process::Redirect::Discard});
    std::string tag(trimmed(described.stdout_text.value_or("")));
    if (described.returncode != 0 || tag.empty() || tag.ends_with("-dirty")) {
      return std::nullopt;
    }
    if (tag.front() == 'v' || tag.front() == 'V') {
      tag.erase(0, 1);
    }
    return std::pair{tag, std::string("git describe")};
  }
  auto file = hatch_vcs ? tool_key(config, "hatch", {"build", "hooks", "vcs", "version-file"})
                        : tool_key(config, "setuptools_scm", {"version_file"});
  if (!file && !hatch_vcs) {
    file = tool_key(config, "setuptools_scm", {"write_to"});
  }
  if (!file || !file->as_string() || !files::exists(folder / *file->as_string())) {
    return std::nullopt;
  }
  if (auto version = version_file_version(files::read_file(folder / *file->as_string()))) {
    return std::pair{*version, *file->as_string()};
  }
  return std::nullopt;
}

Identity project_identity(const process::Context &context, const ProjectConfig &config,
                          const fs::path &folder) {
  Identity identity;
  if (auto name = config.name()) {
    identity.source = "[project]";
    identity.name = str(*name);
    if (config.project_key("version")) {
      identity.version = config.version();
    } else {
      identity.dynamic_version = lists(config.project_key("dynamic"), "version");
      if (identity.dynamic_version) {
        if (auto known = version_known_before_build(context, config, folder)) {
          identity.version = known->first;
          identity.version_from = known->second;
        }
      }
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
