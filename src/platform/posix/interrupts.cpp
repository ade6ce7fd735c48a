// Holding interrupts on a POSIX host: every signal that ends a program and
// may be caught is held, but those that a fault of the program raises,
// which cannot wait. Most runs replace a name or two, and for those a hold
// blocks the signals and unblocks them: two system calls each time, and a
// signal that came meanwhile takes effect as it unblocks. A run that goes
// on replacing names sets a handler instead, once for every signal (two
// calls each), after which a hold costs nothing: the handler keeps a
// signal that comes while they are held and gives it the action it had
// before when they are let go; one that comes at any other time has that
// action at once. Either way a signal the program was started ignoring
// stays ignored. SIGKILL cannot be held, and the signals that stop a
// program only pause it.
#include <algorithm>
#include <atomic>
#include <csignal>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr int SIGNALS = 129;  // more than any host numbers
// Holds by blocking before the handler is set: about what setting it
// costs, at two calls a hold.
constexpr int BLOCKED_HOLDS = 48;

struct sigaction before_handler[SIGNALS];     // each signal's action before the handler was set
volatile std::sig_atomic_t handled[SIGNALS];  // whether the handler is set for it
volatile std::sig_atomic_t all_handled = 0;   // for every signal that is held
volatile std::sig_atomic_t holding = 0;
volatile std::sig_atomic_t kept = 0;  // the first that came while held

int holds = 0;              // holds so far in this run
bool hold_blocked = false;  // whether the hold now under way blocks
sigset_t mask_before;       // the mask that such a hold puts back

// The host's last signal number; where its headers tell none at the
// POSIX level asked for, every number this table holds (sigaction and
// sigaddset refuse those the host lacks).
int last_signal() {
#if defined(SIGRTMAX)
    return std::min<int>(SIGRTMAX, SIGNALS - 1);
#elif defined(NSIG)
    return std::min<int>(NSIG - 1, SIGNALS - 1);
#else
    return SIGNALS - 1;
#endif
}

// Whether a signal ends the program by default and may wait: not the
// faults, nor the signals that stop, continue or tell of a change.
bool is_held(int signal) {
    switch (signal) {
        case SIGILL:
        case SIGTRAP:
        case SIGABRT:
        case SIGBUS:
        case SIGFPE:
        case SIGSEGV:
        case SIGSYS:
        case SIGKILL:
        case SIGSTOP:
        case SIGTSTP:
        case SIGTTIN:
        case SIGTTOU:
        case SIGCONT:
        case SIGCHLD:
        case SIGURG:
        case SIGWINCH: return false;
        default: return true;
    }
}

const sigset_t& held_signals() {
    static const sigset_t set = [] {
        sigset_t signals;
        sigemptyset(&signals);
        for (int signal = 1; signal <= last_signal(); ++signal)
            if (is_held(signal)) sigaddset(&signals, signal);
        return signals;
    }();
    return set;
}

// Gives SIGNAL the action it had before the handler was set. The handler
// is set again at the next hold.
void take_effect(int signal) {
    handled[signal] = 0;
    all_handled = 0;
    sigaction(signal, &before_handler[signal], nullptr);
    // Within the handler the signal waits until the handler returns, then
    // has that action; elsewhere it has it at once.
    std::raise(signal);
}

void keep_or_take_effect(int signal) {
    if (holding != 0) {
        if (kept == 0) kept = signal;
        return;
    }
    take_effect(signal);
}

void set_handlers() {
    // A signal that takes effect meanwhile asks for this again.
    all_handled = 1;
    struct sigaction handler {};
    handler.sa_handler = keep_or_take_effect;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    for (int signal = 1; signal <= last_signal(); ++signal) {
        if (handled[signal] != 0 || !is_held(signal)) continue;
        // Signals reserved by the C library are refused here.
        if (sigaction(signal, nullptr, &before_handler[signal]) != 0 || before_handler[signal].sa_handler == SIG_IGN)
            continue;
        if (sigaction(signal, &handler, nullptr) == 0) handled[signal] = 1;
    }
}

}  // namespace

void hold_interrupts() {
    hold_blocked = ++holds <= BLOCKED_HOLDS;
    if (hold_blocked) {
        sigprocmask(SIG_BLOCK, &held_signals(), &mask_before);
        return;
    }
    if (all_handled == 0) set_handlers();
    holding = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void release_interrupts() {
    if (hold_blocked) {
        // What came meanwhile takes effect here.
        hold_blocked = false;
        sigprocmask(SIG_SETMASK, &mask_before, nullptr);
        return;
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    holding = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    int signal = kept;
    if (signal == 0) return;
    kept = 0;
    take_effect(signal);
}

}  // namespace platform
