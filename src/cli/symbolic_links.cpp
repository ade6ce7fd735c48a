#include "cli/symbolic_links.h"

#include <cstdio>

#include "link/convert.h"
#include "link/link.h"

namespace {

constexpr char privilege_advice[] =
    "quelk: you don't permission to create symbolic links. Run, as administrator,\n"
    "quelk:   editrights -a SeCreateSymbolicLinkPrivilege -a $YOUR_USER\n";

}  // namespace

bool enable_symbolic_link_privilege() {
    using namespace platform;
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) return false;
    unique_handle token(opened);

    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, u"SeCreateSymbolicLinkPrivilege", &privileges.Privileges[0].Luid))
        return false;
    if (!AdjustTokenPrivileges(token.get(), 0, &privileges, sizeof privileges, nullptr, nullptr)) return false;
    // The call succeeds even for a token that does not hold the privilege;
    // only the last error tells.
    return GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

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
    if (!enable_symbolic_link_privilege()) {
        // Without the privilege, Windows in Developer Mode still makes the
        // links for callers that ask for it with a flag.
        if (platform::unprivileged_symbolic_links_allowed()) {
            symbolic_link_flags = platform::SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
            return STATUS_OK;
        }
        // One write, so the two lines stay together.
        std::fwrite(privilege_advice, 1, sizeof privilege_advice - 1, stderr);
        return STATUS_NO_PRIVILEGE;
    }
    return STATUS_OK;
}
