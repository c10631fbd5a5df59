// Loaded into the arm64 test programs when they run under qemu-user (see tests/CMakeLists.txt).
//
// Qt's QProcess starts a child with clone(CLONE_PIDFD) once waitid(P_PIDFD, …) shows that the
// kernel has pidfds. qemu-user 7.2 passes that probe through to the host kernel, which answers
// yes, but refuses CLONE_PIDFD in clone itself, so without this every QProcess (the process
// tests, --on-event, the private D-Bus session) fails to start. Failing the probe as an old kernel
// would makes Qt fall back to fork(), which qemu emulates.
#include <sys/syscall.h>
#include <sys/wait.h>

#include <dlfcn.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace {

using SyscallFunction = long (*)(long, ...);

// The preload is for this process only: programs it starts are either arm64 ones, which get it
// again through the emulator's command line, or host programs, whose loader cannot load it.
__attribute__((constructor)) void forgetThePreload() { unsetenv("LD_PRELOAD"); }

}  // namespace

extern "C" long syscall(long number, ...) {
    va_list list;
    va_start(list, number);
    long arguments[6];
    for (long &argument : arguments) {
        argument = va_arg(list, long);
    }
    va_end(list);
    if (number == SYS_waitid && arguments[0] == P_PIDFD) {
        errno = EINVAL;
        return -1;
    }
    static const auto next = reinterpret_cast<SyscallFunction>(dlsym(RTLD_NEXT, "syscall"));
    return next(number, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4],
                arguments[5]);
}
