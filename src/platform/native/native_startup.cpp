// Start-up settings of the native Windows program, made before main runs.
#include <cstdio>
#include <fcntl.h>
#include <io.h>

// Operands reach quelk as typed: the C runtime must not expand wildcards.
extern "C" {
int _dowildcard = 0;
}

namespace {

// Output is bytes, as in a POSIX shell: no CR added before each LF.
struct binary_output {
    binary_output() {
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
    }
} binary_output_at_startup;

}  // namespace
