// The POSIX file calls, where the host has them (Linux, Cygwin).
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

namespace {

void fill(const struct stat& st, file_status* status) {
    status->device = static_cast<std::uint64_t>(st.st_dev);
    status->inode = static_cast<std::uint64_t>(st.st_ino);
    status->links = static_cast<std::uint64_t>(st.st_nlink);
    status->is_directory = S_ISDIR(st.st_mode);
    status->inode_high = 0;
    status->is_link = S_ISLNK(st.st_mode);
    status->held = -1;
}

}  // namespace

int file_lstat(const char* path, file_status* status) {
    struct stat st;
    if (::lstat(path, &st) != 0) return -1;
    fill(st, status);
    return 0;
}

int file_identity(const char* path, bool follow, file_status* status) {
    struct stat st;
    if ((follow ? ::stat(path, &st) : ::lstat(path, &st)) != 0) return -1;
    fill(st, status);
    return 0;
}

bool file_is_directory(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int file_unlink(const char* path, DWORD* win32_error) {
    *win32_error = 0;
    return ::unlink(path);
}

// POSIX rename replaces TO in one step, whatever it is but a directory.
int file_rename(const char* from, const char* to, DWORD* win32_error) {
    *win32_error = 0;
    return std::rename(from, to);
}

int file_directory_writable(const char* path) { return ::access(path, W_OK | X_OK); }

// POSIX rename does nothing when both names are links of one file; Cygwin
// keeps that rule.
bool rename_may_keep_source() { return true; }

}  // namespace platform
