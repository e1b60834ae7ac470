// Files taken out of a tar stream (what `docker cp CONTAINER:FOLDER -` writes) by tarvo itself:
// only regular files directly below the stream's top folder, only those asked for, each written
// anew into a folder held by descriptor. Nothing of the stream's owners, modes, links or paths
// reaches the disk: a setuid program becomes a plain file of ours, a link or a name with a
// folder in it is left out, and runs of zeros become holes again.
#pragma once

#include "tarvo/files/folder.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::files {

// Reads up to `size` bytes into `buffer`; 0 at the end of the stream.
using ReadSome = std::function<std::size_t(char *buffer, std::size_t size)>;

struct Unpacked {
  // The files written into the folder, in the stream's order.
  std::vector<std::string> taken;
  // Every other entry below the top folder, named as the stream names it (relative to it).
  std::vector<std::string> left_out;
};

// Reads a tar stream (ustar, with pax and GNU long names) to its end and writes each regular
// file directly below its top folder whose name `wanted` accepts into `into`, as a file that did
// not exist there (rw for its owner, and executable when it was), with holes where it has runs
// of zeros. A stream that is not a tar archive or ends early is a RuntimeError naming `what`.
Unpacked unpack_files(const ReadSome &read, const Folder &into,
                      const std::function<bool(std::string_view)> &wanted, std::string_view what);

} // namespace tarvo::files
