// The fixture of the tests that run the machine's real python: a project folder, and options
// under which pip installs offline from the wheels scripts/fetch-wheels.sh fetched, with the
// built tarvo first on the search path (for lint's self-check).
#pragma once

#include "harness.hpp"

#include <gtest/gtest.h>

namespace tarvo::testing {

class RealPython : public ::testing::Test {
protected:
  void SetUp() override {
    wheels = offline_wheels();
    ASSERT_FALSE(wheels.empty()) << "run scripts/fetch-wheels.sh first";
    fs::create_symlink(tarvo_binary(), bin.path / "tarvo");
    options.env = offline_pip(wheels);
    options.env["PATH"] = path_with(bin.path);
  }

  // A fresh environment in env/ of the project folder, with `packages` installed; its bin/.
  fs::path environment_with(const std::vector<std::string> &packages) {
    auto made = run({"python3", "-m", "venv", (tmp.path / "env").string()}, options);
    EXPECT_EQ(made.status, 0) << made.err;
    std::vector<std::string> install = {(tmp.path / "env" / "bin" / "pip").string(), "install",
                                        "--quiet"};
    install.insert(install.end(), packages.begin(), packages.end());
    auto installed = run(install, options);
    EXPECT_EQ(installed.status, 0) << installed.err;
    return tmp.path / "env" / "bin";
  }

  fs::path wheels;
  TempDir tmp;
  TempDir bin;
  RunOptions options{.cwd = tmp.path};
};

} // namespace tarvo::testing
