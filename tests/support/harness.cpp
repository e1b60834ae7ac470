#include "harness.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tarvo::testing {

TempDir::TempDir() {
  std::string templ = (fs::temp_directory_path() / "tarvo-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path = fs::canonical(templ);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them writable so they can go.
  for (auto it = fs::recursive_directory_iterator(path, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink() && it->is_directory()) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(path, ec);
}

void write_file(const fs::path &path, const std::string &content) {
  if (path.has_parent_path()) {
    fs::create_directories(path.parent_path());
  }
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::string read_file(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + path.string());
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

fs::path tarvo_binary() { return TARVO_BINARY; }
fs::path stubs_dir() { return fs::path(TARVO_SOURCE_DIR) / "tests" / "stubs"; }
fs::path source_dir() { return TARVO_SOURCE_DIR; }

std::string path_with(const fs::path &dir) {
  const char *path = std::getenv("PATH");
  return dir.string() + ":" + (path ? path : "/usr/bin:/bin");
}

namespace {

std::vector<std::string> child_environment(const RunOptions &options) {
  std::map<std::string, std::string> env;
  for (char **e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    auto eq = entry.find('=');
    if (eq != std::string::npos) {
      env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
  }
  for (const auto &[name, value] : options.env) {
    if (value) {
      env[name] = *value;
    } else {
      env.erase(name);
    }
  }
  std::vector<std::string> out;
  for (const auto &[name, value] : env) {
    out.push_back(name + "=" + value);
  }
  return out;
}

// Runs in the forked child: never returns.
[[noreturn]] void exec_child(const std::vector<std::string> &argv, const RunOptions &options,
                             const std::vector<std::string> &env) {
  if (chdir(options.cwd.c_str()) != 0) {
    _exit(126);
  }
  std::vector<char *> args;
  for (const auto &a : argv) {
    args.push_back(const_cast<char *>(a.c_str()));
  }
  args.push_back(nullptr);
  std::vector<char *> envp;
  for (const auto &e : env) {
    envp.push_back(const_cast<char *>(e.c_str()));
  }
  envp.push_back(nullptr);
  // Look the program up on the child's own PATH.
  for (const auto &e : env) {
    if (e.rfind("PATH=", 0) == 0) {
      setenv("PATH", e.c_str() + 5, 1);
    }
  }
  signal(SIGPIPE, SIG_DFL);
  execvpe(args[0], args.data(), envp.data());
  _exit(127);
}

int wait_status(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// Reads from every descriptor until each reports end of file (or EIO, for a terminal).
// The input descriptor is closed once all of `input` is written, unless it is also a source.
void drain(std::vector<std::pair<int, std::string *>> sources, int input_fd, std::string input,
           std::vector<Chunk> *chunks, std::chrono::steady_clock::time_point start) {
  bool close_input = input_fd >= 0 && input_fd != sources.front().first;
  if (close_input && input.empty()) {
    close(input_fd);
    input_fd = -1;
  }
  std::size_t written = 0;
  while (!sources.empty() || (input_fd >= 0 && written < input.size())) {
    std::vector<pollfd> fds;
    for (const auto &s : sources) {
      fds.push_back({s.first, POLLIN, 0});
    }
    bool writing = input_fd >= 0 && written < input.size();
    if (writing) {
      fds.push_back({input_fd, POLLOUT, 0});
    }
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::runtime_error("poll failed");
    }
    if (writing && (fds.back().revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(input_fd, input.data() + written, input.size() - written);
      written = n > 0 ? written + n : input.size();
      if (written == input.size() && close_input) {
        close(input_fd);
        input_fd = -1;
      }
    }
    for (std::size_t i = sources.size(); i-- > 0;) {
      if (fds[i].revents == 0) {
        continue;
      }
      char buffer[65536];
      ssize_t n = read(sources[i].first, buffer, sizeof buffer);
      if (n > 0) {
        sources[i].second->append(buffer, n);
        if (chunks != nullptr && i == 0) {
          chunks->push_back({std::chrono::steady_clock::now() - start, std::string(buffer, n)});
        }
      } else if (n == 0 || errno != EINTR) {
        sources.erase(sources.begin() + static_cast<long>(i));
      }
    }
  }
}

} // namespace

Output run(const std::vector<std::string> &argv, const RunOptions &options) {
  auto env = child_environment(options);
  int out_pipe[2], err_pipe[2], in_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0 ||
      pipe2(in_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  pid_t pid = fork();
  if (pid == 0) {
    if (options.input) {
      dup2(in_pipe[0], 0);
    } else {
      int null = open("/dev/null", O_RDONLY);
      dup2(null, 0);
    }
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    exec_child(argv, options, env);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  close(in_pipe[0]);
  if (!options.input) {
    close(in_pipe[1]);
  }
  Output result;
  signal(SIGPIPE, SIG_IGN);
  int input_fd = options.input ? in_pipe[1] : -1;
  drain({{out_pipe[0], &result.out}, {err_pipe[0], &result.err}}, input_fd,
        options.input.value_or(""), nullptr, std::chrono::steady_clock::now());
  close(out_pipe[0]);
  close(err_pipe[0]);
  result.status = wait_status(pid);
  return result;
}

Output run_tarvo(const std::vector<std::string> &args, const RunOptions &options) {
  std::vector<std::string> argv = {tarvo_binary().string()};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, options);
}

PtyOutput run_in_pty(const std::vector<std::string> &argv, const RunOptions &options,
                     bool stderr_on_terminal) {
  auto env = child_environment(options);
  int err_pipe[2];
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  int master = -1;
  winsize size{24, 80, 0, 0};
  auto start = std::chrono::steady_clock::now();
  pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) {
    throw std::runtime_error("forkpty failed");
  }
  if (pid == 0) {
    if (!stderr_on_terminal) {
      dup2(err_pipe[1], 2);
    }
    exec_child(argv, options, env);
  }
  close(err_pipe[1]);
  PtyOutput result;
  drain({{master, &result.screen}, {err_pipe[0], &result.err}}, master, options.input.value_or(""),
        &result.chunks, start);
  close(master);
  close(err_pipe[0]);
  result.status = wait_status(pid);
  return result;
}

} // namespace tarvo::testing
