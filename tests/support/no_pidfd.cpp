// Preloaded into a program, makes pidfd_open fail as it does on kernels before 5.3 (ENOSYS) or
// under a seccomp profile that refuses it (EPERM, when NO_PIDFD_ERRNO=EPERM). Every other
// system call goes through unchanged.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/syscall.h>

extern "C" long syscall(long number, ...) {
  va_list args;
  va_start(args, number);
  long a[6];
  for (long &arg : a) {
    arg = va_arg(args, long);
  }
  va_end(args);
  if (number == SYS_pidfd_open) {
    const char *wanted = std::getenv("NO_PIDFD_ERRNO");
    errno = wanted != nullptr && std::strcmp(wanted, "EPERM") == 0 ? EPERM : ENOSYS;
    return -1;
  }
  using Syscall = long (*)(long, ...);
  static auto real = reinterpret_cast<Syscall>(dlsym(RTLD_NEXT, "syscall"));
  return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
