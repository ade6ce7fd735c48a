// Under Cygwin, POSIX paths are converted by the Cygwin runtime itself.
#include "platform/platform.h"

#include <sys/cygwin.h>

namespace platform {

void* cygwin_create_path(unsigned what, const void* from) {
    return ::cygwin_create_path(static_cast<cygwin_conv_path_t>(what), from);
}

// Cygwin takes a backslash as a separator too; a drive letter is only
// its converter's business. Names match as on the Windows file system.
bool is_path_separator(char c) { return c == '/' || c == '\\'; }

std::size_t drive_length(const char*) { return 0; }

bool names_ignore_case() { return true; }

}  // namespace platform
