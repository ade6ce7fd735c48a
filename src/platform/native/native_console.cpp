// platform.h comes before <windows.h>, whose macros would rewrite its constants.
#include "platform/platform.h"
#include "platform/native/native_console.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace platform {

namespace {

UINT console_code_page = 0;
std::atomic<bool> held{false};
std::atomic<bool> interrupted{false};

void restore_code_page() {
    if (console_code_page != 0) ::SetConsoleOutputCP(console_code_page);
}

// Runs on a thread of its own when the user presses Ctrl-C or Ctrl-Break,
// or the console closes. While interrupts are held the event is kept for
// later; a closing console ends the process as soon as this returns, so
// then it waits (within the few seconds Windows allows) until they are
// let go, looking every few milliseconds: a hold is that short, and the
// holder then asks nothing of Windows. Otherwise the process ends as it
// would by default, with the console's code page as it was.
::BOOL WINAPI on_console_event(::DWORD event) {
    if (held) {
        interrupted = true;
        // Let go meanwhile, without seeing this one: it is not kept then.
        if (held) {
            if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
                for (int waited = 0; held && waited < 4000; waited += 5) ::Sleep(5);
            return TRUE;
        }
    }
    restore_code_page();
    return FALSE;
}

}  // namespace

void prepare_console() {
    // Text is UTF-8 bytes; a console shows them as typed only in its UTF-8
    // code page. A pipe or a file takes the bytes as they are.
    UINT current = ::GetConsoleOutputCP();
    if (current != 0 && current != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        console_code_page = current;
        std::atexit(restore_code_page);
    }
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

void hold_interrupts() { held = true; }

void release_interrupts() {
    held = false;
    if (!interrupted) return;
    // What the system's own handler would have done at the interrupt.
    restore_code_page();
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace platform
