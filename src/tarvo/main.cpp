// Program entry: runs the command line and turns an escaped error into its report and
// status 1.
#include "tarvo/cli/cli.hpp"
#include "tarvo/error.hpp"

#include <cstdio>
#include <string>

namespace {

// The last line on standard error. Plain stdio, which never throws: this runs inside a
// handler, where a failing write must not end the process any other way.
void report(const std::string &kind, const std::string &message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", kind.c_str(), message.c_str());
}

} // namespace

int main(int argc, char **argv) {
  int status = 1;
  try {
    status = tarvo::cli::main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const tarvo::ExitStatus &exit) {
    status = exit.code;
  } catch (const tarvo::Error &e) {
    report(e.kind(), e.message());
  } catch (const std::filesystem::filesystem_error &e) {
    auto error = tarvo::os_error(e);
    report(error.kind(), error.message());
  } catch (const std::exception &e) {
    report("RuntimeError", e.what());
  }
  std::fflush(stdout);
  return status;
}
