#include "docs/man_page.hpp"

#include "tarvo/cli/cli.hpp"

#include <fmt/format.h>

namespace tarvo::docs {

using namespace tarvo::cli;

std::string join(const std::vector<std::string> &items, std::string_view separator) {
  std::string out;
  for (const auto &item : items) {
    out += (out.empty() ? "" : std::string(separator)) + item;
  }
  return out;
}

namespace {

// Text for roff: backslashes and hyphens escaped, and a line never starting with a control
// character.
std::string roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c == '\\' ? std::string("\\e") : c == '-' ? std::string("\\-") : std::string(1, c);
  }
  if (!out.empty() && (out.front() == '.' || out.front() == '\'')) {
    out.insert(0, "\\&");
  }
  return out;
}

std::string synopsis_item(const Argument &a) {
  std::string names;
  for (const auto &n : a.names) {
    names += (names.empty() ? "" : " | ") + ("\\fB" + roff(n) + "\\fR");
  }
  switch (a.arity) {
  case Arity::Flag:
    return "[" + names + "]";
  case Arity::Value:
    return "[" + names + " \\fI" + roff(a.choices.empty() ? a.display : join(a.choices, "|")) +
           "\\fR]";
  case Arity::Optional:
    return "[\\fI" + roff(a.display) + "\\fR]";
  case Arity::ZeroOrMore:
    return "[\\fI" + roff(a.display) + "\\fR ...]";
  case Arity::Remainder:
    return "[\\fB\\-\\-\\fR \\fI" + roff(a.display) + "\\fR ...]";
  }
  return {};
}

std::string argument_entry(const Argument &a) {
  std::string label;
  if (a.is_option()) {
    for (const auto &n : a.names) {
      label += (label.empty() ? "" : ", ") + ("\\fB" + roff(n) + "\\fR");
      if (a.arity == Arity::Value) {
        label += " \\fI" + roff(a.choices.empty() ? a.display : join(a.choices, "|")) + "\\fR";
      }
    }
  } else if (a.arity == Arity::Remainder) {
    label = "\\fB\\-\\-\\fR \\fI" + roff(a.display) + "\\fR ...";
  } else {
    label = "\\fI" + roff(a.display) + "\\fR";
  }
  return ".TP\n" + label + "\n" + roff(a.help) + "\n";
}

} // namespace

std::string man_page(const Grammar &g) {
  std::string out = fmt::format(".TH TARVO 1 \"\" \"tarvo {}\" \"User Commands\"\n", version());
  out += ".SH NAME\ntarvo \\- " + roff(g.description) + "\n.SH SYNOPSIS\n.B tarvo\n";
  for (const Argument *a : level_arguments(g, nullptr)) {
    out += synopsis_item(*a) + "\n";
  }
  out += "\\fICOMMAND\\fR ...\n.SH DESCRIPTION\n" +
         roff("Run in a Python project's folder (the one holding pyproject.toml), tarvo keeps "
              "its virtual environment .venv, runs its tests, builds its source distribution, "
              "wheels and single-file executables (in containers), publishes them, lints it, "
              "checks it against tarvo's templates, reports its status, and scaffolds new "
              "projects.") +
         "\n.SH OPTIONS\n";
  for (const Argument *a : level_arguments(g, nullptr)) {
    out += argument_entry(*a);
  }
  out += ".PP\n" +
         roff("--no-sync may also follow the command word: tarvo lint --no-sync is tarvo "
              "--no-sync lint.") +
         "\n.SH COMMANDS\n";
  for (const auto &c : g.commands) {
    out += ".SS \"tarvo " + roff(c.name) + "\"\n" + roff(c.help) + "\n.PP\n.B tarvo " +
           roff(c.name) + "\n";
    for (const Argument *a : level_arguments(g, &c)) {
      out += synopsis_item(*a) + "\n";
    }
    for (const Argument *a : level_arguments(g, &c)) {
      out += argument_entry(*a);
    }
  }
  out += ".SH EXIT STATUS\n" +
         roff("0 on success. test: the test run's own status. lint: the number of checks "
              "that failed. config-diff: the number of problems found. 1 for an error, reported "
              "as one line on standard error; 2 for a usage error; 128 plus the signal's number "
              "when interrupted (130 for Ctrl-C).") +
         "\n.SH ENVIRONMENT\n.TP\n.B NO_COLOR\n" +
         roff("When set and not empty, config-diff does not colour its output on a terminal "
              "(--colour still does).") +
         "\n.TP\n.B PATH\n" + roff("Where python, docker and the tools are looked up.") +
         "\n.TP\n.B TARVO_CONTAINER_COPY\n" +
         roff("1: container builds and the wheel test always copy the project into the "
              "container and the products out, instead of mounting it; 0: never, and an engine "
              "that does not see the project folder is an error. Otherwise the project is "
              "copied only when the engine does not see it (a remote engine).") +
         "\n.TP\n.B TARVO_ENGINES\n" +
         roff("A comma-separated list of docker engines, each a docker context name or a "
              "DOCKER_HOST URL (default,arm-box,ssh://builder@x86-box): the container builds and "
              "the wheel test run their targets side by side on them, each target on an engine "
              "of its architecture. Unset, the engine the environment names, alone; several "
              "targets (--arch, --libc and --python lists) then run side by side on it.") +
         "\n.TP\n.B TARVO_PUBLISH_TOKEN\n" +
         roff("An index's API token for publish, given to twine as the password of the user "
              "__token__; otherwise twine's TWINE_USERNAME and TWINE_PASSWORD, ~/.pypirc or the "
              "keyring. Never on a command line.") +
         "\n.TP\n.B TARVO_NO_SYNC\n" +
         roff("When set and neither empty nor 0, the same as --no-sync.") + "\n";
  return out;
}

} // namespace tarvo::docs
