// The POSIX file calls, where the host has them (Linux, Cygwin), given each
// name as the host is to read it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/host_name.h"
#include "platform/posix/stat_status.h"

namespace platform {

namespace {

// Windows' code behind a failure of Cygwin's rename or unlink, which the
// replacement waits on as it does natively: Cygwin answers a sharing or
// lock violation as EBUSY and a refusal as EACCES (errmap.h, the table
// errno.cc maps Windows' codes with).
int failed_as_windows(DWORD* win32_error) {
    int error = errno;
    *win32_error = error == EBUSY ? ERROR_SHARING_VIOLATION : error == EACCES ? ERROR_ACCESS_DENIED : 0;
    errno = error;
    return -1;
}

}  // namespace

int file_lstat(const char* path, file_status* status) {
    std::string name;
    struct stat st;
    const char* host = host_name(path, suffix_scan::stat, name);
    if (host == nullptr || ::lstat(host, &st) != 0) return -1;
    fill_status(st, status);
    return 0;
}

int file_identity(const char* path, bool follow, file_status* status) {
    std::string name;
    struct stat st;
    const char* host = host_name(path, suffix_scan::stat, name);
    if (host == nullptr || (follow ? ::stat(host, &st) : ::lstat(host, &st)) != 0) return -1;
    fill_status(st, status);
    return 0;
}

bool file_is_directory(const char* path) {
    std::string name;
    struct stat st;
    const char* host = host_name(path, suffix_scan::stat, name);
    return host != nullptr && ::stat(host, &st) == 0 && S_ISDIR(st.st_mode);
}

int file_unlink(const char* path, DWORD* win32_error) {
    *win32_error = 0;
    std::string name;
    const char* host = host_name(path, suffix_scan::stat, name);
    if (host == nullptr) return -1;
    return ::unlink(host) == 0 ? 0 : failed_as_windows(win32_error);
}

// POSIX rename replaces TO in one step, whatever it is but a directory.
// TO is the name as given: where Cygwin would keep or add a suffix there,
// its rules are the fake's to model.
int file_rename(const char* from, const char* to, DWORD* win32_error) {
    *win32_error = 0;
    std::string old_name, new_name;
    const char* old_host = host_name(from, suffix_scan::stat, old_name);
    const char* new_host = old_host == nullptr ? nullptr : host_name(to, suffix_scan::none, new_name);
    if (new_host == nullptr) return -1;
    return std::rename(old_host, new_host) == 0 ? 0 : failed_as_windows(win32_error);
}

int file_directory_writable(const char* path) {
    std::string name;
    const char* host = host_name(path, suffix_scan::none, name);
    return host == nullptr ? -1 : ::access(host, W_OK | X_OK);
}

std::optional<std::string> physical_directory(const char* directory) {
    std::string name;
    const char* host = host_name(*directory == '\0' ? "." : directory, suffix_scan::none, name);
    if (host == nullptr) return std::nullopt;
    std::unique_ptr<char, free_deleter> real(::realpath(host, nullptr));
    if (!real) return std::nullopt;
    return std::string(real.get());
}

bool linkname_examined_first() { return true; }

// Cygwin's converter knows which file systems keep DOS names only, and
// which mounts say so; the stand-in's has none, and answers as typed.
bool dos_names_possible() { return true; }

// POSIX rename does nothing when both names are links of one file; Cygwin
// keeps that rule.
bool rename_may_keep_source() { return true; }

}  // namespace platform
