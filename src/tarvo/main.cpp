// Program entry: runs the command line and turns an escaped error into its report and
// status 1, and an interrupt into 128 + the signal number.
#include "tarvo/cli/cli.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

// The last line on standard error. Plain stdio, which never throws: this runs inside a
// handler, where a failing write must not end the process any other way.
void report(std::string_view kind, const std::string &message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(kind.size()), kind.data(), message.c_str());
}

} // namespace

int main(int argc, char **argv) {
  int status = 1;
  try {
    status = tarvo::cli::main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const tarvo::ExitStatus &exit) {
    status = exit.code;
  } catch (const tarvo::process::Interrupted &) {
    // The status is the signal's, set below.
  } catch (const tarvo::Error &e) {
    report(tarvo::name(e.kind()), e.message());
  } catch (const std::filesystem::filesystem_error &e) {
    auto error = tarvo::os_error(e);
    report(tarvo::name(error.kind()), error.message());
  } catch (const std::exception &e) {
    report("RuntimeError", e.what());
  }
  // Whatever was under way when a signal came, the command ends as interrupted.
  if (int signal = tarvo::process::interrupt_signal()) {
    status = 128 + signal;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}
