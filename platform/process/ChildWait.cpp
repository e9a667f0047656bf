#include "platform/process/ChildWait.h"

#include <sys/wait.h>

#include <cerrno>

namespace sorvane::ChildWait {

pid_t waitpid(pid_t pid, int* status, int options) {
    for (;;) {
        const pid_t result = ::waitpid(pid, status, options);
        if (result >= 0 || errno != EINTR) return result;
    }
}

}  // namespace sorvane::ChildWait
