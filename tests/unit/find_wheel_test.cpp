// The search for a built wheel in a folder.
#include "tarvo/artifacts/find_wheel.hpp"

#include "harness.hpp"

#include <gtest/gtest.h>

namespace {

using namespace tarvo::artifacts;
using namespace tarvo::testing;
namespace fs = std::filesystem;

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

} // namespace

namespace {

// With the wheels of several targets in dist/, each target's test takes its own: its Python, then
// its C library; a target with none of its own falls back to the search above.
TEST_F(FindWheelTest, EachTargetFindsItsOwnWheel) {
  auto directory = dist({"pkg-1.0-cp311-cp311-manylinux_2_34_x86_64.whl",
                         "pkg-1.0-cp312-cp312-manylinux_2_34_x86_64.whl",
                         "pkg-1.0-cp312-cp312-musllinux_1_2_x86_64.whl"});
  using tarvo::container::Libc;
  EXPECT_EQ(find_wheel_for(directory, {"x86_64", Libc::Glibc, "3.12"}),
            directory + "/pkg-1.0-cp312-cp312-manylinux_2_34_x86_64.whl");
  EXPECT_EQ(find_wheel_for(directory, {"x86_64", Libc::Musl, "3.12"}),
            directory + "/pkg-1.0-cp312-cp312-musllinux_1_2_x86_64.whl");
  EXPECT_EQ(find_wheel_for(directory, {"x86_64", Libc::Glibc, "3.11"}),
            directory + "/pkg-1.0-cp311-cp311-manylinux_2_34_x86_64.whl");
  EXPECT_EQ(find_wheel_for(directory, {"x86_64", Libc::Glibc, "3.13"}),
            find_wheel(directory, "x86_64"));
  EXPECT_EQ(find_wheel_for((dir_.path / "missing").string(), {}), std::nullopt);
}

} // namespace
