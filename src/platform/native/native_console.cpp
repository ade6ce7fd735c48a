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
std::atomic<DWORD> held_event{~DWORD(0)};

void restore_code_page() {
    if (console_code_page != 0) ::SetConsoleOutputCP(console_code_page);
}

// Runs on a thread of its own when the user presses Ctrl-C or closes the
// console. While interrupts are held the event waits; otherwise the
// process ends as it would by default, with the console as it was.
::BOOL WINAPI on_console_event(::DWORD event) {
    if (held) {
        held_event = event;
        return TRUE;
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
    DWORD event = held_event.exchange(~DWORD(0));
    if (event == ~DWORD(0)) return;
    // What the system's own handler would have done then.
    restore_code_page();
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace platform
