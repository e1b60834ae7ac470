#include "harness.hpp"

#include "container_calls.hpp"

#include "tarvo/platform.hpp"
#include "tarvo/templates/templates.hpp"

#include <algorithm>
#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#if TARVO_MACOS
#include <util.h> // forkpty
#else
#include <pty.h>
#endif
#include <sstream>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
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

ScopedEnv::ScopedEnv(const char *name, const std::optional<std::string> &value) : name(name) {
  if (const char *current = std::getenv(name)) {
    old = current;
  }
  value ? setenv(name, value->c_str(), 1) : unsetenv(name);
}

ScopedEnv::~ScopedEnv() { old ? setenv(name, old->c_str(), 1) : unsetenv(name); }

std::map<std::string, std::string> setuptools_project(const std::string &name) {
  return {
      {"pyproject.toml", fmt::format(R"([build-system]
requires = ["setuptools>=77", "wheel"]
build-backend = "setuptools.build_meta"

[project]
name = "{0}"
version = "1.0"
requires-python = ">=3.11"
license = "MIT"

[project.optional-dependencies]
test = ["pytest"]

[tool.setuptools]
packages = ["{0}"]
)",
                                     name)},
      {name + "/__init__.py", "def double(x):\n    return 2 * x\n"},
      {"tests/test_" + name + ".py", fmt::format("from {} import double\n\n\ndef test_double():\n"
                                                 "    assert double(2) == 4\n",
                                                 name)}};
}

std::string tiny_pyproject(bool rated) {
  namespace templates = tarvo::templates;
  auto text = templates::render(templates::text("pyproject.toml.tpl"),
                                {{"name", "tiny"},
                                 {"description", "A tiny package that doubles numbers."},
                                 {"author_name", "Ada Lovelace"},
                                 {"author_email", "ada@example.org"},
                                 {"license_spdx", "MIT"},
                                 {"python_version", ">=3.11"}},
                                templates::Quoting::TomlBasic);
  auto cut = [&](const char *from, const char *to) {
    auto at = text.find(from);
    text.erase(at, text.find(to) - at);
  };
  if (!rated) {
    cut("readme = ", "requires-python = ");
    cut("keywords = ", "dependencies = ");
    cut("[project.urls]", "[project.optional-dependencies]");
  }
  return text + "\n[tool.ruff.lint]\nselect = [\"E4\", \"E7\", \"E9\", \"F\", \"BLE\"]\n";
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

void write_script(const fs::path &path, const std::string &body) {
  write_file(path, "#!/bin/sh\n" + body + "\n");
  fs::permissions(path, fs::perms::owner_all);
}

std::vector<std::string> split(const std::string &text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::vector<std::string> names_in(const fs::path &dir) {
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> take_lines(const fs::path &path) {
  if (!fs::exists(path)) {
    return {};
  }
  auto lines = split(read_file(path), '\n');
  lines.pop_back(); // after the last line end
  fs::remove(path);
  return lines;
}

namespace {

// A file with no name, closed on exec: Linux's memfd, elsewhere a temporary file unlinked at once.
int anonymous_file(const char *name) {
#if TARVO_LINUX_CALLS
  return memfd_create(name, MFD_CLOEXEC);
#else
  std::string path = (fs::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
  int fd = mkstemp(path.data());
  if (fd >= 0) {
    unlink(path.c_str());
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  return fd;
#endif
}

// A pipe closed on exec; macOS has no pipe2, and sets the flag after the pipe is made.
int cloexec_pipe(int fds[2]) {
#if TARVO_MACOS
  if (pipe(fds) != 0) {
    return -1;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
  return 0;
#else
  return pipe2(fds, O_CLOEXEC);
#endif
}

} // namespace

std::pair<std::string, std::string> capture_output(const std::function<void()> &body) {
  // Flushes what stdio holds before each switch, so every text lands where it was written.
  struct Redirect {
    int target;
    int saved = dup(target);
    int file = anonymous_file("output");
    explicit Redirect(int fd) : target(fd) {
      std::fflush(nullptr);
      dup2(file, target);
    }
    ~Redirect() {
      std::fflush(nullptr);
      dup2(saved, target);
      close(saved);
      close(file);
    }
    std::string text() const {
      std::fflush(nullptr);
      std::string out;
      char buffer[4096];
      for (ssize_t n;
           (n = pread(file, buffer, sizeof buffer, static_cast<off_t>(out.size()))) > 0;) {
        out.append(buffer, static_cast<std::size_t>(n));
      }
      return out;
    }
  };
  Redirect out(STDOUT_FILENO), err(STDERR_FILENO);
  body();
  return {out.text(), err.text()};
}

fs::path tarvo_binary() { return TARVO_BINARY; }
fs::path source_dir() { return TARVO_SOURCE_DIR; }
fs::path stubs_dir() { return source_dir() / "tests" / "stubs"; }

std::string path_with(const fs::path &dir) {
  const char *path = std::getenv("PATH");
  return dir.string() + ":" + (path ? path : "/usr/bin:/bin");
}

fs::path offline_wheels() {
  fs::path wheels = source_dir() / ".cache" / "wheels";
  return fs::exists(wheels / ".complete") ? wheels : fs::path();
}

std::map<std::string, std::optional<std::string>> offline_pip(const fs::path &wheels) {
  return {{"PIP_NO_INDEX", "1"},
          {"PIP_FIND_LINKS", wheels.string()},
          {"PIP_DISABLE_PIP_VERSION_CHECK", "1"}};
}

namespace {

std::vector<std::string> child_environment(const RunOptions &options) {
  std::map<std::string, std::string> env;
  for (char **e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    auto eq = entry.find('=');
    env[entry.substr(0, eq)] = entry.substr(eq + 1);
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

std::vector<char *> pointers(const std::vector<std::string> &texts) {
  std::vector<char *> out;
  for (const auto &text : texts) {
    out.push_back(const_cast<char *>(text.c_str()));
  }
  out.push_back(nullptr);
  return out;
}

// Runs in the forked child: never returns.
[[noreturn]] void exec_child(const std::vector<std::string> &argv, const RunOptions &options,
                             const std::vector<std::string> &env) {
  if (chdir(options.cwd.c_str()) != 0) {
    _exit(126);
  }
  // Look the program up on the child's own PATH.
  auto path = options.env.find("PATH");
  if (path != options.env.end() && path->second) {
    setenv("PATH", path->second->c_str(), 1);
  }
#if TARVO_MACOS
  // No execvpe: the child's environment becomes this (forked) process's own, and execvp takes it.
  auto envp = pointers(env);
  environ = envp.data();
  execvp(argv[0].c_str(), pointers(argv).data());
#else
  execvpe(argv[0].c_str(), pointers(argv).data(), pointers(env).data());
#endif
  _exit(127);
}

int wait_status(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// Reads every descriptor until each reports end of file (or EIO, for a terminal); the reads
// of the first are timed into `chunks`.
void drain(std::vector<std::pair<int, std::string *>> sources, std::vector<Chunk> &chunks,
           std::chrono::steady_clock::time_point start) {
  while (!sources.empty()) {
    std::vector<pollfd> fds;
    for (const auto &s : sources) {
      fds.push_back({s.first, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
      throw std::runtime_error("poll failed");
    }
    for (std::size_t i = sources.size(); i-- > 0;) {
      if (fds[i].revents == 0) {
        continue;
      }
      char buffer[65536];
      ssize_t n = read(sources[i].first, buffer, sizeof buffer);
      if (n > 0) {
        sources[i].second->append(buffer, n);
        if (i == 0) {
          chunks.push_back({std::chrono::steady_clock::now() - start, std::string(buffer, n)});
        }
      } else if (n == 0 || errno != EINTR) {
        sources.erase(sources.begin() + static_cast<long>(i));
      }
    }
  }
}

// Runs argv with its standard error on a pipe of its own (unless `stderr_on_terminal`), and
// its standard input and output on a pseudo-terminal or, without `pty`, on a memory file
// holding the input and a pipe.
PtyOutput launch(const std::vector<std::string> &argv, const RunOptions &options, bool pty,
                 bool stderr_on_terminal) {
  auto env = child_environment(options);
  int out_pipe[2] = {-1, -1}, err_pipe[2];
  if ((!pty && cloexec_pipe(out_pipe) != 0) || cloexec_pipe(err_pipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const std::string input = options.input.value_or("");
  int in = anonymous_file("input");
  if (pwrite(in, input.data(), input.size(), 0) != static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("cannot write the input");
  }
  winsize size{24, 80, 0, 0};
  auto start = std::chrono::steady_clock::now();
  pid_t pid = pty ? forkpty(&out_pipe[0], nullptr, nullptr, &size) : fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    if (!pty) {
      dup2(in, 0);
      dup2(out_pipe[1], 1);
    }
    if (!stderr_on_terminal) {
      dup2(err_pipe[1], 2);
    }
    exec_child(argv, options, env);
  }
  close(in);
  if (!pty) {
    close(out_pipe[1]);
  }
  close(err_pipe[1]);
  // Typed at once: the terminal holds it until the child reads.
  if (pty && write(out_pipe[0], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("cannot type the input");
  }
  std::thread meanwhile;
  if (options.meanwhile) {
    meanwhile = std::thread(options.meanwhile, pid, pty ? out_pipe[0] : -1);
  }
  PtyOutput result;
  drain({{out_pipe[0], &result.screen}, {err_pipe[0], &result.err}}, result.chunks, start);
  if (meanwhile.joinable()) {
    meanwhile.join();
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  result.status = wait_status(pid);
  return result;
}

} // namespace

Output run(const std::vector<std::string> &argv, const RunOptions &options) {
  auto done = launch(argv, options, false, false);
  return {done.status, std::move(done.screen), std::move(done.err)};
}

Output run_tarvo(const std::vector<std::string> &args, const RunOptions &options) {
  std::vector<std::string> argv = {tarvo_binary().string()};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, options);
}

PtyOutput run_in_pty(const std::vector<std::string> &argv, const RunOptions &options,
                     bool stderr_on_terminal) {
  return launch(argv, options, true, stderr_on_terminal);
}

std::string tar_stream(const std::map<std::string, std::string> &files) {
  TempDir folder;
  for (const auto &[name, content] : files) {
    write_file(folder.path / name, content);
  }
  auto done = run({"tar", "-cf", "-", "-C", folder.path.string(), "."});
  if (done.status != 0) {
    throw std::runtime_error("tar failed: " + done.err);
  }
  return done.out;
}

} // namespace tarvo::testing
