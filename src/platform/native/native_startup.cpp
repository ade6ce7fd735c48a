// The native Windows program's entry: Windows hands over the command line
// in UTF-16, and quelk speaks UTF-8 from there on.
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <new>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/native/native_console.h"
#include "text/utf16.h"

// Operands reach quelk as typed: the C runtime must not expand wildcards.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t** wargv) {
    // Output is bytes, as in a POSIX shell: no CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    platform::prepare_console();

    // Every argument in one buffer, laid out once: a run over many operands
    // costs no allocation per operand.
    std::string arguments;
    std::vector<char*> argv;
    try {
        std::size_t size = 0;
        for (int i = 0; i < argc; ++i) size += 3 * std::char_traits<wchar_t>::length(wargv[i]) + 1;
        // At most three bytes for a unit: the buffer never moves.
        arguments.reserve(size);
        argv.reserve(argc + 1);
        // An argument without a UTF-8 form (an unpaired surrogate) is refused
        // later, where it would name a file.
        for (int i = 0; i < argc; ++i) {
            argv.push_back(arguments.data() + arguments.size());
            text::append_utf8(arguments, reinterpret_cast<const char16_t*>(wargv[i]));
            arguments.push_back('\0');
        }
        argv.push_back(nullptr);
    } catch (const std::bad_alloc&) {
        std::fputs("quelk: Cannot allocate memory\n", stderr);
        return 1;
    }
    return finish_output(run_command_line(argc, argv.data()));
}
