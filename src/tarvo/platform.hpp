// Which system calls tarvo is built on, decided here once. Linux has calls of its own that tarvo
// prefers where they exist (getdents64, renameat2, getrandom, pidfds, a subreaper, the
// parent-death signal, larger pipes); elsewhere, and on Linux in the portable build (cmake
// -DTARVO_PORTABLE=ON, so that those ways are tested on Linux too), the POSIX calls serve, with
// the few that macOS and the BSDs add where POSIX has none. Each choice is one small function in
// the module that owns it, and only those functions test these macros; README.md lists them under
// "Platforms".
#pragma once

// Linux's own calls.
#if defined(__linux__) && !defined(TARVO_PORTABLE)
#define TARVO_LINUX_CALLS 1
#else
#define TARVO_LINUX_CALLS 0
#endif

// /proc tells of other processes (their parents, commands, descriptors and locks): Linux, the
// portable build included, since reading it is no system call of Linux's own.
#if defined(__linux__)
#define TARVO_PROC_FS 1
#else
#define TARVO_PROC_FS 0
#endif

// macOS's additions to POSIX (renamex_np, _NSGetExecutablePath, ...).
#if defined(__APPLE__)
#define TARVO_MACOS 1
#else
#define TARVO_MACOS 0
#endif

// The BSDs' additions to POSIX (sysctl's KERN_PROC_PATHNAME, ...).
#if defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__) || defined(__DragonFly__)
#define TARVO_BSD 1
#else
#define TARVO_BSD 0
#endif

// FreeBSD alone, where the BSDs differ (its kinfo_proc, procctl).
#if defined(__FreeBSD__)
#define TARVO_FREEBSD 1
#else
#define TARVO_FREEBSD 0
#endif
