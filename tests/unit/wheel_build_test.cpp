// The wheel build against a recording launcher: the docker probe, the emulator registration and
// the container run, with the exact scripts.
#include "tarvo/artifacts/step_hints.hpp"
#include "tarvo/artifacts/wheel_build.hpp"

#include "container_steps.hpp"

#include "tarvo/repr.hpp"

namespace {

using namespace tarvo::artifacts;
using namespace tarvo::testing;
using tarvo::container::host_machine;
using tarvo::container::Libc;
using tarvo::container::Target;

class WheelBuild : public ContainerSteps {};

const std::string PURE_BUILD = R"(
set -e
manylinux-interpreters ensure "cp311-cp311"
PATH="/opt/python/cp311-cp311/bin:$PATH"
cd /tarvo/src

)" + step_hints() + R"(
rm -rf build/
tarvo_step python -m pip install   --upgrade   --extra-index-url="https://www.piwheels.org/simple"   build
tarvo_step python -m build --wheel --outdir=/tmp/tarvo-wheels/built --config-setting=build_with_nuitka=false

cp /tmp/tarvo-wheels/built/*.whl "$tarvo_out/"
)";

TEST_F(WheelBuild, PureWheelBuild) {
  auto host = host_machine();
  std::string script = PURE_BUILD;
  for (std::size_t at; (at = script.find("x86_64")) != std::string::npos;) {
    script.replace(at, 6, host);
  }
  std::vector<std::string> names;
  for (const std::optional<std::string> &setup : {std::optional<std::string>(), {""}}) {
    auto outcome = run([&] {
      build_manylinux_wheel(engine, false, {host, Libc::Glibc, "3.11"}, setup);
    });
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.out, "Building manylinux wheel for " + host +
                               " (glibc) with Python 3.11...\n"
                               "Manylinux wheel built for " +
                               host + "\n");
    EXPECT_EQ(outcome.err, "");
    auto run = container({}, "quay.io/pypa/manylinux_2_34_" + host + ":latest", "/bin/bash", script,
                         "tarvo-cache-" + host + "-glibc-3.11");
    // The client is asked once, before the first build.
    const auto all = commands();
    EXPECT_EQ(std::vector<Command>(all.end() - 3, all.end()),
              (std::vector<Command>{run, TAKE, REMOVE}));
    EXPECT_EQ(all.front(), PROBE);
    names.push_back(last_run()[2]);
    // The run's marker and products folder are gone with it; the wheel is in dist/.
    EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"dist"});
    EXPECT_EQ(names_in(dir.path / "dist"), std::vector<std::string>{product});
    fs::remove_all(dir.path / "dist");
  }
  // Each run has a name of its own, by which an interrupt stops and removes its container.
  EXPECT_NE(names[0], names[1]);
  const auto call = docker.calls().end()[-3];
  // The build's output goes straight to the terminal.
  EXPECT_EQ(call.options.stdout_mode, tarvo::process::Redirect::Inherit);
  EXPECT_EQ(call.options.stderr_mode, tarvo::process::Redirect::Inherit);
  EXPECT_FALSE(call.options.tidy_up);
}

// Only setuptools reads build_with_nuitka; backends that refuse settings they do not know
// (scikit-build-core, meson-python) and the others get none.
TEST_F(WheelBuild, OnlySetuptoolsGetsTheNuitkaSetting) {
  for (const auto &[backend, passed] : std::vector<std::pair<std::string, bool>>{
           {"", true},
           {"build-backend = 'setuptools.build_meta'\n", true},
           {"build-backend = 'setuptools.build_meta:__legacy__'\n", true},
           {"build-backend = 'scikit_build_core.build'\n", false},
           {"build-backend = 'mesonpy'\n", false},
           {"build-backend = 'hatchling.build'\n", false},
       }) {
    write_file(dir.path / "pyproject.toml", "[build-system]\nrequires = []\n" + backend);
    auto outcome =
        run([&] { build_manylinux_wheel(engine, false, {host_machine()}, std::nullopt); });
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(script().find("--config-setting=build_with_nuitka=false") != std::string::npos,
              passed)
        << backend;
  }
}

TEST_F(WheelBuild, NativeWheelBuildForAForeignArchitecture) {
  auto arch = foreign_arch();
  auto outcome = run([&] {
    build_manylinux_wheel(engine, true, {arch, Libc::Glibc, "3.12"}, "echo one\necho two");
  });
  EXPECT_EQ(outcome.error, "");
  const std::string script =
      "\nset -e\nmanylinux-interpreters ensure \"cp312-cp312\"\n"
      "PATH=\"/opt/python/cp312-cp312/bin:$PATH\"\ncd /tarvo/src\n"
      "echo one\necho two\n" +
      step_hints() +
      "\nrm -rf build/\n"
      "tarvo_step python -m pip install   --upgrade   --extra-index-url=\""
      "https://www.piwheels.org/simple\"   build\n"
      "tarvo_step python -m build --wheel --outdir=/tmp/tarvo-wheels/built \n"
      "auditwheel repair --wheel-dir=/tmp/tarvo-wheels/repaired "
      "/tmp/tarvo-wheels/built/*_" +
      arch +
      ".whl\n"
      "cp /tmp/tarvo-wheels/repaired/*.whl \"$tarvo_out/\"\n";
  EXPECT_EQ(commands(), (std::vector<Command>{
                            PROBE, REGISTRATION,
                            container({}, "quay.io/pypa/manylinux_2_34_" + arch + ":latest",
                                      "/bin/bash", script, "tarvo-cache-" + arch + "-glibc-3.12"),
                            TAKE, REMOVE}));
}

TEST_F(WheelBuild, BuildImagesFollowTheCLibrary) {
  for (const auto &[libc, image] : std::vector<std::pair<Libc, std::string>>{
           {Libc::Musl, "musllinux_1_2_armv7l"}, {Libc::Glibc, "manylinux_2_35_armv7l"}}) {
    run([&] { build_manylinux_wheel(engine, false, {"armv7l", libc, "3.11"}, std::nullopt); });
    EXPECT_EQ(this->image(), "quay.io/pypa/" + image + ":latest");
  }
}

// An architecture from the command line is spliced into the script as one inert word, and the
// globs around it still match; the cache volume's name keeps only what a name may hold.
TEST_F(WheelBuild, HostileArchitectureRunsNothing) {
  run([&] {
    build_manylinux_wheel(engine, true, {"x;id", Libc::Glibc, "3.11$(id)"}, std::nullopt);
  });
  const auto script = this->script();
  for (const std::string line : {"manylinux-interpreters ensure 'cp311$(id)-cp311$(id)'\n",
                                 "PATH=/opt/python/'cp311$(id)-cp311$(id)'/bin:\"$PATH\"\n",
                                 "auditwheel repair --wheel-dir=/tmp/tarvo-wheels/repaired "
                                 "/tmp/tarvo-wheels/built/*_'x;id'.whl\n"}) {
    EXPECT_NE(script.find(line), std::string::npos) << line << script;
  }
  EXPECT_EQ(normal(last_run())[6], "--volume=tarvo-cache-x_id-glibc-3.11__id_:/root/.cache");
}

TEST_F(WheelBuild, WithoutDockerNothingRuns) {
  docker.answer = [](const Command &) -> RecordingLauncher::Answer {
    throw tarvo::os_error(ENOENT, "docker");
  };
  auto outcome = run([&] { build_manylinux_wheel(engine, false, {}, std::nullopt); });
  EXPECT_EQ(outcome.error, "exit 1");
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "Error: Docker is not available\n");
  EXPECT_EQ(docker.commands(), (std::vector<Command>{PROBE}));
}

// The last line names the command, but not the script, in under 200 characters.
TEST_F(WheelBuild, FailingContainerEndsWithCalledProcessError) {
  docker.answer = [](const Command &args) {
    return RecordingLauncher::Answer{args[1] == "run" ? 3 : 0};
  };
  auto build = run([&] { build_manylinux_wheel(engine, false, {host_machine()}, std::nullopt); });
  EXPECT_EQ(build.error,
            "CalledProcessError: Command '['docker', 'run', '[options]', "
            "'quay.io/pypa/manylinux_2_34_" +
                host_machine() +
                ":latest', '/bin/bash', '-ec', '<script: --verbose shows it>']' returned "
                "non-zero exit status 3.");
  EXPECT_LT(build.error.size(), 200u);
  EXPECT_EQ(build.out.find("built for"), std::string::npos);
}

} // namespace
