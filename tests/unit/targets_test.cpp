#include "tarvo/wheel/targets.hpp"

#include "harness.hpp"
#include "tarvo/process/process.hpp"

#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace {

using namespace tarvo::wheel;
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
           {"x86_64", "MUSL", "manylinux_2_34_x86_64"},
       }) {
    EXPECT_EQ(get_manylinux_image(arch, libc), expected);
  }
  for (const auto &[arch, expected] : Pairs{{"i686", "linux/386"},
                                            {"armv7l", "linux/arm/v7"},
                                            {"x86_64", "linux/x86_64"},
                                            {"aarch64", "linux/aarch64"},
                                            {"riscv64", "linux/riscv64"}}) {
    EXPECT_EQ(get_platform(arch), expected);
  }
  for (const auto &[python, libc, expected] : Triples{{"3.12", "musl", "python:3.12-alpine"},
                                                      {"3.12", "glibc", "python:3.12"},
                                                      {"3.11", "Musl", "python:3.11"}}) {
    EXPECT_EQ(get_python_image(python, libc), expected);
  }
}

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

TEST_F(FindWheelTest, PrefersTheArchitectureThenAnyWheelInListingOrder) {
  // Made first and last, so that one lists before the others in either creation order.
  std::vector<std::string> names = {"pkg-1.0-py3-none-any.whl"};
  for (int i = 0; i < 20; ++i) {
    names.push_back("pkg-" + std::to_string(i) + "-manylinux_2_34_aarch64.whl");
  }
  names.push_back("pkg-2.0-py3-none-any.whl");
  auto directory = dist(names);
  auto aarch64 = listing(directory);
  std::erase_if(aarch64,
                [](const auto &name) { return name.find("none-any") != std::string::npos; });
  EXPECT_EQ(find_wheel(directory, "aarch64"), directory + "/" + aarch64.front());
  // No x86_64 wheel: the first wheel of any kind.
  EXPECT_EQ(find_wheel(directory, "x86_64"), directory + "/" + listing(directory).front());
}

TEST_F(FindWheelTest, RelativeFolderGivesRelativePath) {
  dist({"pkg-1.0-py3-none-any.whl"});
  InDir in(dir_.path);
  EXPECT_EQ(find_wheel("dist", "x86_64"), "dist/pkg-1.0-py3-none-any.whl");
}

class DockerTest : public ::testing::Test {
protected:
  std::string calls() { return fs::exists(log_) ? read_file(log_) : std::string(); }
  TempDir dir_;
  fs::path log_ = dir_.path / "calls.log";
  ScopedEnv path_{"PATH", path_with(stubs_dir())};
  ScopedEnv stub_log_{"STUB_LOG", log_.string()};
  ScopedEnv stub_fail_{"STUB_FAIL", std::nullopt};
};

TEST_F(DockerTest, CheckDockerAsksForTheVersionQuietly) {
  bool present = false, failing = true, missing = true;
  auto [out, err] = capture_output([&] {
    present = check_docker();
    ScopedEnv fail("STUB_FAIL", "--version");
    failing = check_docker();
    ScopedEnv path("PATH", dir_.path.string());
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
  ScopedEnv fail("STUB_FAIL", "--install");
  std::optional<tarvo::process::CalledProcessError> error;
  auto [out, err] = capture_output([&] {
    try {
      register_binfmt("not-this-host");
    } catch (const tarvo::process::CalledProcessError &e) {
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
