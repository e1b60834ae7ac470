// The one owner of the terminal: whether a stream is a terminal (asked at every use, since a
// stream may be redirected meanwhile), colour, writing with the streams kept in order, the
// flush before a child writes to them, the spinner's status line and the lint block, and lending
// the terminal to a child that needs it.
#pragma once

#include <array>
#include <fmt/format.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::console {

enum class Stream { In, Out, Err };

// One character and one terminal column each.
inline constexpr std::array<std::string_view, 10> SPINNER_FRAMES = {"⠋", "⠙", "⠹", "⠸", "⠼",
                                                                    "⠴", "⠦", "⠧", "⠇", "⠏"};

bool is_terminal(Stream stream);

// The width of the terminal on standard output; 80 where it does not say.
std::size_t columns();

// How many terminal columns `text` (UTF-8) takes: wide characters two, combining marks none.
std::size_t display_width(std::string_view text);

// The line cut to fewer than `columns` terminal columns, never inside a character: a live block's
// rewind needs each of its lines on one terminal line.
std::string fitted(std::string line, std::size_t columns);

// Whether our process group is the foreground group of the terminal on standard input, output
// or error: a child may then share the terminal with us, and be lent it.
bool terminal_is_ours();

// Colour codes on `stream`: when forced, or when it is a terminal and NO_COLOR is unset or
// empty.
bool colour(Stream stream, bool forced);

// Writes to standard output or error. What the other stream holds is flushed first, so that
// on one terminal the text keeps the order in which it was written.
void write(Stream stream, std::string_view text);

template <typename... T> void out(fmt::format_string<T...> format, T &&...args) {
  write(Stream::Out, fmt::format(format, std::forward<T>(args)...));
}

template <typename... T> void err(fmt::format_string<T...> format, T &&...args) {
  write(Stream::Err, fmt::format(format, std::forward<T>(args)...));
}

// Where progress goes: the "<action>..." lines, the spinner's status line, the notes about
// .venv and the output of a failed step that would go to standard output. That is standard
// output, unless a command keeps standard output for its result alone (status --json).
Stream progress_stream();

// Sends progress to standard error while it exists.
class ProgressOnStderr {
public:
  ProgressOnStderr();
  ~ProgressOnStderr();
  ProgressOnStderr(const ProgressOnStderr &) = delete;
  ProgressOnStderr &operator=(const ProgressOnStderr &) = delete;

private:
  Stream previous_;
};

// Flushes both streams: before a child writes to them, and before the process ends.
void flush();

// A write to standard output or error that failed: the stream and the error number.
struct WriteFailure {
  Stream stream;
  int error;
};

// Flushes both streams, as the process ends, and returns the first write that failed since it
// started, if any.
std::optional<WriteFailure> finish();

// "Error: <message>" as one line on standard error.
void report_error(std::string_view message);

// Writes `prompt` to standard output and returns the line then typed on standard input,
// without its line end; end of input before any character is an EOFError. The wait also
// watches `wake_fd` (unless -1) and calls `check` after every wake, so that a signal, whose
// handler makes a plain read start again, can end the wait by raising.
std::string read_line(std::string_view prompt, int wake_fd = -1, void (*check)() = nullptr);

// The terminal, lent to the process group of a child that stopped to read from it or write to
// it (a password prompt): whatever tarvo shows there is erased first and not drawn while the
// loan lasts, and the terminal comes back when the loan ends. One loan at a time: a second
// waits for the first to end.
class TerminalLoan {
public:
  // None when the terminal is not ours to lend.
  static std::unique_ptr<TerminalLoan> lend(int group);
  ~TerminalLoan();
  TerminalLoan(const TerminalLoan &) = delete;
  TerminalLoan &operator=(const TerminalLoan &) = delete;

private:
  TerminalLoan(int fd, std::unique_lock<std::mutex> turn) : fd_(fd), turn_(std::move(turn)) {}
  int fd_;
  std::unique_lock<std::mutex> turn_;
};

// What tarvo draws on the terminal and erases while it is lent: the spinner's line or the lint
// block, one at a time.
class Display {
public:
  Display();
  virtual ~Display();
  Display(const Display &) = delete;
  Display &operator=(const Display &) = delete;

protected:
  // Whether drawing may go on: false while the terminal is lent. Takes the display's lock,
  // which the caller holds while it draws.
  std::unique_lock<std::mutex> lock_for_drawing(bool &may_draw);
  // No loan erases this display any more; called with the lock held, as it is destroyed.
  void withdraw();

private:
  friend class TerminalLoan;
  // Takes itself off the screen, with the lock held, as the terminal is lent. The borrower may
  // have written to the terminal already (a prompt, just before it stopped to read): that text
  // stays, moved to where the display began, with the cursor after it.
  virtual void step_aside() = 0;
};

// The spinner's one self-overwriting line, "<action>: [frame]", on the progress stream. It is
// blanked when the step ends, however it ends.
class StatusLine final : public Display {
public:
  explicit StatusLine(std::string_view action);
  ~StatusLine() override;

  // Redraws the line with the next frame.
  void advance();
  // Blanks exactly the line's width and returns to its start; once.
  void clear();
  // Leaves the line as it is, for an error to follow it.
  void keep();

private:
  void draw();
  void erase();
  void step_aside() override;

  std::string action_;
  std::size_t frame_ = 0;
  bool shown_ = false; // on screen now
  bool done_ = false;  // cleared or kept: never drawn again
};

// The live block of the lint display: one line per check, redrawn in place. Each drawing is
// followed by rewind(), which leaves the cursor at the start of the block's first line for the
// next drawing or for the final report to overwrite. Left any other way (an interrupt, an
// error), the block is erased.
class LiveBlock final : public Display {
public:
  LiveBlock() = default;
  ~LiveBlock() override;

  void draw(const std::vector<std::string> &lines);
  void rewind();
  // The final report follows and overwrites what is left.
  void finish();

private:
  void erase();
  void step_aside() override;

  std::size_t lines_ = 0; // lines on screen from the last drawing
  bool rewound_ = false;
};

} // namespace tarvo::console
