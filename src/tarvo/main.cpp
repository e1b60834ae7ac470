// Program entry: runs the command line and turns an escaped error into its report and
// status 1.
#include "tarvo/cli/cli.hpp"
#include "tarvo/error.hpp"

#include <cstdio>
#include <fmt/format.h>

int main(int argc, char **argv) {
  int status = 1;
  try {
    status = tarvo::cli::main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const tarvo::ExitStatus &exit) {
    status = exit.code;
  } catch (const tarvo::Error &e) {
    std::fflush(stdout);
    fmt::print(stderr, "{}: {}\n", e.kind(), e.message());
  } catch (const std::filesystem::filesystem_error &e) {
    std::fflush(stdout);
    auto error = tarvo::os_error(e);
    fmt::print(stderr, "{}: {}\n", error.kind(), error.message());
  } catch (const std::exception &e) {
    std::fflush(stdout);
    fmt::print(stderr, "RuntimeError: {}\n", e.what());
  }
  std::fflush(stdout);
  return status;
}
