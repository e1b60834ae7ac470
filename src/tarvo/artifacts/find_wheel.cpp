#include "tarvo/artifacts/find_wheel.hpp"

#include "tarvo/files/files.hpp"
#include "tarvo/files/tree.hpp"

namespace tarvo::artifacts {

std::optional<std::string> find_wheel(const std::string &directory, std::string_view arch) {
  if (!files::exists(directory)) {
    return std::nullopt;
  }
  for (const auto &pattern : {"*_" + std::string(arch) + ".whl", std::string("*.whl")}) {
    auto names = files::glob(directory, pattern);
    if (!names.empty()) {
      return directory + "/" + names.front();
    }
  }
  return std::nullopt;
}

std::optional<std::string> find_wheel_for(const std::string &directory,
                                          const container::Target &target) {
  if (!files::exists(directory)) {
    return std::nullopt;
  }
  auto interpreter = container::get_python_interpreter(target.python);
  const auto tag = "*-" + interpreter.substr(0, interpreter.find('-')) + "-*";
  const auto arch = "_" + target.arch + ".whl";
  for (const auto &pattern :
       {tag + (target.musl() ? "musllinux" : "manylinux") + "*" + arch, tag + arch}) {
    auto names = files::glob(directory, pattern);
    if (!names.empty()) {
      return directory + "/" + names.front();
    }
  }
  return find_wheel(directory, target.arch);
}

} // namespace tarvo::artifacts
