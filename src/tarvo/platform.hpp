// Which system calls tarvo uses. On Linux it takes the kernel's own where they do better
// (pidfds, the parent-death signal, a subreaper, larger pipes); elsewhere, and in the portable
// build (cmake -DTARVO_PORTABLE=ON, which runs the POSIX ways on Linux so that they are tested
// here), it keeps to POSIX. Each choice lives in one small function of the module that owns it.
#pragma once

#if defined(__linux__) && !defined(TARVO_PORTABLE)
#define TARVO_LINUX 1
#else
#define TARVO_LINUX 0
#endif
