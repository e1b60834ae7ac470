// tarvo lint with the real linters, installed offline into .venv from the wheels that
// scripts/fetch-wheels.sh fetched, and the built tarvo first on the search path for the self-run.
#include "real_python.hpp"

#include <gtest/gtest.h>

using namespace tarvo::testing;
namespace fs = std::filesystem;

class RealLint : public RealPython {};

TEST_F(RealLint, AllFivePassThenRuffAndPyromaFail) {
  // A module of the project named like a checker never stands in for it.
  write_file(tmp.path / "pyproject.toml",
             tiny_pyproject(true) + "\n[tool.setuptools]\npackages = [\"tiny\"]\n");
  write_file(tmp.path / "dodgy.py", "\"\"\"Not the checker.\"\"\"\n\nraise SystemExit(7)\n");
  write_file(tmp.path / "tiny" / "__init__.py",
             "\"\"\"Doubling.\"\"\"\n\n\ndef double(x: int) -> int:\n"
             "    \"\"\"Return twice x.\"\"\"\n    return 2 * x\n");

  auto passed = run_tarvo({"lint"}, options);
  EXPECT_EQ(passed.status, 0) << passed.out << passed.err;
  EXPECT_NE(passed.out.find("Running linters...\nruff: PASS\nbasedpyright: PASS\ndodgy: PASS\n"
                            "pyroma: PASS\ntarvo: PASS\n"),
            std::string::npos)
      << passed.out << passed.err;

  // A blind except for ruff, and metadata too thin for pyroma; the template still matches.
  write_file(tmp.path / "tiny" / "__init__.py",
             "\"\"\"Doubling.\"\"\"\n\n\ndef double(x: int) -> int:\n"
             "    \"\"\"Return twice x, or 0 when that fails.\"\"\"\n    try:\n"
             "        return 2 * x\n    except Exception:\n        return 0\n");
  write_file(tmp.path / "pyproject.toml", tiny_pyproject(false));
  auto failed = run_tarvo({"lint"}, options);
  EXPECT_EQ(failed.status, 2) << failed.out << failed.err;
  auto ruff = failed.out.find("ruff: FAIL (1)\n");
  auto basedpyright = failed.out.find("basedpyright: PASS\ndodgy: PASS\npyroma: FAIL (2)\n");
  auto tail = failed.out.find("tarvo: PASS\n2 failed\n");
  ASSERT_NE(ruff, std::string::npos) << failed.out;
  ASSERT_NE(basedpyright, std::string::npos) << failed.out;
  ASSERT_NE(tail, std::string::npos) << failed.out;
  EXPECT_NE(failed.out.substr(ruff, basedpyright - ruff).find("BLE001"), std::string::npos);
  EXPECT_NE(failed.out.substr(basedpyright, tail - basedpyright).find("Final rating"),
            std::string::npos);
}
