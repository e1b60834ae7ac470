#include "tarvo/container/docker.hpp"
#include "tarvo/container/script.hpp"
#include "tarvo/container/target.hpp"

#include "container_calls.hpp"
#include "harness.hpp"
#include "recording_launcher.hpp"
#include "tarvo/container/container.hpp"
#include "tarvo/container/project_files.hpp"
#include "tarvo/process/context.hpp"
#include "tarvo/process/interrupts.hpp"

#include <csignal>
#include <fmt/format.h>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <thread>

namespace {

using namespace tarvo::container;
namespace fs = std::filesystem;
using namespace tarvo::testing;

TEST(Targets, MapsTheTarget) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  using Triples = std::vector<std::tuple<std::string, std::string, std::string>>;
  for (const auto &[version, expected] : Pairs{{"3.11", "cp311-cp311"},
                                               {"3.9", "cp39-cp39"},
                                               {"3.10.4", "cp3104-cp3104"},
                                               {"311", "cp311-cp311"}}) {
    EXPECT_EQ(get_python_interpreter(version), expected);
  }
  for (const auto &[arch, libc, expected] : Triples{
           {"armv7l", "musl", "musllinux_1_2_armv7l"},
           {"x86_64", "musl", "musllinux_1_2_x86_64"},
           {"armv7l", "glibc", "manylinux_2_35_armv7l"},
           {"riscv64", "glibc", "manylinux_2_39_riscv64"},
           {"aarch64", "glibc", "manylinux_2_34_aarch64"},
       }) {
    EXPECT_EQ(get_manylinux_image({arch, parse_libc(libc)}), expected);
  }
  for (const auto &[arch, expected] : Pairs{{"i686", "linux/386"},
                                            {"armv7l", "linux/arm/v7"},
                                            {"x86_64", "linux/x86_64"},
                                            {"aarch64", "linux/aarch64"},
                                            {"riscv64", "linux/riscv64"}}) {
    EXPECT_EQ(get_platform(arch), expected);
  }
  for (const auto &[python, libc, expected] :
       Triples{{"3.12", "musl", "python:3.12-alpine"}, {"3.12", "glibc", "python:3.12"}}) {
    EXPECT_EQ(get_python_image({"x86_64", parse_libc(libc), python}), expected);
  }
  // The C library is one of two, named exactly.
  for (const char *other : {"MUSL", "Musl", "uclibc", ""}) {
    EXPECT_THROW(parse_libc(other), tarvo::Error) << other;
  }
  EXPECT_EQ(name(parse_libc("musl")), "musl");
  EXPECT_EQ(name(parse_libc("glibc")), "glibc");
}

TEST(Script, RowsKeepTheirLinesAndPrependJoinsTheFirst) {
  Script script;
  script.line("").line("cd /src").line("a\nb").line_if(false, "skipped").line("end");
  EXPECT_EQ(script.text(), "\ncd /src\na\nb\n\nend\n");
  script.prepend("second;").prepend("first;");
  EXPECT_EQ(script.text(), "first;second;\ncd /src\na\nb\n\nend\n");
}

// A value from the command line or a cloned project stays one word and runs nothing; a value
// the shell takes literally is spliced as it is.
TEST(Script, ValuesBecomeOneInertShellWord) {
  using Case = std::tuple<std::string, std::string, std::string>;
  for (const auto &[value, word, quoted] : std::vector<Case>{
           {"x86_64", "x86_64", "\"x86_64\""},
           {"dist/pkg-1.0+local-py3-none-any.whl", "dist/pkg-1.0+local-py3-none-any.whl",
            "\"dist/pkg-1.0+local-py3-none-any.whl\""},
           {"a;rm -rf /", "'a;rm -rf /'", "\"a;rm -rf /\""},
           {"dist/pkg-1.0-py3-none-any.whl[test]", "'dist/pkg-1.0-py3-none-any.whl[test]'",
            "\"dist/pkg-1.0-py3-none-any.whl[test]\""},
           {"$(id)", "'$(id)'", "'$(id)'"},
           {"it's", "'it'\\''s'", "\"it's\""},
           {"\"quoted\" `x`", "'\"quoted\" `x`'", "'\"quoted\" `x`'"},
           {"", "''", "\"\""},
       }) {
    EXPECT_EQ(shell_word(value), word) << value;
    EXPECT_EQ(double_quoted(value), quoted) << value;
    // The shell reads both back as the value.
    for (const auto &text : {word, quoted}) {
      auto echoed = tarvo::process::Context().run({"sh", "-c", "printf %s " + text},
                                                  {tarvo::process::Redirect::Capture});
      EXPECT_EQ(echoed.stdout_text, value) << text;
    }
  }
}

class DockerTest : public ::testing::Test {
protected:
  std::string calls() { return fs::exists(log_) ? read_file(log_) : std::string(); }
  TempDir dir_;
  fs::path log_ = dir_.path / "calls.log";
  ScopedEnv path_{"PATH", path_with(stubs_dir())};
  ScopedEnv stub_log_{"STUB_LOG", log_.string()};
  ScopedEnv stub_fail_{"STUB_FAIL", std::nullopt};
  ScopedEnv engine_arch_{"STUB_ENGINE_ARCH", std::nullopt};
  ScopedEnv docker_host_{"DOCKER_HOST", std::nullopt};
  tarvo::process::Context context_;
  Engine engine_{context_};
};

TEST_F(DockerTest, CheckDockerAsksForTheVersionQuietly) {
  bool present = false, failing = true, missing = true;
  auto [out, err] = capture_output([&] {
    present = check_docker(context_);
    ScopedEnv fail("STUB_FAIL", "--version");
    failing = check_docker(context_);
    ScopedEnv path("PATH", dir_.path.string());
    missing = check_docker(context_);
  });
  EXPECT_TRUE(present);
  EXPECT_FALSE(failing);
  EXPECT_FALSE(missing);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  auto docker = (stubs_dir() / "docker").string();
  EXPECT_EQ(calls(), docker + " --version\n" + docker + " --version\n");
}

const std::string ENGINE_QUERY_LINE = " version --format {{.Server.Arch}}";

TEST_F(DockerTest, RegisterBinfmtOnlyForAnotherArchitectureThanTheEngines) {
  ScopedEnv engine("STUB_ENGINE_ARCH", "arm64");
  auto docker = (stubs_dir() / "docker").string();
  auto [out, err] = capture_output([&] {
    engine_.register_binfmt("aarch64");
    engine_.register_binfmt("x86_64");
    engine_.register_binfmt("x86_64");
  });
  EXPECT_EQ(out, "Registering emulators: the docker engine runs aarch64, the target is x86_64\n"
                 "Registering emulators: the docker engine runs aarch64, the target is x86_64\n");
  EXPECT_EQ(err, "");
  // The engine is asked once; each registration container has a name of its own, by which an
  // interrupt stops it.
  auto lines = split(calls(), '\n');
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], docker + ENGINE_QUERY_LINE);
  EXPECT_NE(lines[1], lines[2]);
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(normal(split(lines[i], ' ')),
              (std::vector<std::string>{docker, "run", "--privileged", "--rm", "--name=NAME",
                                        std::string(BINFMT_IMAGE), "--install", "all"}));
  }

  // Another command's engine is asked again.
  fs::remove(log_);
  ScopedEnv host("DOCKER_HOST", "ssh://builder");
  ScopedEnv other("STUB_ENGINE_ARCH", "amd64");
  Engine next(context_);
  capture_output([&] { next.register_binfmt("x86_64"); });
  EXPECT_EQ(calls(), docker + ENGINE_QUERY_LINE + "\n");
}

TEST_F(DockerTest, WithoutTheEnginesAnswerThisMachineDecides) {
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(host_machine(), machine_name(names.machine));
  EXPECT_FALSE(engine_.machine());

  auto foreign = host_machine() == "aarch64" ? "x86_64" : "aarch64";
  auto [out, err] = capture_output([&] {
    engine_.register_binfmt(host_machine());
    engine_.register_binfmt(foreign);
  });
  EXPECT_EQ(out, fmt::format("Registering emulators: this machine is {} (the docker engine did "
                             "not say), the target is {}\n",
                             host_machine(), foreign));
  auto lines = split(calls(), '\n');
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], (stubs_dir() / "docker").string() + ENGINE_QUERY_LINE);
  EXPECT_NE(lines[1].find(" --install all"), std::string::npos);
}

class MachineNames : public ::testing::TestWithParam<std::pair<const char *, const char *>> {};

TEST_P(MachineNames, AreSpelledAsLinuxsUname) {
  EXPECT_EQ(machine_name(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    GoBsdAndLinuxNames, MachineNames,
    ::testing::Values(std::pair{"amd64", "x86_64"}, std::pair{"x86_64", "x86_64"},
                      std::pair{"arm64", "aarch64"}, std::pair{"aarch64", "aarch64"},
                      std::pair{"386", "i686"}, std::pair{"i386", "i686"},
                      std::pair{"i686", "i686"}, std::pair{"arm", "armv7l"},
                      std::pair{"armv7l", "armv7l"}, std::pair{"ppc64le", "ppc64le"},
                      std::pair{"s390x", "s390x"}, std::pair{"riscv64", "riscv64"}));

TEST_F(DockerTest, RegisterBinfmtFailureIsRaised) {
  ScopedEnv fail("STUB_FAIL", "--install");
  std::optional<tarvo::process::CalledProcessError> error;
  auto [out, err] = capture_output([&] {
    try {
      engine_.register_binfmt("not-this-host");
    } catch (const tarvo::process::CalledProcessError &e) {
      error = e;
    }
  });
  // The container's output is not captured: it reaches our own streams.
  EXPECT_EQ(out, fmt::format("Registering emulators: this machine is {} (the docker engine did "
                             "not say), the target is not-this-host\nstub out\n",
                             host_machine()));
  EXPECT_EQ(err, "stub err\n");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->returncode, 1);
  EXPECT_EQ(normal(error->args),
            (std::vector<std::string>{"docker", "run", "--privileged", "--rm", "--name=NAME",
                                      std::string(BINFMT_IMAGE), "--install", "all"}));
  EXPECT_FALSE(error->stdout_text);
  EXPECT_FALSE(error->stderr_text);
}

using Command = std::vector<std::string>;

// One job against a recording docker, in an empty project folder.
class JobTest : public ::testing::Test {
protected:
  Job job(bool products) {
    return {.arch = host_machine(),
            .container = {{"--platform=linux/x86_64"}, "image:1", "/bin/sh", "make\n", "cache"},
            .starting = "Starting...",
            .finished = "Done",
            .what = "the job",
            .products = products ? std::optional(Products{[](std::string_view name) {
                                                            return name.starts_with("pkg-");
                                                          },
                                                          "wheels of pkg"})
                                 : std::nullopt};
  }

  // Runs the job on `on` (the test's engine when none); returns its output and the error line,
  // if any.
  std::tuple<std::string, std::string, std::string> run(const Job &job, Engine *on = nullptr) {
    std::string error;
    auto [out, err] = capture_output([&] {
      try {
        (on != nullptr ? *on : *engine).run_job(job);
      } catch (const tarvo::Error &e) {
        error = error_line(e);
      } catch (const tarvo::process::Interrupted &e) {
        error = "interrupted by " + std::to_string(e.signal);
      }
    });
    return {out, err, error};
  }

  std::vector<Command> commands() {
    std::vector<Command> out;
    for (const auto &call : docker.calls()) {
      out.push_back(normal(call.args));
    }
    return out;
  }

  // Names in the project folder, sorted.
  std::vector<std::string> names(const fs::path &dir) {
    std::vector<std::string> out;
    for (const auto &entry : fs::directory_iterator(dir)) {
      out.push_back(entry.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // The next command: its engine knows nothing yet (copy mode included).
  void next_command() { engine.emplace(context); }

  TempDir dir;
  InDir in{dir.path};
  RecordingLauncher docker;
  ScopedEnv copy{"TARVO_CONTAINER_COPY", std::nullopt};
  tarvo::process::Context context{docker};
  std::optional<UnknownEngine> engine{std::in_place, context};
};

const Command MOUNTED = {"docker",
                         "run",
                         "--name=NAME",
                         "--init",
                         "--env=TINI_KILL_PROCESS_GROUP=1",
                         "--volume=MOUNT",
                         "--volume=cache:/root/.cache",
                         "--platform=linux/x86_64",
                         "image:1",
                         "/bin/sh",
                         "-ec",
                         "PRELUDEmake\n"};

const std::vector<Command> COPIED = {
    {"docker", "create", "--name=NAME", "--init", "--env=TINI_KILL_PROCESS_GROUP=1",
     "--volume=/src", "--volume=cache:/root/.cache", "--platform=linux/x86_64", "image:1",
     "/bin/sh", "-ec", "PRELUDEmake\n"},
    {"docker", "cp", "COPY/.", "NAME:/src"},
    {"docker", "start", "--attach", "NAME"},
    {"docker", "wait", "NAME"},
    {"docker", "cp", "NAME:/tarvo/out/.", "-"},
    {"docker", "rm", "--force", "--volumes", "NAME"},
};

// The mounted run's status was one the marker check gives: the container is asked whether the
// script got past it.
const Command ASK_SEEN = {"docker", "cp", "NAME:/tarvo/seen", "-"};
const Command REMOVE = {"docker", "rm", "--force", "--volumes", "NAME"};

// The temporary copy's path, written COPY, and the mount, written MOUNT.
Command with_copy_written(Command call, const std::string &mount) {
  for (auto &arg : call) {
    if (arg.find("/tarvo-copy-") != std::string::npos) {
      arg = "COPY/.";
    }
    if (arg == "--volume=" + mount + ":/src:ro") {
      arg = "--volume=MOUNT";
    }
  }
  return call;
}

// An engine that does not see the project: the mounted run finds no marker, and the job runs
// again on a copy, whose products the job moves into dist/.
TEST_F(JobTest, EngineThatCannotSeeTheProjectGetsACopy) {
  write_file("pkg/__init__.py", "");
  write_file(".venv/bin/python", "");
  write_file("build/old", "");
  write_file("dist/pkg-0.9.whl", "old");
  fs::path copied;
  docker.answer = [&](const Command &args) {
    RecordingLauncher::Answer answer;
    if (args[1] == "run") {
      answer.returncode = MARKER_MISSING;
    } else if (args[1] == "cp" && args[2].ends_with(":/tarvo/seen")) {
      answer.returncode = 1;
    } else if (args[1] == "cp" && args[3].ends_with(":/src")) {
      // What the engine gets: the project with the marker, but for the host's environment and
      // build outputs.
      copied = fs::path(args[2]).parent_path();
      auto listed = names(copied);
      EXPECT_EQ(listed.size(), 2u);
      EXPECT_TRUE(listed[0].starts_with(".tarvo-"));
      EXPECT_EQ(listed[1], "pkg");
      EXPECT_TRUE(fs::exists(copied / "pkg" / "__init__.py"));
    } else if (args[1] == "wait") {
      answer.out = "0\n";
    } else if (args[1] == "cp") {
      answer.out = tar_stream({{"pkg-1.0.whl", "new"}, {"notes.txt", "not a product"}});
    }
    return answer;
  };
  auto [out, err, error] = run(job(true));
  EXPECT_EQ(error, "");
  EXPECT_EQ(out, "Starting...\nCopy mode: the docker engine does not see this project folder, "
                 "so the project is copied into the container\nNot taken into dist/ (tarvo "
                 "takes only wheels of pkg): 'notes.txt'\nDone\n");
  auto calls = commands();
  ASSERT_EQ(calls.size(), 9u);
  EXPECT_EQ(with_copy_written(calls[0], dir.path.string()), MOUNTED);
  EXPECT_EQ(calls[1], ASK_SEEN);
  EXPECT_EQ(calls[2], REMOVE);
  for (std::size_t i = 3; i < calls.size(); ++i) {
    EXPECT_EQ(with_copy_written(calls[i], dir.path.string()), COPIED[i - 3]);
  }
  // The script is the same on the copy: it builds in a copy of its own there too.
  bool copies = false;
  EXPECT_EQ(script_body(docker.calls()[3].args.back(), &copies), "make\n");
  EXPECT_TRUE(copies);
  EXPECT_EQ(names("dist"), (std::vector<std::string>{"pkg-0.9.whl", "pkg-1.0.whl"}));
  EXPECT_EQ(read_file("dist/pkg-1.0.whl"), "new");
  EXPECT_EQ(names("."), (std::vector<std::string>{".venv", "build", "dist", "pkg"}));
  EXPECT_FALSE(fs::exists(copied));
  // The output of the copy steps is captured; the script's goes to the terminal.
  EXPECT_EQ(docker.calls()[4].options.stderr_mode, tarvo::process::Redirect::Capture);
  EXPECT_EQ(docker.calls()[5].options.stdout_mode, tarvo::process::Redirect::Inherit);

  // The next job of the same command starts in copy mode at once.
  docker.answer = [](const Command &args) {
    return RecordingLauncher::Answer{.out = args[1] == "wait" ? "0\n" : ""};
  };
  auto [again, again_err, again_error] = run(job(false));
  EXPECT_EQ(again_error, "");
  EXPECT_EQ(again, "Starting...\nDone\n");
  EXPECT_EQ(commands()[9][1], "create");
}

} // namespace

namespace {

// With copying forbidden, an engine that does not see the project is an error, never a build
// in whatever that engine has at the same path.
TEST_F(JobTest, CopyForbiddenAndMarkerMissingIsAnError) {
  ScopedEnv never("TARVO_CONTAINER_COPY", "0");
  docker.answer = [](const Command &args) {
    return RecordingLauncher::Answer{args[1] == "run" ? MARKER_MISSING : args[1] == "cp" ? 1 : 0};
  };
  auto [out, err, error] = run(job(true));
  EXPECT_EQ(error, "RuntimeError: The docker engine does not see this project folder (a remote "
                   "engine?), and TARVO_CONTAINER_COPY=0 forbids copying the project in");
  EXPECT_EQ(out, "Starting...\n");
  // dist/, made for the run, goes with it.
  EXPECT_EQ(names("."), std::vector<std::string>{});
}

// Docker Desktop and colima refuse to mount a folder they do not share: the client ends with
// 125 before the script starts, and the job runs on a copy unless copying is forbidden. An image
// the engine has not (nor could pull) is said as such, and never makes a copy.
TEST_F(JobTest, RefusedMountRunsOnACopyAMissingImageIsNamed) {
  bool image_there = true;
  docker.answer = [&](const Command &args) {
    return RecordingLauncher::Answer{.returncode = args[1] == "run"     ? 125
                                                   : args.back() == "-" ? 1
                                                   : args[1] == "image" ? (image_there ? 0 : 1)
                                                                        : 0,
                                     .out = args[1] == "wait" ? "0\n" : ""};
  };
  auto [out, err, error] = run(job(false));
  EXPECT_EQ(error, "");
  EXPECT_EQ(out, "Starting...\nCopy mode: docker could not start the container with this project "
                 "folder mounted (status 125; Docker Desktop and colima refuse folders they do "
                 "not share), so the project is copied into the container\nDone\n");
  auto calls = commands();
  ASSERT_EQ(calls.size(), 9u);
  EXPECT_EQ(with_copy_written(calls[0], dir.path.string()), MOUNTED);
  // The refused run's container may be left made; it is removed.
  EXPECT_EQ(calls[1], ASK_SEEN);
  EXPECT_EQ(calls[2], REMOVE);
  EXPECT_EQ(calls[3], (Command{"docker", "image", "inspect", "--format", "{{.Id}}", "image:1"}));
  EXPECT_EQ(calls[4][1], "create");
  EXPECT_EQ(calls[6], (Command{"docker", "start", "--attach", "NAME"}));

  next_command();
  ScopedEnv never("TARVO_CONTAINER_COPY", "0");
  auto [never_out, never_err, never_error] = run(job(false));
  EXPECT_TRUE(never_error.ends_with("returned non-zero exit status 125.")) << never_error;
  EXPECT_EQ(never_out, "Starting...\n");
  EXPECT_EQ(commands().size(), 13u);

  next_command();
  image_there = false;
  auto [missing_out, missing_err, missing_error] = run(job(false));
  EXPECT_EQ(missing_error, "RuntimeError: The docker engine has no image image:1 and could not "
                           "pull it: bring it with docker pull image:1, or where there is no "
                           "registry with docker save image:1 on a machine that has it and docker "
                           "load here");
  EXPECT_EQ(missing_out, "Starting...\n");
}

// A status of 213 from a script that did see the marker is the script's own failure.
TEST_F(JobTest, TheScriptsOwnStatusIsNotTakenForAMissingMarker) {
  // The container got past the marker check (it left its file), then failed.
  docker.answer = [](const Command &args) {
    return RecordingLauncher::Answer{args[1] == "run" ? MARKER_MISSING : 0};
  };
  auto [out, err, error] = run(job(false));
  EXPECT_TRUE(error.ends_with("returned non-zero exit status 213.")) << error;
  EXPECT_EQ(out, "Starting...\n");
  EXPECT_EQ(commands(), (std::vector<Command>{commands()[0], ASK_SEEN, REMOVE}));
  EXPECT_EQ(names("."), std::vector<std::string>{});
}

// An interrupt while the container runs stops and removes it by name through the launcher, at
// once and again once its client has ended, says so in one line, and nothing reaches dist/.
TEST_F(JobTest, InterruptStopsAndRemovesTheContainer) {
  // Each docker command is still running when its container is first tidied.
  docker.waits_before_end = 1;
  for (const char *copy : {"0", "1"}) {
    SCOPED_TRACE(copy);
    tarvo::process::Interrupts interrupts;
    ScopedEnv mode("TARVO_CONTAINER_COPY", copy);
    const auto before = docker.calls().size();
    docker.answer = [](const Command &args) {
      if (args[1] == "run" || args[1] == "start") {
        raise(SIGTERM);
      }
      return RecordingLauncher::Answer{};
    };
    auto [out, err, error] = run(job(true));
    EXPECT_EQ(error, "interrupted by " + std::to_string(SIGTERM));
    auto calls = docker.calls();
    calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(before));
    std::string name;
    std::vector<Command> tidying;
    for (const auto &call : calls) {
      if (call.options.tidy_up) {
        tidying.push_back(call.args);
        name = call.args.back();
      }
    }
    const Command remove = {"docker", "rm", "--force", "--volumes", name};
    EXPECT_EQ(tidying, (std::vector<Command>{remove, remove}));
    EXPECT_EQ(err, "Interrupted: stopped and removed the job (container " + name +
                       "); nothing was written to the project\n");
    EXPECT_EQ(names("."), std::vector<std::string>{});
    next_command();
  }
}

// Whatever waits at a product's name in dist/ is replaced, never followed: a link is replaced
// by the file, and a folder is an error that leaves it as it was.
TEST_F(JobTest, ProductsReplaceWhatIsInDistWithoutFollowingIt) {
  write_file("pyproject.toml", "keep");
  fs::create_directories("dist");
  fs::create_symlink("../pyproject.toml", "dist/pkg-1.0.whl");
  fs::create_directories("dist/pkg-2.0.whl");
  std::string wheel = "pkg-1.0.whl";
  docker.answer = [&](const Command &args) {
    return RecordingLauncher::Answer{.out = args[1] == "cp" ? tar_stream({{wheel, "wheel"}})
                                                            : std::string()};
  };
  auto [out, err, error] = run(job(true));
  EXPECT_EQ(error, "");
  EXPECT_FALSE(fs::is_symlink("dist/pkg-1.0.whl"));
  EXPECT_EQ(read_file("dist/pkg-1.0.whl"), "wheel");
  EXPECT_EQ(read_file("pyproject.toml"), "keep");

  wheel = "pkg-2.0.whl";
  auto [out2, err2, error2] = run(job(true));
  EXPECT_TRUE(error2.starts_with("IsADirectoryError: ")) << error2;
  EXPECT_TRUE(fs::is_directory("dist/pkg-2.0.whl"));
  EXPECT_EQ(names("dist"), (std::vector<std::string>{"pkg-1.0.whl", "pkg-2.0.whl"}));
  EXPECT_EQ(names("."), (std::vector<std::string>{"dist", "pyproject.toml"}));
}

// The copy holds every entry but .venv, dist/ and build/ at the top, links as links, names
// with line feeds whole, and the extra files at their places.
TEST(ProjectCopyTest, HoldsTheProjectButTheHostsOutputs) {
  TempDir dir;
  InDir in(dir.path);
  for (const char *file : {".venv/bin/python", "dist/a.whl", "dist/b.whl", "build/x.o",
                           "pkg/__init__.py", "pkg/build/keep", ".git/HEAD", "odd\nname"}) {
    write_file(file, file);
  }
  fs::create_symlink("pkg/__init__.py", "link");
  fs::create_symlink("/nowhere", "dangling");
  ::chmod("pkg/__init__.py", 0751);
  ProjectCopy copy({"dist/a.whl"});
  std::vector<std::string> seen;
  for (auto it = fs::recursive_directory_iterator(copy.path()); it != fs::end(it); ++it) {
    seen.push_back(it->path().lexically_relative(copy.path()).string());
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{".git", ".git/HEAD", "dangling", "dist", "dist/a.whl",
                                            "link", "odd\nname", "pkg", "pkg/__init__.py",
                                            "pkg/build", "pkg/build/keep"}));
  EXPECT_EQ(fs::read_symlink(copy.path() / "dangling"), "/nowhere");
  EXPECT_EQ(read_file(copy.path() / "odd\nname"), "odd\nname");
  struct stat st {};
  ASSERT_EQ(::stat((copy.path() / "pkg/__init__.py").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  auto path = copy.path();
  { ProjectCopy gone({}); }
  EXPECT_TRUE(fs::exists(path));
}

} // namespace

namespace {

// --verbose prints each docker command as a shell would take it, script and all, before it
// runs: what the short error line leaves out.
TEST_F(JobTest, VerbosePrintsEveryCommandWithItsScript) {
  tarvo::process::Context verbose(docker, {}, true);
  UnknownEngine loud(verbose);
  auto [out, err, error] = run(job(false), &loud);
  EXPECT_EQ(error, "");
  const auto argv = docker.commands().front();
  EXPECT_TRUE(err.starts_with("+ docker run --name=" + argv[2].substr(7) + " --init ")) << err;
  EXPECT_NE(err.find(" image:1 /bin/sh -ec " + shell_word(argv.back()) + "\n+ docker rm "),
            std::string::npos)
      << err;
  auto again = run(job(false));
  EXPECT_EQ(std::get<1>(again), "");
}

} // namespace

namespace {

// A copy-mode container that cannot be made (no such image) ends with a short line too.
TEST_F(JobTest, FailedCreateNamesTheCommandWithoutTheScript) {
  ScopedEnv always("TARVO_CONTAINER_COPY", "1");
  docker.answer = [](const Command &args) {
    return RecordingLauncher::Answer{args[1] == "create" ? 125 : 0, "", "no such image\n"};
  };
  auto [out, err, error] = run(job(true));
  EXPECT_EQ(err, "no such image\n");
  EXPECT_EQ(error, "CalledProcessError: Command '['docker', 'create', '[options]', 'image:1', "
                   "'/bin/sh', '-ec', '<script: --verbose shows it>']' returned non-zero exit "
                   "status 125.");
  EXPECT_EQ(names("."), std::vector<std::string>{});
}

} // namespace

namespace {

// A git worktree's .git names a repository elsewhere: the copy gets a repository of its own,
// at the worktree's commit, so that a version taken from git is the worktree's.
TEST(ProjectCopyTest, WorktreeGetsARepositoryOfItsOwn) {
  TempDir dir;
  auto git = [&](const fs::path &where, std::vector<std::string> args) {
    args.insert(args.begin(), {"git", "-C", where.string(), "-c", "user.name=T", "-c",
                               "user.email=t@example.invalid"});
    auto done = tarvo::process::Context().run(
        args, {tarvo::process::Redirect::Capture, tarvo::process::Redirect::Capture});
    EXPECT_EQ(done.returncode, 0) << done.stderr_text.value_or("");
    return done.stdout_text.value_or("");
  };
  auto main = dir.path / "main";
  write_file(main / "a", "1");
  git(main, {"init", "-q"});
  git(main, {"add", "a"});
  git(main, {"commit", "-qm", "one"});
  git(main, {"tag", "v1.0"});
  git(main, {"worktree", "add", "-q", "-b", "side", (dir.path / "tree").string()});
  write_file(dir.path / "tree" / "b", "2");
  git(dir.path / "tree", {"add", "b"});
  git(dir.path / "tree", {"commit", "-qm", "two"});
  git(dir.path / "tree", {"tag", "v2.0"});
  InDir in(dir.path / "tree");
  ProjectCopy copy({});
  EXPECT_TRUE(fs::is_directory(copy.path() / ".git"));
  EXPECT_EQ(git(copy.path(), {"describe", "--tags"}), "v2.0\n");
  EXPECT_EQ(git(copy.path(), {"status", "--porcelain"}), "");
  // The repositories it came from are as they were.
  EXPECT_EQ(git(main, {"describe", "--tags"}), "v1.0\n");
}

} // namespace

namespace {

// The run's products folder in dist/, which tarvo made on the host.
fs::path products_folder() {
  for (const auto &entry : fs::directory_iterator("dist")) {
    if (entry.path().filename().string().starts_with(".tarvo-")) {
      return entry.path();
    }
  }
  return {};
}

// Something on the host puts a link or another folder in place of the products folder or of
// dist/ while the container runs: nothing is taken there, the job fails naming it, and what the
// link points to, in the project or outside it, stays as it was.
TEST_F(JobTest, ProductsFolderSwappedByTheContainerIsRefused) {
  TempDir outside;
  write_file(outside.path / "precious", "keep");
  write_file("pyproject.toml", "keep");
  const std::vector<std::pair<std::string, std::function<void(const fs::path &)>>> swaps = {
      {"dist/.",
       [&](const fs::path &out) {
         fs::remove_all(out);
         fs::create_directory_symlink(outside.path, out);
       }},
      {"dist/.",
       [](const fs::path &out) {
         fs::remove_all(out);
         fs::create_directory_symlink("..", out);
       }},
      {"dist",
       [&](const fs::path &out) {
         write_file(out / "pkg-1.0.whl", "wheel");
         fs::rename("dist", "moved");
         fs::create_directory_symlink(outside.path, "dist");
       }},
  };
  for (const auto &[named, swap] : swaps) {
    docker.answer = [&](const Command &args) {
      if (args[1] == "run") {
        swap(products_folder());
      }
      return RecordingLauncher::Answer{
          .out = args[1] == "cp" ? tar_stream({{"pkg-1.0.whl", "wheel"}}) : std::string()};
    };
    auto [out, err, error] = run(job(true));
    EXPECT_TRUE(error.starts_with("RuntimeError: '" + named)) << error;
    EXPECT_TRUE(error.ends_with("' was replaced while the container ran (by a link or another "
                                "folder): nothing was taken from it"))
        << error;
    EXPECT_EQ(out, "Starting...\n");
    EXPECT_EQ(names(outside.path), std::vector<std::string>{"precious"});
    EXPECT_EQ(read_file(outside.path / "precious"), "keep");
    EXPECT_EQ(read_file("pyproject.toml"), "keep");
    fs::remove_all("dist");
    fs::remove_all("moved");
    EXPECT_EQ(names("."), std::vector<std::string>{"pyproject.toml"});
  }
}

// A dist/ that is a link (a cloned repository may carry one) is refused before anything runs,
// on a copy as on a mounted project, and nothing is written where it points.
TEST_F(JobTest, DistThatIsALinkIsRefusedBeforeAnythingRuns) {
  TempDir outside;
  fs::create_directory_symlink(outside.path, "dist");
  for (const char *copy : {"0", "1"}) {
    ScopedEnv mode("TARVO_CONTAINER_COPY", copy);
    auto [out, err, error] = run(job(true));
    EXPECT_EQ(error, "NotADirectoryError: 'dist' is a symbolic link (to '" + outside.path.string() +
                         "'), not a folder of the project: tarvo writes only into real folders of "
                         "the project");
    EXPECT_TRUE(docker.calls().empty());
    EXPECT_TRUE(fs::is_empty(outside.path));
    EXPECT_EQ(names("."), std::vector<std::string>{"dist"});
    next_command();
  }
}

// On a copy the script runs when the container is started: a failing script is named so.
TEST_F(JobTest, FailedScriptOnACopyNamesTheStart) {
  ScopedEnv always("TARVO_CONTAINER_COPY", "1");
  docker.answer = [](const Command &args) {
    return RecordingLauncher::Answer{.out = args[1] == "wait" ? "3\n" : ""};
  };
  auto [out, err, error] = run(job(true));
  EXPECT_EQ(std::regex_replace(error, std::regex("tarvo-[0-9a-f]{16}"), "NAME"),
            "CalledProcessError: Command '['docker', 'start', '--attach', 'NAME']' returned "
            "non-zero exit status 3.");
}

// The last word after an interrupt is true: a container whose removal docker did not confirm,
// or whose clean-up a second Ctrl-C gave up, is named with the command that removes it.
TEST_F(JobTest, InterruptWithoutConfirmedRemovalNamesTheContainer) {
  docker.waits_before_end = 1;
  for (bool second_ctrl_c : {false, true}) {
    SCOPED_TRACE(second_ctrl_c);
    tarvo::process::Interrupts interrupts;
    const auto before = docker.calls().size();
    docker.answer = [&](const Command &args) {
      if (args[1] == "run") {
        raise(SIGINT);
        if (second_ctrl_c) {
          std::this_thread::sleep_for(std::chrono::milliseconds(250));
          raise(SIGINT);
        }
      }
      return RecordingLauncher::Answer{args[1] == "rm" ? 1 : 0, "",
                                       "Cannot connect to the Docker daemon\n"};
    };
    auto [out, err, error] = run(job(true));
    EXPECT_EQ(error, "interrupted by " + std::to_string(SIGINT));
    std::string name;
    std::size_t tidy_steps = 0;
    for (std::size_t i = before; i < docker.calls().size(); ++i) {
      name = docker.calls()[i].args.back();
      tidy_steps += docker.calls()[i].options.tidy_up ? 1 : 0;
    }
    // Given up at once after the second Ctrl-C: no tidy-up step starts.
    EXPECT_EQ(tidy_steps, second_ctrl_c ? 0u : 2u);
    name = std::regex_replace(docker.calls()[before].args[2], std::regex("--name="), "");
    EXPECT_EQ(err, "Interrupted: the job was not confirmed stopped: its container " + name +
                       " may still be running; remove it with: docker rm --force --volumes " +
                       name + "\n");
  }
}

} // namespace
