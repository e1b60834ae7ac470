#include "tarvo/cli/grammar.hpp"

#include <fmt/format.h>

namespace tarvo::cli {

namespace {

Argument flag(std::vector<std::string> names, bool Args::*field, std::string help) {
  return {std::move(names), "", Arity::Flag, field, std::move(help), {}};
}

template <typename T>
Argument option(std::vector<std::string> names, std::string metavar, T Args::*field,
                std::string help, std::vector<std::string> choices = {}) {
  return {std::move(names), std::move(metavar), Arity::Value, field,
          std::move(help),  std::move(choices)};
}

// Each takes a comma-separated list too: the targets are every combination of the three.
std::vector<Argument> target_options(const std::string &purpose) {
  std::vector<Argument> out = {
      option({"--arch"}, "ARCH", &Args::arch,
             fmt::format("Target architecture for {} (default: x86_64), or several: "
                         "x86_64,aarch64",
                         purpose)),
      option({"--libc"}, "LIBC", &Args::libc,
             fmt::format("Target libc for {} (default: glibc), or both: glibc,musl", purpose),
             {"glibc", "musl"}),
      option({"--python"}, "PYTHON", &Args::python,
             fmt::format("Python version for {} (default: 3.11), or several: 3.11,3.12; every "
                         "combination of the listed values is a target",
                         purpose)),
  };
  for (auto &argument : out) {
    argument.list = true;
  }
  return out;
}

const std::string VERBOSE_HELP =
    "Print every docker command before it runs, with the script its container runs";

Grammar build_grammar() {
  Grammar g;
  g.prog = "tarvo";
  g.description = "A Python module to replace Makefile workflows.";
  g.options = {
      flag({"--version"}, nullptr, "show program's version number and exit"),
      option({"--directory", "-C"}, "DIRECTORY", &Args::directory,
             "Change to DIRECTORY before doing anything"),
      flag({"--no-sync"}, &Args::no_sync,
           "When .venv is complete, use it as it is: do not update pip or install tools and the "
           "project before the command (also TARVO_NO_SYNC=1)"),
  };

  Command requirements{"requirements", "Create .venv and install dependencies", {}};
  requirements.arguments = {{{},
                             "extras",
                             Arity::ZeroOrMore,
                             &Args::extras,
                             "Optional dependency groups to install (e.g., web test dev)",
                             {}}};

  Command test{"test", "Run tests (default: all tests in tests/)", {}};
  test.arguments.push_back(flag({"--wheel"}, &Args::wheel,
                                "Test using Docker with a built wheel instead of local code"));
  for (auto &a : target_options("wheel testing")) {
    test.arguments.push_back(std::move(a));
  }
  test.arguments.push_back(option({"--setup"}, "SETUP", &Args::setup,
                                  "Script to run before installing the wheel and running the "
                                  "tests. Only relevant when --wheel is specified. Root installs "
                                  "the wheel; pytest runs as the project folder's owner, as on "
                                  "the host ('tarvo_test_user=0:0' here runs it as root)"));
  test.arguments.push_back(flag({"--verbose"}, &Args::verbose, VERBOSE_HELP));
  test.arguments.push_back({{},
                            "path",
                            Arity::Optional,
                            &Args::path,
                            "Path to test file or directory, or a test's node id such as "
                            "tests/test_a.py::test_b (default: tests/)",
                            {}});
  test.arguments.push_back({{},
                            "PYTEST_ARGS",
                            Arity::Remainder,
                            &Args::pytest_args,
                            "Words after -- go to pytest unchanged, locally and with --wheel "
                            "(e.g., tarvo test -- -k slow -x)",
                            {}});

  Command build{"build", "Build wheel and source distribution", {}};
  build.arguments = {
      flag({"--sdist"}, &Args::sdist, "Build source distribution"),
      flag({"--wheel"}, &Args::wheel, "Build a pure python wheel"),
      flag({"--native-wheel"}, &Args::native_wheel, "Build platform-specific wheel."),
      flag({"--executable"}, &Args::executable,
           "Build standalone executable, this assumes module.__main__ exists"),
      flag({"--no-compress"}, &Args::no_compress,
           "Do not compress the standalone executable. This reduces memory requirements and "
           "build time."),
  };
  for (auto &a : target_options("manylinux build")) {
    build.arguments.push_back(std::move(a));
  }
  build.arguments.push_back(
      option({"--setup"}, "SETUP", &Args::setup, "Script to run before starting the build."));
  build.arguments.push_back(flag({"--verbose"}, &Args::verbose, VERBOSE_HELP));

  const std::string workflow_help = "Do a comparison of the workflow and outut the diff";
  const std::string colour_help = "Force colour output even when not on a tty";
  Command lint{"lint", "Run linting", {}};
  lint.arguments = {
      flag({"--fix"}, &Args::fix, "Automatically fix issues where supported"),
      flag({"--workflow"}, &Args::workflow, workflow_help),
      flag({"--colour", "--color"}, &Args::colour, colour_help),
  };
  Command config_diff{"config-diff", "Compare project's pyproject.toml against template", {}};
  config_diff.arguments = {
      flag({"--workflow"}, &Args::workflow, workflow_help),
      flag({"--colour", "--color"}, &Args::colour, colour_help),
  };

  Command status{"status", "Output status information", {}};
  status.arguments = {
      flag({"--json"}, &Args::json,
           "Print one JSON object (name, version, dynamic_version, metadata, docker, venv) "
           "instead of the lines; progress goes to standard error"),
  };

  Command publish{
      "publish", "Check the release's sdist and wheels, then upload them with twine", {}};
  publish.arguments = {
      option({"--repository"}, "NAME_OR_URL", &Args::repository,
             "Where to upload: a repository named in ~/.pypirc (testpypi) or an index's upload "
             "URL (default: PyPI)"),
      flag({"--skip-existing"}, &Args::skip_existing,
           "Leave files the index already has and upload the rest, as after a failed run"),
      flag({"--dry-run"}, &Args::dry_run, "Run the checks only; upload nothing"),
      {{},
       "FILE",
       Arity::ZeroOrMore,
       &Args::files,
       "Distribution files to publish (default: the sdist and wheels of the project's version in "
       "dist/)",
       {}},
  };

  Command init{"init", "Initialize a new project", {}};
  init.arguments = {
      option({"--name"}, "NAME", &Args::name, "Project name"),
      option({"--description"}, "DESCRIPTION", &Args::description, "Project description"),
      option({"--author-name"}, "AUTHOR_NAME", &Args::author_name, "Author name"),
      option({"--author-email"}, "AUTHOR_EMAIL", &Args::author_email, "Author email"),
      option({"--license"}, "SPDX", &Args::license, "License spdx identifier (e.g., MIT)"),
  };

  g.commands = {std::move(requirements),
                std::move(test),
                std::move(build),
                std::move(publish),
                {"clean", "Remove build artifacts", {}},
                std::move(lint),
                std::move(status),
                std::move(config_diff),
                std::move(init)};
  return g;
}

} // namespace

const Argument HELP{{"-h", "--help"},
                    "",
                    Arity::Flag,
                    static_cast<bool Args::*>(nullptr),
                    "show this help message and exit",
                    {}};

std::vector<const Argument *> level_arguments(const Grammar &g, const Command *command) {
  std::vector<const Argument *> all = {&HELP};
  for (const auto &a : command ? command->arguments : g.options) {
    all.push_back(&a);
  }
  return all;
}

std::vector<const Argument *> global_options(const Grammar &g) {
  std::vector<const Argument *> globals;
  // -C/--directory stays before the command word, where the shell completions look for it.
  for (const auto &a : g.options) {
    if (a.arity == Arity::Flag && a.names.front() != "--version") {
      globals.push_back(&a);
    }
  }
  return globals;
}

const Grammar &tarvo_grammar() {
  static const Grammar grammar = build_grammar();
  return grammar;
}

} // namespace tarvo::cli
