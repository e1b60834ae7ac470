// Program entry: runs the command line and turns an escaped error into its report and
// status 1, and an interrupt into 128 + the signal number.
#include "tarvo/cli/cli.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/repr.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

namespace {

// The last line on standard error. Plain stdio, which never throws: this runs inside a
// handler, where a failing write must not end the process any other way.
// Messages may carry values read from the project, so control characters in them are shown
// escaped rather than sent to the terminal.
void report(const tarvo::Error &error) {
  auto kind = tarvo::name(error.kind());
  std::fflush(stdout);
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(kind.size()), kind.data(),
               tarvo::printable(error.what()).c_str());
}

} // namespace

int main(int argc, char **argv) {
  // A reader that goes away makes our writes fail with EPIPE instead of killing tarvo in the
  // middle of a command: its children are still waited for, and it ends quietly.
  std::signal(SIGPIPE, SIG_IGN);
  int status = 1;
  std::optional<tarvo::process::Interrupts> interrupts;
  try {
    interrupts.emplace();
    status = tarvo::cli::main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const tarvo::ExitStatus &exit) {
    status = exit.code;
  } catch (const tarvo::process::Interrupted &) {
    // The status is the signal's, set below.
  } catch (const tarvo::Error &e) {
    report(e);
  } catch (const std::filesystem::filesystem_error &e) {
    report(tarvo::os_error(e));
  } catch (const std::exception &e) {
    report(tarvo::Error(tarvo::ErrorKind::RuntimeError, e.what()));
  }
  // Output that was not written is an error, as it is for the core utilities; a reader that
  // closed the pipe chose to stop reading.
  if (auto failure = tarvo::console::finish(); failure && failure->error != EPIPE) {
    if (failure->stream == tarvo::console::Stream::Out) {
      report(tarvo::os_error(failure->error, "<stdout>"));
    }
    status = 1;
  }
  // Whatever was under way when a signal came, the command ends as interrupted.
  if (int signal = tarvo::process::interrupt_signal()) {
    status = 128 + signal;
  }
  return status;
}
