// The executable build against a recording launcher: the exact script and container run.
#include "tarvo/artifacts/executable.hpp"

#include "container_calls.hpp"
#include "harness.hpp"
#include "recording_launcher.hpp"
#include "tarvo/container/docker.hpp"

#include <gtest/gtest.h>

namespace {

using namespace tarvo::testing;
using tarvo::artifacts::build_executable;
using tarvo::container::host_machine;
using tarvo::container::Libc;
using tarvo::container::Target;
namespace fs = std::filesystem;

class ExecutableBuild : public ::testing::Test {
protected:
  // The container run's argument vector, after the operation printed `out`, with its names
  // written NAME and its script without its prelude.
  std::vector<std::string> build(const std::string &package, const Target &target,
                                 const std::optional<std::string> &setup, bool no_compress,
                                 const std::string &out) {
    auto [printed, err] = capture_output([&] {
      try {
        build_executable(engine, package, target, setup, no_compress);
      } catch (const tarvo::Error &e) {
        error = error_line(e);
      }
    });
    EXPECT_EQ(printed, out);
    EXPECT_EQ(err, "");
    auto run = normal(docker.commands().end()[-3]);
    EXPECT_TRUE(run.back().starts_with("PRELUDE"));
    run.back().erase(0, 7);
    return run;
  }

  ExecutableBuild() {
    // The container leaves the executable that its compiler line names in its products folder.
    docker.answer = [this](const std::vector<std::string> &args) {
      if (auto at = args.back().find("--output-filename="); at != std::string::npos) {
        at += 18;
        executable = args.back().substr(at, args.back().find_first_of(" '", at) - at);
      }
      return RecordingLauncher::Answer{
          .out = args[1] == "cp" ? tar_stream({{executable, "executable"}}) : ""};
    };
  }

  std::string executable;
  std::string error;
  TempDir dir;
  InDir in{dir.path};
  RecordingLauncher docker;
  tarvo::process::Context context{docker};
  UnknownEngine engine{context};
};

const std::string GLIBC_SCRIPT = R"(apt-get update;apt-get install -y patchelf ccache;
cd /tarvo/src

mkdir -p build/ dist/
python -m pip install   --upgrade   --root-user-action=ignore   --extra-index-url="https://www.piwheels.org/simple"   nuitka[onefile]
python -m nuitka --python-flag=-m --mode=onefile --output-dir=build/ --output-filename=pkg-x86_64-cp311-cp311-glibc --include-package-data=pkg pkg
mv build/pkg-x86_64-cp311-cp311-glibc "$tarvo_out/"
)";

TEST_F(ExecutableBuild, GlibcTarget) {
  auto run = build("pkg", {"x86_64", Libc::Glibc, "3.11"}, std::nullopt, false,
                   "Building executables for x86_64 (glibc) with Python 3.11...\n"
                   "Executable built for x86_64\n");
  EXPECT_EQ(run, (std::vector<std::string>{
                     "docker", "run", "--name=NAME", "--init", "--env=TINI_KILL_PROCESS_GROUP=1",
                     "--volume=" + dir.path.string() + ":/src:ro",
                     "--volume=tarvo-cache-x86_64-glibc-3.11:/root/.cache",
                     "--platform=linux/x86_64", "python:3.11", "/bin/sh", "-ec", GLIBC_SCRIPT}));
  // An empty set-up script is no set-up script.
  EXPECT_EQ(build("pkg", {"x86_64"}, "", false,
                  "Building executables for x86_64 (glibc) with "
                  "Python 3.11...\nExecutable built for x86_64\n")
                .back(),
            GLIBC_SCRIPT);
  auto calls = docker.commands();
  // one probe for the command; (registration,) run, take, remove for each build
  EXPECT_EQ(calls.size(), host_machine() == "x86_64" ? 7u : 9u);
}

TEST_F(ExecutableBuild, TargetsAndCompression) {
  struct Case {
    Target target;
    bool no_compress;
    std::string image;
    std::string platform;
    std::string first_line;
    std::string compile; // line 6
  };
  const std::string musl =
      "apk add --no-cache patchelf binutils gcc musl-dev libffi-dev zstd-libs ccache;";
  const std::string flags = "python -m nuitka --python-flag=-m --mode=onefile --output-dir=build/ ";
  for (const auto &c : std::vector<Case>{
           {{"x86_64", Libc::Glibc, "3.11"},
            true,
            "python:3.11",
            "linux/x86_64",
            "apt-get update;apt-get install -y patchelf ccache;",
            flags + "--output-filename=pkg-x86_64-cp311-cp311-glibc "
                    "--include-package-data=pkg --onefile-no-compression pkg"},
           {{"armv7l", Libc::Musl, "3.11"},
            false,
            "python:3.11-alpine",
            "linux/arm/v7",
            musl,
            flags + "--output-filename=pkg-armv7l-cp311-cp311-musl "
                    "--include-package-data=pkg pkg"},
           {{"aarch64", Libc::Glibc, "3.12"},
            false,
            "python:3.12",
            "linux/aarch64",
            "apt-get update;apt-get install -y patchelf ccache;",
            flags + "--output-filename=pkg-aarch64-cp312-cp312-glibc "
                    "--include-package-data=pkg pkg"},
       }) {
    const auto &t = c.target;
    auto run =
        build("pkg", t, std::nullopt, c.no_compress,
              "Building executables for " + t.arch + " (" + std::string(name(t.libc)) +
                  ") with Python " + t.python + "...\n" +
                  (t.arch == host_machine()
                       ? ""
                       : "Registering emulators: this machine is " + host_machine() +
                             " (the docker engine did not say), the target is " + t.arch + "\n") +
                  "Executable built for " + t.arch + "\n");
    EXPECT_EQ(run[7], "--platform=" + c.platform);
    EXPECT_EQ(run[8], c.image);
    auto lines = split(run.back(), '\n');
    EXPECT_EQ(lines[0], c.first_line);
    EXPECT_EQ(lines[5], c.compile);
  }
}

// A project name from a cloned pyproject.toml stays inert in the script run as root.
TEST_F(ExecutableBuild, HostileProjectNameRunsNothing) {
  auto run = build("x; rm -rf /src #", {"x86_64"}, std::nullopt, false,
                   "Building executables for x86_64 (glibc) with Python 3.11...\n"
                   "Not taken into dist/ (tarvo takes only the executable x; rm -rf /src "
                   "#-x86_64-cp311-cp311-glibc): 'x;'\n");
  EXPECT_EQ(split(run.back(), '\n')[5],
            "python -m nuitka --python-flag=-m --mode=onefile --output-dir=build/ "
            "'--output-filename=x; rm -rf /src #-x86_64-cp311-cp311-glibc' "
            "'--include-package-data=x; rm -rf /src #' 'x; rm -rf /src #'");
  // No file can have that name: nothing is delivered.
  EXPECT_EQ(error, "RuntimeError: the executable build left nothing to take: tarvo takes only the "
                   "executable x; rm -rf /src #-x86_64-cp311-cp311-glibc from /tarvo/out");
  EXPECT_EQ(split(run.back(), '\n')[6], "mv 'build/x; rm -rf /src #-x86_64-cp311-cp311-glibc' "
                                        "\"$tarvo_out/\"");
}

} // namespace
