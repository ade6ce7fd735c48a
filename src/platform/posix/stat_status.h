// What a POSIX stat tells, as the platform header's file_status.
#pragma once

#include <sys/stat.h>

#include "platform/platform.h"

namespace platform {

inline void fill_status(const struct stat& st, file_status* status) {
    status->device = static_cast<std::uint64_t>(st.st_dev);
    status->inode = static_cast<std::uint64_t>(st.st_ino);
    status->links = static_cast<std::uint64_t>(st.st_nlink);
    status->is_directory = S_ISDIR(st.st_mode);
    status->inode_high = 0;
    status->is_link = S_ISLNK(st.st_mode);
    status->held = -1;
}

}  // namespace platform
