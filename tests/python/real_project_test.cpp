// The machine's real python, pip, pytest and build, working offline from the wheels that
// scripts/fetch-wheels.sh fetched once.
#include "real_python.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

class RealProject : public RealPython {};

TEST_F(RealProject, TestPassesThenFailsThenSdistIsBuilt) {
  for (const auto &[name, content] : setuptools_project("tiny")) {
    write_file(tmp.path / name, content);
  }

  auto passed = run_tarvo({"test"}, options);
  ASSERT_EQ(passed.status, 0) << passed.out << passed.err;
  EXPECT_NE(passed.out.find("test_tiny.py::test_double PASSED"), std::string::npos) << passed.out;
  EXPECT_TRUE(fs::exists(tmp.path / ".venv" / "bin" / "python"));

  write_file(tmp.path / "tests" / "test_broken.py", "def test_broken():\n    assert False\n");
  auto failed = run_tarvo({"test"}, options);
  EXPECT_EQ(failed.status, 1) << failed.out << failed.err; // pytest's status for failed tests
  EXPECT_NE(failed.out.find("1 failed, 1 passed"), std::string::npos) << failed.out;

  auto sdist = run_tarvo({"build", "--sdist"}, options);
  ASSERT_EQ(sdist.status, 0) << sdist.out << sdist.err;
  EXPECT_NE(sdist.out.find("sdist built successfully"), std::string::npos);
  EXPECT_TRUE(fs::exists(tmp.path / "dist" / "tiny-1.0.tar.gz"));

  auto status = run_tarvo({"status"}, options);
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_NE(status.out.find("Project: tiny-1.0\n"), std::string::npos);
  EXPECT_NE(status.out.find("Venv: installed\n"), std::string::npos);
}
