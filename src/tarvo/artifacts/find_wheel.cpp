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

} // namespace tarvo::artifacts
