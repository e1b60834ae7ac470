#include "tarvo/project/identity.hpp"

#include "tarvo/files/files.hpp"

#include <algorithm>

namespace tarvo::project {

namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) {
    return {};
  }
  return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool lists(const std::optional<Value> &list, std::string_view entry) {
  const Array *entries = list ? list->as_array() : nullptr;
  return entries && std::any_of(entries->begin(), entries->end(), [&](const Value &v) {
           return v.as_string() && *v.as_string() == entry;
         });
}

// The value of `key` in the [metadata] section of a setup.cfg, read as setuptools reads the
// file: section and key names case-insensitively, "=" or ":" between key and value, lines that
// begin with "#" or ";" ignored. Only the first line of a value counts.
std::optional<std::string> setup_cfg_metadata(const std::string &text, std::string_view key) {
  bool in_metadata = false;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (line.empty() || line.front() == ' ' || line.front() == '\t') {
      continue; // a blank line, or a value's continuation
    }
    auto content = trimmed(line);
    if (content.empty() || content.front() == '#' || content.front() == ';') {
      continue;
    }
    if (content.front() == '[') {
      auto close = content.find(']');
      in_metadata = close != std::string::npos && lower(content.substr(1, close - 1)) == "metadata";
      continue;
    }
    auto separator = content.find_first_of("=:");
    if (in_metadata && separator != std::string::npos &&
        lower(trimmed(content.substr(0, separator))) == key) {
      return trimmed(content.substr(separator + 1));
    }
  }
  return std::nullopt;
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
