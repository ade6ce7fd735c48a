// Under Cygwin, POSIX paths are converted by the Cygwin runtime itself.
#include "platform/platform.h"

#include <sys/cygwin.h>

namespace platform {

void* cygwin_create_path(unsigned what, const void* from) {
    return ::cygwin_create_path(static_cast<cygwin_conv_path_t>(what), from);
}

}  // namespace platform
