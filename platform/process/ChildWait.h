#pragma once
// Collecting a child's end. A signal that lands while we wait must not pass
// for a lost child, so every caller retries the same way.
#include <sys/types.h>

namespace sorvane::ChildWait {

// waitpid(2), called again for as long as a signal interrupts it: the pid,
// 0 (WNOHANG, still running) or -1 with errno, never EINTR.
pid_t waitpid(pid_t pid, int* status, int options);

}  // namespace sorvane::ChildWait
