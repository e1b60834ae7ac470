#include "tarvo/wheel/targets.hpp"

#include "harness.hpp"
#include "tarvo/venv/process.hpp"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace tarvo::testing {
// Defined in virtual_environment_test.cpp.
std::pair<std::string, std::string> capture_output(const std::function<void()> &body);
} // namespace tarvo::testing

namespace {

using namespace tarvo::wheel;
namespace fs = std::filesystem;
using tarvo::testing::capture_output;
using tarvo::testing::stubs_dir;
using tarvo::testing::TempDir;
using tarvo::testing::write_file;

struct Mapping {
  std::function<std::string(std::string_view, std::string_view)> map;
  std::string first;
  std::string second;
  std::string expected;
};

class TargetMappingTest : public ::testing::TestWithParam<Mapping> {};

TEST_P(TargetMappingTest, MapsTheTarget) {
  EXPECT_EQ(GetParam().map(GetParam().first, GetParam().second), GetParam().expected);
}

Mapping interpreter(std::string version, std::string expected) {
  return {[](auto v, auto) { return get_python_interpreter(v); }, version, "", expected};
}
Mapping image(std::string arch, std::string libc, std::string expected) {
  return {get_manylinux_image, arch, libc, expected};
}
Mapping platform(std::string arch, std::string expected) {
  return {[](auto a, auto) { return get_platform(a); }, arch, "", expected};
}
Mapping python_image(std::string python, std::string libc, std::string expected) {
  return {get_python_image, python, libc, expected};
}

INSTANTIATE_TEST_SUITE_P(
    Targets, TargetMappingTest,
    ::testing::Values(interpreter("3.11", "cp311-cp311"), interpreter("3.9", "cp39-cp39"),
                      interpreter("3.10.4", "cp3104-cp3104"), interpreter("311", "cp311-cp311"),
                      image("armv7l", "musl", "musllinux_1_2_armv7l"),
                      image("x86_64", "musl", "musllinux_1_2_x86_64"),
                      image("armv7l", "glibc", "manylinux_2_35_armv7l"),
                      image("riscv64", "glibc", "manylinux_2_39_riscv64"),
                      image("aarch64", "glibc", "manylinux_2_34_aarch64"),
                      image("x86_64", "MUSL", "manylinux_2_34_x86_64"),
                      platform("i686", "linux/386"), platform("armv7l", "linux/arm/v7"),
                      platform("x86_64", "linux/x86_64"), platform("aarch64", "linux/aarch64"),
                      platform("riscv64", "linux/riscv64"),
                      python_image("3.12", "musl", "python:3.12-alpine"),
                      python_image("3.12", "glibc", "python:3.12"),
                      python_image("3.11", "Musl", "python:3.11")));

class FindWheelTest : public ::testing::Test {
protected:
  std::string dist(const std::vector<std::string> &names) {
    for (const auto &name : names) {
      write_file(dir_.path / "dist" / name, "");
    }
    return (dir_.path / "dist").string();
  }
  // The entries in the order the folder lists them.
  std::vector<std::string> listing(const std::string &directory) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(directory)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  TempDir dir_;
};

TEST_F(FindWheelTest, NothingWithoutAWheel) {
  EXPECT_EQ(find_wheel((dir_.path / "missing").string(), "x86_64"), std::nullopt);
  fs::create_directory(dir_.path / "dist");
  EXPECT_EQ(find_wheel((dir_.path / "dist").string(), "x86_64"), std::nullopt);
  auto directory = dist({".hidden_x86_64.whl", ".hidden.whl", "pkg.whl.txt", "notes"});
  EXPECT_EQ(find_wheel(directory, "x86_64"), std::nullopt);
  write_file(dir_.path / "file", "");
  EXPECT_EQ(find_wheel((dir_.path / "file").string(), "x86_64"), std::nullopt);
}

TEST_F(FindWheelTest, PrefersTheArchitectureThenAnyWheel) {
  auto arch_wheel = "pkg-1.0-cp311-cp311-manylinux_2_34_aarch64.whl";
  auto pure_wheel = "pkg-1.0-py3-none-any.whl";
  auto directory = dist({arch_wheel, pure_wheel});
  EXPECT_EQ(find_wheel(directory, "aarch64"), directory + "/" + arch_wheel);
  // No x86_64 wheel: the first wheel of any kind, in listing order.
  EXPECT_EQ(find_wheel(directory, "x86_64"), directory + "/" + listing(directory).front());
}

TEST_F(FindWheelTest, FirstMatchInListingOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 20; ++i) {
    names.push_back("pkg-" + std::to_string(i) + "-manylinux_2_34_x86_64.whl");
  }
  auto directory = dist(names);
  EXPECT_EQ(find_wheel(directory, "x86_64"), directory + "/" + listing(directory).front());
}

TEST_F(FindWheelTest, RelativeFolderGivesRelativePath) {
  dist({"pkg-1.0-py3-none-any.whl"});
  auto cwd = fs::current_path();
  fs::current_path(dir_.path);
  auto found = find_wheel("dist", "x86_64");
  fs::current_path(cwd);
  EXPECT_EQ(found, "dist/pkg-1.0-py3-none-any.whl");
}

class DockerTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char *path = std::getenv("PATH")) {
      path_ = path;
    }
    setenv("PATH", tarvo::testing::path_with(stubs_dir()).c_str(), 1);
    setenv("STUB_LOG", log_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", path_.c_str(), 1);
    unsetenv("STUB_LOG");
    unsetenv("STUB_FAIL");
  }
  std::string calls() { return fs::exists(log_) ? tarvo::testing::read_file(log_) : std::string(); }
  TempDir dir_;
  fs::path log_ = dir_.path / "calls.log";
  std::string path_;
};

TEST_F(DockerTest, CheckDockerAsksForTheVersionQuietly) {
  bool present = false, failing = true, missing = true;
  auto [out, err] = capture_output([&] {
    present = check_docker();
    setenv("STUB_FAIL", "--version", 1);
    failing = check_docker();
    setenv("PATH", dir_.path.c_str(), 1);
    missing = check_docker();
  });
  EXPECT_TRUE(present);
  EXPECT_FALSE(failing);
  EXPECT_FALSE(missing);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  auto docker = (stubs_dir() / "docker").string();
  EXPECT_EQ(calls(), docker + " --version\n" + docker + " --version\n");
}

TEST_F(DockerTest, RegisterBinfmtOnlyForAForeignArchitecture) {
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(host_machine(), names.machine);

  register_binfmt(names.machine);
  EXPECT_EQ(calls(), "");

  auto foreign = std::string(names.machine) == "aarch64" ? "x86_64" : "aarch64";
  register_binfmt(foreign);
  register_binfmt(foreign);
  auto line = (stubs_dir() / "docker").string() + " run --privileged --rm " +
              std::string(BINFMT_IMAGE) + " --install all\n";
  EXPECT_EQ(calls(), line + line);
}

TEST_F(DockerTest, RegisterBinfmtFailureIsRaised) {
  setenv("STUB_FAIL", "--install", 1);
  std::optional<tarvo::venv::CalledProcessError> error;
  auto [out, err] = capture_output([&] {
    try {
      register_binfmt("not-this-host");
    } catch (const tarvo::venv::CalledProcessError &e) {
      error = e;
    }
  });
  // The container's output is not captured: it reaches our own streams.
  EXPECT_EQ(out, "stub out\n");
  EXPECT_EQ(err, "stub err\n");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->returncode, 1);
  EXPECT_EQ(error->args, (std::vector<std::string>{"docker", "run", "--privileged", "--rm",
                                                   std::string(BINFMT_IMAGE), "--install", "all"}));
  EXPECT_FALSE(error->stdout_text);
  EXPECT_FALSE(error->stderr_text);
}

} // namespace
