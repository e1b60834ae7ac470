#include "tarvo/artifacts/publish.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/repr.hpp"
#include "tarvo/venv/runner.hpp"

#include <algorithm>
#include <cctype>
#include <fmt/format.h>

namespace tarvo::artifacts {

namespace fs = std::filesystem;

namespace {

std::string counted(std::size_t count, std::string_view noun) {
  return fmt::format("{} {}{}", count, noun, count == 1 ? "" : "s");
}

// The interpreter's command line that runs twine with `args`; its colours off, as its output is
// read here.
std::vector<std::string> twine(const venv::VirtualEnvironment &venv,
                               std::initializer_list<std::string> args) {
  std::vector<std::string> argv = {venv.python().string(), venv.safe_path_option(), "-um", "twine",
                                   "--no-color"};
  argv.insert(argv.end(), args);
  return argv;
}

// What twine said, one entry a line: what it prints, and what it logs ("ERROR    text"), which it
// wraps at 80 columns and continues indented: those pieces are joined back into one line.
std::vector<std::string> twine_lines(const process::CompletedProcess &done) {
  std::vector<std::string> lines;
  for (const auto *text : {&done.stdout_text, &done.stderr_text}) {
    std::string_view rest = text->has_value() ? std::string_view(**text) : std::string_view();
    while (!rest.empty()) {
      const auto line = rest.substr(0, rest.find('\n'));
      rest.remove_prefix(std::min(rest.size(), line.size() + 1));
      const auto first = line.find_first_not_of(" \t\r");
      if (first == std::string_view::npos) {
        continue;
      }
      const auto words = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
      if (first > 0 && !lines.empty()) {
        lines.back() += " " + std::string(words);
      } else {
        lines.emplace_back(words);
      }
    }
  }
  return lines;
}

// The text of a line that twine logged at `level` ("ERROR", "WARNING"), or none.
std::optional<std::string_view> logged(std::string_view line, std::string_view level) {
  if (!line.starts_with(level) || line.size() <= level.size() || line[level.size()] != ' ') {
    return std::nullopt;
  }
  line.remove_prefix(level.size());
  line.remove_prefix(line.find_first_not_of(' '));
  return line;
}

// The problems that twine check reports: each error or warning under a file that FAILED.
std::vector<std::string> check_problems(const std::vector<std::string> &lines) {
  std::vector<std::string> problems;
  std::string_view file;
  bool failed = false;
  for (const std::string_view line : lines) {
    if (line.starts_with("Checking ") && line.rfind(": ") != std::string_view::npos) {
      const auto colon = line.rfind(": ");
      file = line.substr(9, colon - 9);
      failed = line.substr(colon + 2).starts_with("FAILED");
      continue;
    }
    for (const auto *level : {"ERROR", "WARNING"}) {
      if (auto text = logged(line, level); text && failed) {
        problems.push_back(printable(fmt::format("{}: {}", file, *text)));
      }
    }
  }
  return problems;
}

// twine check --strict on every file, as twine's own judgement of the metadata and of whether the
// long description renders: the problems it finds.
std::vector<std::string> twine_check(const venv::VirtualEnvironment &venv,
                                     const std::vector<fs::path> &files,
                                     const process::Environment &env) {
  auto argv = twine(venv, {"check", "--strict", "--"});
  for (const auto &file : files) {
    argv.push_back(file.string());
  }
  const auto done = venv::spinner(venv.context(), "Checking with twine", argv, false, env);
  if (done.returncode == 0) {
    return {};
  }
  const auto lines = twine_lines(done);
  if (std::any_of(lines.begin(), lines.end(), [](const std::string &line) {
        return line.find("No module named twine") != std::string::npos;
      })) {
    throw Error(ErrorKind::FileNotFoundError,
                "twine is not installed in .venv, which --no-sync takes as it is: run tarvo "
                "publish once without --no-sync");
  }
  auto problems = check_problems(lines);
  if (problems.empty()) {
    venv::show_output(done);
    problems.push_back("twine check --strict failed (its output is above)");
  }
  return problems;
}

enum class Outcome { Uploaded, Exists, Refused, Unreachable, Failed };

struct Upload {
  Outcome outcome = Outcome::Uploaded;
  std::string why;               // for a failure: twine's reason, as printable text
  std::optional<std::string> to; // the index's upload URL, as twine names it
};

// What became of one file, from twine's words: the index's answer ("HTTPError: 403 Forbidden from
// URL" and its reason), a connection that failed, or twine's last error.
Upload read_upload(const process::CompletedProcess &done) {
  Upload upload;
  std::string last;
  std::string http;
  int status = 0;
  std::string said;
  for (const auto &line : twine_lines(done)) {
    constexpr std::string_view to = "Uploading distributions to ";
    if (line.starts_with(to)) {
      upload.to = line.substr(to.size());
    }
    said += line + "\n";
    last = line;
    auto text = logged(line, "ERROR");
    if (!text) {
      continue;
    }
    last = *text;
    constexpr std::string_view error = "HTTPError: ";
    if (text->starts_with(error)) {
      auto rest = text->substr(error.size());
      status = std::atoi(std::string(rest.substr(0, 3)).c_str());
      const auto from = std::min(rest.find(" from "), rest.size());
      const auto phrase = rest.substr(0, from);
      const auto url_end = rest.find(' ', from + 6);
      const auto reason = url_end < rest.size() ? rest.substr(url_end + 1) : std::string_view();
      http = fmt::format("HTTP {}", phrase);
      if (!reason.empty() && !phrase.ends_with(reason)) {
        http += fmt::format(": {}", reason);
      }
    }
  }
  if (done.returncode == 0) {
    return upload;
  }
  std::string lower = said;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (status == 409 || (status == 400 && lower.find("already exist") != std::string::npos)) {
    upload = {Outcome::Exists, printable(http), upload.to};
  } else if (status == 401 || status == 403) {
    upload = {Outcome::Refused, printable(http), upload.to};
  } else if (said.find("ConnectionError") != std::string::npos) {
    // requests' message ends in the system's reason: "[Errno 111] Connection refused".
    const auto at = said.find("[Errno ");
    upload = {Outcome::Unreachable,
              printable(at == std::string::npos
                            ? "no connection"
                            : said.substr(at, said.find_first_of("\"')\n", at) - at)),
              upload.to};
  } else {
    upload = {Outcome::Failed, printable(status ? http : last), upload.to};
  }
  return upload;
}

// TARVO_PUBLISH_TOKEN, when set, is an index's API token: the password of the user __token__.
// Credentials reach twine in its environment alone: a command line is in every process list.
process::Environment twine_environment() {
  auto env = process::current_environment();
  if (const auto token = env.find("TARVO_PUBLISH_TOKEN"); token != env.end()) {
    if (!token->second.empty()) {
      env["TWINE_USERNAME"] = "__token__";
      env["TWINE_PASSWORD"] = token->second;
    }
    env.erase(token);
  }
  return env;
}

// One twine run per file, so that each gets its own line and the first failure stops the rest.
// twine takes --skip-existing for PyPI alone; the index's answer that it holds the file (409, or
// 400 saying "already exist", as twine itself reads it) is read here instead, for any index.
int upload(const venv::VirtualEnvironment &venv, const Release &release,
           const Destination &destination, bool skip_existing, const process::Environment &env) {
  std::string to = destination.shown;
  std::size_t uploaded = 0;
  std::size_t present = 0;
  for (const auto &file : release.files) {
    const auto shown = printable(file.string());
    // --verbose: the index's whole answer, in which pypiserver says that a file exists.
    auto argv = twine(venv, {"upload", "--verbose", "--non-interactive", "--disable-progress-bar"});
    argv.insert(argv.end(), destination.options.begin(), destination.options.end());
    argv.insert(argv.end(), {"--", file.string()});
    const auto done = venv::spinner(venv.context(), "Uploading " + shown, argv, false, env);
    const auto result = read_upload(done);
    if (result.to) {
      to = printable(*result.to);
    }
    if (result.outcome == Outcome::Uploaded) {
      console::out("{}: uploaded\n", shown);
      ++uploaded;
      continue;
    }
    if (result.outcome == Outcome::Exists && skip_existing) {
      console::out("{}: already on the index, left as it is\n", shown);
      ++present;
      continue;
    }
    std::string why;
    switch (result.outcome) {
    case Outcome::Exists:
      why = fmt::format("already on the index ({}), which never takes a file of the same name "
                        "again",
                        result.why);
      break;
    case Outcome::Refused:
      why = fmt::format("the index refused the credentials ({}): give them in TWINE_USERNAME and "
                        "TWINE_PASSWORD, TARVO_PUBLISH_TOKEN, ~/.pypirc or the keyring",
                        result.why);
      break;
    case Outcome::Unreachable:
      why = fmt::format("the index at {} cannot be reached ({})", to, result.why);
      break;
    default:
      venv::show_output(done);
      why = fmt::format("upload failed: {}", result.why);
    }
    const auto on_index = uploaded + present;
    console::report_error(fmt::format(
        "{}: {}; {}{}", shown, why,
        on_index == 0
            ? "nothing uploaded"
            : fmt::format("{} of {} on the index", on_index, counted(release.files.size(), "file")),
        on_index > 0 || result.outcome == Outcome::Exists
            ? "; tarvo publish --skip-existing uploads the rest"
            : ""));
    return 1;
  }
  console::out("Published {} {} to {}: {} uploaded{}\n", printable(release.name), release.version,
               to, counted(uploaded, "file"),
               present > 0 ? fmt::format(", {} already there", present) : "");
  return 0;
}

} // namespace

Destination destination(const std::optional<std::string> &repository) {
  if (!repository) {
    return {{}, "PyPI"};
  }
  if (repository->empty()) {
    throw Error(ErrorKind::ValueError,
                "--repository is empty: give a repository's name in ~/.pypirc or an index's "
                "upload URL");
  }
  const auto scheme = repository->find("://");
  if (scheme == std::string::npos) {
    return {{"--repository=" + *repository}, printable(*repository)};
  }
  const auto start = scheme + 3;
  const auto host = repository->substr(start, repository->find_first_of("/?#", start) - start);
  if (host.find('@') != std::string::npos) {
    throw Error(ErrorKind::ValueError,
                "The repository URL holds credentials, which would be on twine's command line: "
                "give them in TWINE_USERNAME and TWINE_PASSWORD (or TARVO_PUBLISH_TOKEN) instead");
  }
  return {{"--repository-url=" + *repository}, printable(*repository)};
}

void announce(const Release &release) {
  const auto name = printable(release.name);
  console::out(
      "Publishing {}{}: {} and {}\n", name, release.version.empty() ? "" : " " + release.version,
      counted(release.sdists, "sdist"), counted(release.files.size() - release.sdists, "wheel"));
  if (release.version_from_files) {
    console::out("The build sets the version: {} is the newest of {} in dist/\n", release.version,
                 name);
  }
  if (release.left_alone > 0) {
    console::out("Leaving {} in dist/ alone (other versions)\n",
                 counted(release.left_alone, "other file"));
  }
  for (const auto &warning : release.warnings) {
    console::err("Warning: {}\n", warning);
  }
}

int publish(const venv::VirtualEnvironment &venv, const Release &release,
            const Destination &destination, const PublishOptions &options) {
  const auto env = twine_environment();
  auto problems = release.problems;
  if (!release.files.empty()) {
    const auto found = twine_check(venv, release.files, env);
    problems.insert(problems.end(), found.begin(), found.end());
  }
  if (!problems.empty()) {
    for (const auto &problem : problems) {
      console::report_error(problem);
    }
    console::report_error(
        fmt::format("nothing uploaded: {} found", counted(problems.size(), "problem")));
    return 1;
  }
  if (options.dry_run) {
    for (const auto &file : release.files) {
      console::out("Ready: {}\n", printable(file.string()));
    }
    console::out("Checks passed; --dry-run: nothing uploaded\n");
    return 0;
  }
  return upload(venv, release, destination, options.skip_existing, env);
}

} // namespace tarvo::artifacts
