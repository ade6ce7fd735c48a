// Holding interrupts on a POSIX host: the signals that end a program at a
// user's word are blocked, and one that came meanwhile is delivered when
// they are let go.
#include <csignal>

#include "platform/platform.h"

namespace platform {

namespace {

sigset_t previous;

sigset_t interrupts() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set, signal);
    return set;
}

}  // namespace

void hold_interrupts() {
    sigset_t set = interrupts();
    sigprocmask(SIG_BLOCK, &set, &previous);
}

void release_interrupts() { sigprocmask(SIG_SETMASK, &previous, nullptr); }

}  // namespace platform
