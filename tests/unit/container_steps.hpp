// Container steps run against a recording launcher: docker's answers recorded, the exact
// commands and scripts compared. Shared by the wheel build's and the wheel check's tests.
#pragma once

#include "container_calls.hpp"
#include "harness.hpp"
#include "recording_launcher.hpp"
#include "tarvo/container/docker.hpp"
#include "tarvo/container/target.hpp"

#include <functional>
#include <gtest/gtest.h>

namespace tarvo::testing {

using Command = std::vector<std::string>;
namespace fs = std::filesystem;

inline const Command PROBE = {"docker", "--version"};
inline const Command REGISTRATION = {"docker",    "run",         "--privileged",
                                     "--rm",      "--name=NAME", "tonistiigi/binfmt",
                                     "--install", "all"};
// After a run with products: they are taken out of the ended container, which is then removed.
inline const Command TAKE = {"docker", "cp", "NAME:/tarvo/out/.", "-"};
inline const Command REMOVE = {"docker", "rm", "--force", "--volumes", "NAME"};

// A target of another architecture than this machine's (the engine's here), so that emulators
// are registered.
inline std::string foreign_arch() {
  return tarvo::container::host_machine() == "aarch64" ? "x86_64" : "aarch64";
}

// Runs an operation in an empty project folder with docker answered by the recorder.
class ContainerSteps : public ::testing::Test {
protected:
  struct Outcome {
    std::string out;
    std::string err;
    std::string error; // "Kind: message", "exit N", or empty
  };

  ContainerSteps() {
    docker.answer = [this](const Command &args) {
      return RecordingLauncher::Answer{.out = args[1] == "cp" && args[2].ends_with(":/tarvo/out/.")
                                                  ? tar_stream({{product, "product"}})
                                                  : std::string()};
    };
  }

  Outcome run(const std::function<void()> &operation) {
    Outcome outcome;
    std::tie(outcome.out, outcome.err) = capture_output([&] {
      try {
        operation();
      } catch (const tarvo::Error &e) {
        outcome.error = error_line(e);
      } catch (const tarvo::ExitStatus &e) {
        outcome.error = "exit " + std::to_string(e.code);
      }
    });
    return outcome;
  }

  // The container run as it must be, its names and prelude written as normal() writes them.
  Command container(const std::vector<std::string> &options, const std::string &image,
                    const std::string &shell, const std::string &script,
                    const std::string &cache = "tarvo-cache-x86_64-glibc-3.11") {
    Command argv = {"docker",
                    "run",
                    "--name=NAME",
                    "--init",
                    "--env=TINI_KILL_PROCESS_GROUP=1",
                    "--volume=" + mount,
                    "--volume=" + cache + ":/root/.cache"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {image, shell, "-ec", "PRELUDE" + script});
    return argv;
  }

  std::vector<Command> commands() {
    std::vector<Command> out;
    for (const auto &call : docker.commands()) {
      out.push_back(normal(call));
    }
    return out;
  }

  // The last container run: the command, its image, its script (after the prelude) and its
  // platform option.
  Command last_run() {
    auto all = docker.commands();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      if ((*it)[1] == "run" && (*it)[2] != "--privileged") {
        return *it;
      }
    }
    return {};
  }
  std::string image() { return last_run().end()[-4]; }
  std::string script() { return script_body(last_run().back()); }
  std::string platform() { return last_run()[7]; }

  // What the container leaves in its products folder, taken out by docker cp.
  std::string product = "pkg-1.0-py3-none-any.whl";

  TempDir dir;
  InDir in{dir.path};
  std::string mount = dir.path.string() + ":/src:ro";
  RecordingLauncher docker;
  tarvo::process::Context context{docker};
  UnknownEngine engine{context};
};

} // namespace tarvo::testing
