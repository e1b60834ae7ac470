#include "tarvo/files/unpack.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <fmt/format.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::files {

namespace {

constexpr std::size_t BLOCK = 512;
// Runs of zeros this long, at this alignment, are left as holes.
constexpr std::size_t HOLE = 4096;

using Block = std::array<char, BLOCK>;

class Stream {
public:
  Stream(const ReadSome &read, std::string_view what) : read_(read), what_(what) {}

  // Fills `buffer` whole; false at a clean end before its first byte.
  bool fill(char *buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
      auto n = read_(buffer + got, size - got);
      if (n == 0) {
        if (got == 0) {
          return false;
        }
        broken("it ends in the middle of an entry");
      }
      got += n;
    }
    return true;
  }

  void fill_or_fail(char *buffer, std::size_t size) {
    if (!fill(buffer, size)) {
      broken("it ends in the middle of an entry");
    }
  }

  // Passes `size` bytes to `take` in pieces, and reads the padding after them.
  void data(std::uint64_t size, const std::function<void(std::string_view)> &take) {
    std::uint64_t left = size;
    for (std::uint64_t padded = (size + BLOCK - 1) / BLOCK * BLOCK; padded > 0;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(padded, buffer_.size()));
      fill_or_fail(buffer_.data(), n);
      const auto useful = static_cast<std::size_t>(std::min<std::uint64_t>(n, left));
      if (useful > 0) {
        take({buffer_.data(), useful});
      }
      left -= useful;
      padded -= n;
    }
  }

  // Reads what follows the archive's end, so that the writer is never stopped by a full pipe.
  void drain() {
    while (read_(buffer_.data(), buffer_.size()) != 0) {
    }
  }

  [[noreturn]] void broken(std::string_view why) const {
    throw Error(ErrorKind::RuntimeError,
                fmt::format("{} is not a whole tar archive: {}", what_, why));
  }

private:
  const ReadSome &read_;
  std::string_view what_;
  std::array<char, 64 * BLOCK> buffer_{};
};

std::string field(const Block &header, std::size_t at, std::size_t size) {
  const char *start = header.data() + at;
  return std::string(start, std::find(start, start + size, '\0'));
}

// A numeric field: octal digits, or base 256 when its first byte has the high bit.
std::optional<std::uint64_t> number(const Block &header, std::size_t at, std::size_t size) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(header.data() + at);
  std::uint64_t value = 0;
  if ((bytes[0] & 0x80) != 0) {
    for (std::size_t i = 1; i < size; ++i) {
      if (value >> 55 != 0) {
        return std::nullopt;
      }
      value = (value << 8) | bytes[i];
    }
    return value;
  }
  std::size_t i = 0;
  while (i < size && bytes[i] == ' ') {
    ++i;
  }
  bool digits = false;
  for (; i < size && bytes[i] >= '0' && bytes[i] <= '7'; ++i) {
    if (value >> 60 != 0) {
      return std::nullopt;
    }
    value = value * 8 + (bytes[i] - '0');
    digits = true;
  }
  for (; i < size; ++i) {
    if (bytes[i] != ' ' && bytes[i] != '\0') {
      return std::nullopt;
    }
  }
  return digits ? std::optional(value) : std::nullopt;
}

bool checksum_matches(const Block &header) {
  auto stored = number(header, 148, 8);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < BLOCK; ++i) {
    sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(header[i]);
  }
  return stored && *stored == sum;
}

// The pax records that tarvo reads ("path", "size") from an extended header's text.
void read_pax(std::string_view text, std::optional<std::string> &path,
              std::optional<std::uint64_t> &size, const Stream &stream) {
  while (!text.empty()) {
    const auto space = text.find(' ');
    std::size_t length = 0;
    for (std::size_t i = 0; i < space && i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9' || length > text.size()) {
        stream.broken("a pax record has no length");
      }
      length = length * 10 + static_cast<std::size_t>(text[i] - '0');
    }
    if (space == std::string_view::npos || length <= space + 1 || length > text.size() ||
        text[length - 1] != '\n') {
      stream.broken("a pax record is malformed");
    }
    const auto record = text.substr(space + 1, length - space - 2);
    const auto equals = record.find('=');
    if (equals != std::string_view::npos) {
      const auto key = record.substr(0, equals);
      const auto value = record.substr(equals + 1);
      if (key == "path") {
        path = std::string(value);
      } else if (key == "size") {
        std::uint64_t n = 0;
        for (char c : value) {
          if (c < '0' || c > '9' || n >> 59 != 0) {
            stream.broken("a pax size is not a number");
          }
          n = n * 10 + static_cast<std::uint64_t>(c - '0');
        }
        size = n;
      }
    }
    text.remove_prefix(length);
  }
}

// Writes a file's data, leaving aligned runs of zeros as holes; the size is set at the end.
class SparseWriter {
public:
  SparseWriter(int fd, std::string shown) : fd_(fd), shown_(std::move(shown)) {}

  void write(std::string_view data) {
    while (!data.empty()) {
      const auto in_block = static_cast<std::size_t>(at_ % HOLE);
      const auto n = std::min(data.size(), HOLE - in_block);
      const auto piece = data.substr(0, n);
      const bool zeros = in_block == 0 && n == HOLE &&
                         std::all_of(piece.begin(), piece.end(), [](char c) { return c == '\0'; });
      if (zeros) {
        at_ += n;
      } else {
        for (std::size_t done = 0; done < n;) {
          auto w = ::pwrite(fd_, piece.data() + done, n - done, static_cast<off_t>(at_ + done));
          if (w < 0 && errno == EINTR) {
            continue;
          }
          if (w <= 0) {
            throw os_error(w < 0 ? errno : EIO, shown_);
          }
          done += static_cast<std::size_t>(w);
        }
        at_ += n;
      }
      data.remove_prefix(n);
    }
  }

  void finish() {
    if (::ftruncate(fd_, static_cast<off_t>(at_)) != 0) {
      throw os_error(errno, shown_);
    }
  }

private:
  int fd_;
  std::string shown_;
  std::uint64_t at_ = 0;
};

} // namespace

Unpacked unpack_files(const ReadSome &read, const Folder &into,
                      const std::function<bool(std::string_view)> &wanted, std::string_view what) {
  Stream stream(read, what);
  Unpacked out;
  std::optional<std::string> long_path;
  std::optional<std::uint64_t> long_size;
  Block header{};
  while (stream.fill(header.data(), BLOCK)) {
    if (std::all_of(header.begin(), header.end(), [](char c) { return c == '\0'; })) {
      break;
    }
    if (!checksum_matches(header)) {
      stream.broken("a header's checksum does not match");
    }
    const char type = header[156];
    auto size = number(header, 124, 12);
    if (!size) {
      stream.broken("a header's size is not a number");
    }
    if (type == 'x' || type == 'g' || type == 'L' || type == 'K') {
      if (*size > (1u << 20)) {
        stream.broken("an extended header is larger than 1 MiB");
      }
      std::string text;
      stream.data(*size, [&](std::string_view piece) { text += piece; });
      if (type == 'x') {
        read_pax(text, long_path, long_size, stream);
      } else if (type == 'L') {
        long_path = text.substr(0, text.find('\0'));
      }
      continue;
    }
    std::string path = long_path ? *long_path : field(header, 0, 100);
    if (!long_path && field(header, 257, 6) == "ustar") {
      if (auto prefix = field(header, 345, 155); !prefix.empty()) {
        path = prefix + "/" + path;
      }
    }
    const std::uint64_t length = long_size.value_or(*size);
    long_path.reset();
    long_size.reset();
    // Directories and links carry no data whatever their size field says.
    const bool regular = type == '0' || type == '\0';
    const std::uint64_t data = (regular || type == '7') ? length : 0;

    // The top folder ("./" or "out/") itself, then what lies directly below it.
    auto slash = path.find('/');
    std::string name = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    if (!name.empty() && name.back() == '/') {
      name.pop_back();
    }
    if (slash == std::string::npos || (name.empty() && type == '5')) {
      if (type != '5') {
        out.left_out.push_back(path);
      }
      stream.data(data, [](std::string_view) {});
      continue;
    }
    if (!regular || name.empty() || name.find('/') != std::string::npos || name == "." ||
        name == ".." || !wanted(name)) {
      out.left_out.push_back(name.empty() ? path : name);
      stream.data(data, [](std::string_view) {});
      continue;
    }
    const auto shown = (into.path() / name).string();
    const auto mode = (number(header, 100, 8).value_or(0) & 0111) != 0 ? 0777 : 0666;
    Fd file(::openat(into.fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     mode));
    if (!file) {
      throw os_error(errno, shown);
    }
    SparseWriter writer(file.get(), shown);
    stream.data(data, [&](std::string_view piece) { writer.write(piece); });
    writer.finish();
    out.taken.push_back(name);
  }
  stream.drain();
  return out;
}

} // namespace tarvo::files
