#include "tarvo/venv/runner.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/process/timing.hpp"
#include "tarvo/repr.hpp"

#include <chrono>
#include <optional>
#include <string_view>

namespace tarvo::venv {

namespace {

using process::CompletedProcess;

// The requirement pip found no distribution of at all, in any version (no package index is
// reachable and no wheel was handed in), when the output says so.
std::optional<std::string> found_none(const CompletedProcess &done) {
  // pip's last words, from the end of each stream, with blanks and line ends squeezed: pip's
  // lines may come indented and wrapped by a build step. Only so much is looked at, since the
  // output may be large.
  constexpr std::size_t last_words = 16 * 1024;
  std::string said;
  for (const auto *text : {&done.stdout_text, &done.stderr_text}) {
    std::string_view all = text->has_value() ? std::string_view(**text) : std::string_view();
    for (char c : all.substr(all.size() - std::min(all.size(), last_words))) {
      const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
      if (!blank || (!said.empty() && said.back() != ' ')) {
        said += blank ? ' ' : c;
      }
    }
    said += ' ';
  }
  constexpr std::string_view none = "(from versions: none)";
  constexpr std::string_view found = "No matching distribution found for ";
  const auto after = said.find(none);
  const auto at = after == std::string::npos ? after : said.find(found, after);
  if (at == std::string::npos) {
    return std::nullopt;
  }
  const auto start = at + found.size();
  return said.substr(start, said.find(' ', start) - start);
}

process::ProcessOptions captured(const std::optional<process::Environment> &env = std::nullopt) {
  return {process::Redirect::Capture, process::Redirect::Capture, env};
}

} // namespace

// Written as it is, never copied: it may be large.
void show_output(const CompletedProcess &done) {
  for (auto [stream, text] : {std::pair{console::progress_stream(), &done.stdout_text},
                              std::pair{console::Stream::Err, &done.stderr_text}}) {
    if (*text && !(*text)->empty()) {
      console::write(stream, **text);
      console::write(stream, "\n");
    }
  }
  if (auto requirement = found_none(done)) {
    console::err("Hint: no wheel of {} is at hand (no package index here?): download it into a "
                 "folder and add the folder to PIP_FIND_LINKS\n",
                 printable(*requirement));
  }
  console::flush();
}

CompletedProcess chronic(const process::Context &context, const std::vector<std::string> &args,
                         const std::optional<process::Environment> &env, bool check) {
  auto done = context.run(args, captured(env));
  if (done.returncode != 0) {
    show_output(done);
    if (check) {
      process::check_returncode(std::move(done));
    }
  }
  return done;
}

CompletedProcess spinner(const process::Context &context, std::string_view action,
                         const std::vector<std::string> &args, bool chronic,
                         const std::optional<process::Environment> &env) {
  if (!console::is_terminal(console::progress_stream())) {
    console::write(console::progress_stream(), fmt::format("{}...\n", action));
    console::flush();
    if (chronic) {
      return venv::chronic(context, args, env);
    }
    return context.run(args, captured(env));
  }

  console::StatusLine line(action);
  std::unique_ptr<process::Child> child;
  try {
    child = context.start(args, captured(env));
  } catch (const Error &) {
    // The error follows the status line, which stays as it was.
    line.keep();
    throw;
  }
  while (!child->wait_for(context.timing().frame_period)) {
    line.advance();
  }
  line.clear();
  auto done = child->finish();
  if (chronic && done.returncode != 0) {
    show_output(done);
    process::check_returncode(std::move(done));
  }
  return done;
}

} // namespace tarvo::venv
