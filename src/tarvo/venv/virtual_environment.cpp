#include "tarvo/venv/virtual_environment.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/files/files.hpp"
#include "tarvo/files/tree.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/programs.hpp"
#include "tarvo/venv/runner.hpp"
#include "tarvo/venv/setup_record.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <optional>

namespace tarvo::venv {

namespace fs = std::filesystem;

namespace {

// The interpreter that creates environments: python, or python3 where only that is on the
// search path (stock Debian, Ubuntu and macOS have no python).
std::string base_python() {
  auto env = process::current_environment();
  for (const char *name : {"python", "python3"}) {
    if (process::on_search_path(name, env)) {
      return name;
    }
  }
  throw Error(ErrorKind::FileNotFoundError,
              "A Python interpreter is needed to create .venv: neither python nor python3 is on "
              "PATH");
}

// Absolute and normalised first, so ".." is taken as written, then with every link resolved,
// a dangling one included; the part that does not exist yet stays as written.
fs::path canonical_path(const fs::path &given) {
  std::error_code ec;
  auto normal = fs::absolute(given, ec).lexically_normal();
  if (ec) {
    throw os_error(ec.value());
  }
  auto parts = normal.relative_path();
  std::deque<fs::path> pending(parts.begin(), parts.end());
  fs::path resolved = normal.root_path();
  int links = 0;
  while (!pending.empty()) {
    auto part = std::move(pending.front());
    pending.pop_front();
    if (part.empty() || part == ".") {
      continue;
    }
    if (part == "..") {
      resolved = resolved.parent_path();
      continue;
    }
    auto next = resolved / part;
    auto status = fs::symlink_status(next, ec);
    if (fs::is_symlink(status)) {
      // As many links as the kernel follows before it reports a loop.
      if (++links > 40) {
        throw os_error(ELOOP, given);
      }
      auto target = fs::read_symlink(next, ec);
      if (ec) {
        throw os_error(ec.value(), next);
      }
      if (target.is_absolute()) {
        resolved = target.root_path();
      }
      auto target_parts = target.relative_path();
      pending.insert(pending.begin(), target_parts.begin(), target_parts.end());
      continue;
    }
    resolved = std::move(next);
    if (!fs::exists(status)) {
      for (const auto &rest : pending) {
        resolved /= rest;
      }
      break;
    }
  }
  return resolved.lexically_normal();
}

// ".[a,b]" for the groups a and b, "." for none.
std::string package_spec(const std::vector<std::string> &extras) {
  if (extras.empty()) {
    return ".";
  }
  std::string text = ".[";
  for (std::size_t i = 0; i < extras.size(); ++i) {
    text += (i > 0 ? "," : "") + extras[i];
  }
  return text + "]";
}

} // namespace

VirtualEnvironment::VirtualEnvironment(const process::Context &context, const fs::path &path,
                                       Sync sync, std::string purpose)
    : context_(&context), path_(canonical_path(path)), python_(path_ / "bin" / "python"),
      pip_(path_ / "bin" / "pip"), purpose_(std::move(purpose)) {
  if (sync == Sync::WhenIncomplete) {
    std::string why;
    if (!exists()) {
      std::error_code ec;
      why = !fs::exists(path_, ec)                  ? "is missing"
            : !fs::exists(path_ / "pyvenv.cfg", ec) ? "has no pyvenv.cfg"
            : !fs::exists(python_, ec)              ? "has no bin/python"
                                                    : "has no bin/pip";
    } else if (auto changed = purpose_.empty() ? std::nullopt : setup_changes(path_, purpose_)) {
      why = fmt::format("was set up for {} before {} changed",
                        purpose_.substr(0, purpose_.find(' ')), *changed);
    } else {
      syncs_ = false;
      return;
    }
    console::write(console::progress_stream(),
                   fmt::format("--no-sync: {} {}, so it is set up as usual\n", path.string(), why));
  }
  ensure();
  ensure_pip();
}

bool VirtualEnvironment::exists() const { return is_complete(path_); }

void VirtualEnvironment::setup_done() const {
  if (syncs_ && !purpose_.empty()) {
    record_setup(path_, purpose_);
  }
}

void VirtualEnvironment::ensure() const {
  if (exists()) {
    return;
  }
  // What an interrupted creation or a concurrent one left is no environment to patch: pip
  // without its configuration, an interpreter without pip. It is made again from nothing.
  std::error_code ec;
  if (fs::exists(fs::symlink_status(path_, ec))) {
    files::remove_tree(path_, process::check_interrupted);
  }
  spinner(*context_, "Creating virtual environment",
          {base_python(), "-m", "venv", "--system-site-packages", path_.string()}, true);
}

void VirtualEnvironment::ensure_pip() const {
  spinner(*context_, "Ensuring pip is installed", {python_.string(), "-um", "ensurepip"}, true);
  spinner(*context_, "Upgrading pip", {pip_.string(), "install", "--upgrade", "pip"}, true);
}

void VirtualEnvironment::ensure_build_tools() const {
  spinner(*context_, "Installing build tools", {pip_.string(), "install", "build", "wheel"}, true);
}

void VirtualEnvironment::ensure_test_tools(const project::TestRequirements &requirements) const {
  using project::TestSource;
  std::vector<std::string> args = {pip_.string(), "install", "-e"};
  switch (requirements.source) {
  case TestSource::Extra:
  case TestSource::Unseen:
    args.push_back(".[" + requirements.name + "]");
    break;
  case TestSource::Group:
    args.insert(args.end(), {".", "--group", requirements.name});
    break;
  case TestSource::PdmGroup:
  case TestSource::PoetryGroup:
    args.push_back(".");
    args.insert(args.end(), requirements.requirements.begin(), requirements.requirements.end());
    break;
  case TestSource::None:
    args.push_back(".");
    break;
  }
  spinner(*context_, "Installing test tools", args, true);
}

void VirtualEnvironment::ensure_lint_tools(const std::vector<std::string> &extras) const {
  std::vector<std::string> args = {pip_.string(),  "install", "ruff",  "vulture",
                                   "basedpyright", "dodgy",   "pyroma"};
  if (!extras.empty()) {
    args.push_back("-e");
    args.push_back(package_spec(extras));
  }
  spinner(*context_, "Installing lint tools", args, true);
}

void VirtualEnvironment::ensure_publish_tools() const {
  spinner(*context_, "Installing publish tools", {pip_.string(), "install", "twine"}, true);
}

void VirtualEnvironment::install(const std::vector<std::string> &extras,
                                 const std::vector<std::string> &groups,
                                 const std::vector<std::string> &requirements) const {
  std::vector<std::string> args = {pip_.string(), "install", "--quiet", "--editable",
                                   package_spec(extras)};
  for (const auto &group : groups) {
    args.insert(args.end(), {"--group", group});
  }
  args.insert(args.end(), requirements.begin(), requirements.end());
  spinner(*context_, "Installing requirements", args, true);
}

std::string VirtualEnvironment::safe_path_option() const {
  std::string cfg;
  try {
    cfg = files::read_file(path_ / "pyvenv.cfg");
  } catch (const Error &) {
    return "-I";
  }
  // "version = 3.11.7" (or "version_info = ..." from some creators).
  std::string_view rest(cfg);
  while (!rest.empty()) {
    auto text = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(rest.size(), text.size() + 1));
    const auto equals = text.find('=');
    if (!text.starts_with("version") || equals == std::string_view::npos) {
      continue;
    }
    auto value = text.substr(equals + 1);
    value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
    int major = 0;
    int minor = 0;
    if (std::sscanf(std::string(value).c_str(), "%d.%d", &major, &minor) == 2) {
      return major > 3 || (major == 3 && minor >= 11) ? "-P" : "-I";
    }
  }
  return "-I";
}

process::CompletedProcess VirtualEnvironment::run(const std::vector<std::string> &args,
                                                  const RunOptions &options) const {
  std::optional<process::Environment> env;
  if (!options.env.empty()) {
    env = process::current_environment();
    for (const auto &[name, value] : options.env) {
      (*env)[name] = value;
    }
  }
  std::vector<std::string> argv = {python_.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  if (options.chronic) {
    return chronic(*context_, argv, env, true);
  }
  auto mode = options.capture_output ? process::Redirect::Capture : process::Redirect::Inherit;
  return context_->run(std::move(argv), {mode, mode, std::move(env)});
}

bool is_complete(const fs::path &path) {
  std::error_code ec;
  return fs::exists(path / "pyvenv.cfg", ec) && fs::exists(path / "bin" / "python", ec) &&
         fs::exists(path / "bin" / "pip", ec);
}

VirtualEnvironment get_venv(const process::Context &context, Sync sync, std::string purpose) {
  return VirtualEnvironment(context, ".venv", sync, std::move(purpose));
}

} // namespace tarvo::venv
