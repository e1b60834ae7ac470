// Whole files: reading one, creating one atomically without replacing anything, making
// directories, and asking whether an entry exists.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tarvo::files {

// Larger files are refused rather than read: no project file comes near it.
inline constexpr std::size_t MAX_FILE_SIZE = 64 << 20;

// The bytes of a regular file. A directory is an IsADirectoryError; anything else that is not
// a regular file (a FIFO, a device) and a file over MAX_FILE_SIZE are refused before a byte is
// read, so nothing blocks or fills memory. Other failures keep their errno.
std::string read_file(const std::filesystem::path &path);

// Calls `take` with each piece read from `fd` until its end; a failing read is an error naming
// `path`.
void read_chunks(int fd, const std::filesystem::path &path,
                 const std::function<void(std::string_view)> &take);

// Writes all of `content` to `fd`; a failing write is an error naming `path`.
void write_all(int fd, std::string_view content, const std::filesystem::path &path);

// Creates `path` holding `content`: written beside it and moved into place only where nothing
// of that name exists, so the file appears whole or not at all, and an entry that appeared
// meanwhile (a dangling link included) is never replaced but is a FileExistsError.
void create_file(const std::filesystem::path &path, std::string_view content);

// Creates an empty file unless an entry of that name exists.
void create_empty_file(const std::filesystem::path &path);

// Creates the directory and its missing parents; an existing directory is accepted, anything
// else in the way is an error naming it.
void make_directories(const std::filesystem::path &path);

// Fails as make_directories(path) would, but before anything is written: an entry on the way
// that is not a directory (a file, a dangling link) cannot become one.
void check_directories(const std::filesystem::path &path);

// Whether an entry exists at `path`, links followed (a dangling link does not count).
bool exists(const std::filesystem::path &path);

// Where temporary files go: TMPDIR when it is set and not empty, otherwise /tmp.
std::string temporary_folder();

} // namespace tarvo::files
