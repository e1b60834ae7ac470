// Copies of entries and trees that never follow a link: what copy mode hands a container.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::files {

// Puts the entry at `from` at `to`, where nothing is: a folder is made (with its mode, and
// writable for us, to be filled), a link is copied as a link, a regular file is hard-linked
// where the file system allows and copied otherwise; sockets, devices and FIFOs are left out,
// and an entry gone meanwhile is passed over. Any other failure is an error naming the entry.
void copy_entry(const std::filesystem::path &from, const std::filesystem::path &to);

// Copies the tree below the folder `from` into the folder `to`, but for the top-level names in
// `skip` and the entries that `to` has already (a folder there gets what it lacks).
void copy_tree(const std::filesystem::path &from, const std::filesystem::path &to,
               const std::vector<std::string> &skip = {});

} // namespace tarvo::files
