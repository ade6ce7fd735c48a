#include "cli/symbolic_links.h"

#include <cstdio>

#include "link/convert.h"
#include "link/link.h"

int prepare_symbolic_links() {
    // The library stays loaded for the rest of the process.
    platform::HMODULE kernel32 = platform::LoadLibraryW(u"kernel32");
    if (kernel32 == nullptr) {
        platform::DWORD error = platform::GetLastError();
        std::fprintf(stderr, "quelk: could not load kernel32: %s\n", win32_error_text(error).c_str());
        return STATUS_USAGE;
    }
    create_symbolic_link_entry = reinterpret_cast<platform::create_symbolic_link_fn>(
        platform::GetProcAddress(kernel32, "CreateSymbolicLinkW"));
    if (create_symbolic_link_entry == nullptr) {
        std::fputs("quelk: symbolic links not supported on this OS\n", stderr);
        return STATUS_LINK_FAILED;
    }
    return STATUS_OK;
}
