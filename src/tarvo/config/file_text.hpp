// Reading a project file whole, with the operating system's error when it cannot be read.
#pragma once

#include <filesystem>
#include <string>

namespace tarvo {

// The file's bytes; a folder is an IsADirectoryError, and other failures keep their errno.
std::string read_file(const std::filesystem::path &path);

} // namespace tarvo
