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

// Operands reach quelk as typed: the C runtime must not expand wildcards.
extern "C" {
int _dowildcard = 0;
}

namespace {

// UTF-8 of an argument. An unpaired surrogate, which has no UTF-8 form, is
// kept in the same three-byte shape: no longer valid UTF-8, so that it is
// refused where it would name a file instead of naming another one.
std::string to_utf8(const wchar_t* argument) {
    std::string bytes;
    for (const wchar_t* p = argument; *p; ++p) {
        char32_t c = static_cast<char16_t>(*p);
        if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(p[1]) - 0xDC00);
            ++p;
        }
        if (c < 0x80) {
            bytes.push_back(char(c));
        } else if (c < 0x800) {
            bytes.push_back(char(0xC0 | (c >> 6)));
            bytes.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            bytes.push_back(char(0xE0 | (c >> 12)));
            bytes.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(char(0x80 | (c & 0x3F)));
        } else {
            bytes.push_back(char(0xF0 | (c >> 18)));
            bytes.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            bytes.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** wargv) {
    // Output is bytes, as in a POSIX shell: no CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    platform::prepare_console();

    std::vector<std::string> arguments;
    std::vector<char*> argv;
    try {
        for (int i = 0; i < argc; ++i) arguments.push_back(to_utf8(wargv[i]));
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
    } catch (const std::bad_alloc&) {
        std::fputs("quelk: Cannot allocate memory\n", stderr);
        return 1;
    }
    return finish_output(run_command_line(argc, argv.data()));
}
