// Holding interrupts on a POSIX host: every signal is blocked but those a
// fault of the program raises, which cannot wait; one that came meanwhile
// is delivered when they are let go. SIGKILL and SIGSTOP cannot be held.
#include <csignal>

#include "platform/platform.h"

namespace platform {

namespace {

sigset_t previous;

sigset_t interrupts() {
    sigset_t set;
    sigfillset(&set);
    for (int fault : {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS}) sigdelset(&set, fault);
    return set;
}

}  // namespace

void hold_interrupts() {
    sigset_t set = interrupts();
    sigprocmask(SIG_BLOCK, &set, &previous);
}

void release_interrupts() { sigprocmask(SIG_SETMASK, &previous, nullptr); }

}  // namespace platform
