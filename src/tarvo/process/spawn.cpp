#include "tarvo/process/spawn.hpp"

#include "tarvo/error.hpp"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char **environ;

namespace tarvo::process {

namespace {

// A large pipe lets a fast writer hand over more per wake-up (the default is 64 KiB).
constexpr int PIPE_SIZE = 1 << 20;

void check_spawn_call(int rc) {
  if (rc != 0) {
    throw os_error(rc);
  }
}

struct SpawnActions {
  posix_spawn_file_actions_t value;
  SpawnActions() { check_spawn_call(posix_spawn_file_actions_init(&value)); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&value); }
  SpawnActions(const SpawnActions &) = delete;
  SpawnActions &operator=(const SpawnActions &) = delete;
};

// The child starts with the default disposition for the signals we may ignore for our own
// writes and with no signal blocked, as a program started from a shell does.
struct SpawnAttributes {
  posix_spawnattr_t value;
  explicit SpawnAttributes(bool own_group) {
    check_spawn_call(posix_spawnattr_init(&value));
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&value, &defaults);
    posix_spawnattr_setsigmask(&value, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (own_group) {
      // Group 0: a new group whose id is the child's own.
      posix_spawnattr_setpgroup(&value, 0);
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&value, flags);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&value); }
  SpawnAttributes(const SpawnAttributes &) = delete;
  SpawnAttributes &operator=(const SpawnAttributes &) = delete;
};

// Directs the child's stream `target`; returns the reading end of its pipe when captured. The
// writing end is kept in `write_end` until the child has started.
Fd direct_stream(SpawnActions &actions, int target, Redirect mode, Fd &write_end) {
  if (mode == Redirect::Discard) {
    check_spawn_call(
        posix_spawn_file_actions_addopen(&actions.value, target, "/dev/null", O_WRONLY, 0));
  }
  if (mode != Redirect::Capture) {
    return Fd();
  }
  // Close-on-exec, so that children started by other threads meanwhile never hold our pipe
  // open; the copy made for this child loses the flag. Only our end does not block.
  auto pipe = make_pipe(O_CLOEXEC);
  Fd read_end = std::move(pipe.read);
  write_end = std::move(pipe.write);
  fcntl(read_end.get(), F_SETFL, O_NONBLOCK);
  fcntl(read_end.get(), F_SETPIPE_SZ, PIPE_SIZE);
  check_spawn_call(posix_spawn_file_actions_adddup2(&actions.value, write_end.get(), target));
  return read_end;
}

// posix_spawn takes non-const pointers for historical reasons but never writes through them.
std::vector<char *> pointers(const std::vector<std::string> &items) {
  std::vector<char *> out;
  out.reserve(items.size() + 1);
  for (const auto &item : items) {
    out.push_back(const_cast<char *>(item.c_str()));
  }
  out.push_back(nullptr);
  return out;
}

} // namespace

Spawned spawn(const std::vector<std::string> &args, const ProcessOptions &options, bool own_group) {
  SpawnActions actions;
  SpawnAttributes attributes(own_group);
  Spawned child;
  Fd out_write, err_write;
  child.out = direct_stream(actions, STDOUT_FILENO, options.stdout_mode, out_write);
  child.err = direct_stream(actions, STDERR_FILENO, options.stderr_mode, err_write);

  auto argv = pointers(args);
  std::vector<std::string> env_text;
  if (options.env) {
    env_text.reserve(options.env->size());
    for (const auto &[name, value] : *options.env) {
      env_text.push_back(name + "=" + value);
    }
  }
  auto envp = pointers(env_text);
  auto *envv = options.env ? envp.data() : environ;
  int rc = options.program ? posix_spawn(&child.pid, options.program->c_str(), &actions.value,
                                         &attributes.value, argv.data(), envv)
                           : posix_spawnp(&child.pid, args[0].c_str(), &actions.value,
                                          &attributes.value, argv.data(), envv);
  if (rc != 0) {
    throw os_error(rc, options.program ? options.program->string() : args[0]);
  }
  return child;
}

} // namespace tarvo::process
