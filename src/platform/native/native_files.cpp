// The POSIX file calls for the native Windows build, on the Win32 file API:
// the C runtime has no lstat, and its stat knows nothing of reparse points.
#include "platform/platform.h"

#include <windows.h>

#include <cerrno>

#include "platform/native/native_path.h"

namespace platform {

namespace {

int fail_with(int error) {
    errno = error;
    return -1;
}

int errno_from_last_error() {
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return EEXIST;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        default: return EIO;
    }
}

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Opens the entry itself (a reparse point is not followed) or what it
// leads to, only to read its identity.
int query(const char* path, bool follow, file_status* status) {
    auto name = native_file_name(path);
    if (!name) return -1;
    if (name->empty()) return fail_with(ENOENT);
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE file = ::CreateFileW(wide(*name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail_with(errno_from_last_error());
    BY_HANDLE_FILE_INFORMATION information;
    BOOL ok = ::GetFileInformationByHandle(file, &information);
    int error = ok ? 0 : errno_from_last_error();
    ::CloseHandle(file);
    if (!ok) return fail_with(error);
    status->device = information.dwVolumeSerialNumber;
    status->inode = (std::uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    status->links = information.nNumberOfLinks;
    // A symbolic link to a directory is a link, not a directory, to lstat.
    status->is_directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                           (follow || (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
    return 0;
}

}  // namespace

int file_lstat(const char* path, file_status* status) { return query(path, false, status); }

int file_stat(const char* path, file_status* status) { return query(path, true, status); }

int file_unlink(const char* path) {
    auto name = native_file_name(path);
    if (!name) return -1;
    DWORD attributes = ::GetFileAttributesW(wide(*name));
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail_with(errno_from_last_error());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A directory symbolic link goes the way of a directory.
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return fail_with(EISDIR);
        return ::RemoveDirectoryW(wide(*name)) ? 0 : fail_with(errno_from_last_error());
    }
    return ::DeleteFileW(wide(*name)) ? 0 : fail_with(errno_from_last_error());
}

int file_rename(const char* from, const char* to) {
    auto source = native_file_name(from);
    auto destination = native_file_name(to);
    if (!source || !destination) return -1;
    return ::MoveFileExW(wide(*source), wide(*destination), MOVEFILE_REPLACE_EXISTING) ? 0
                                                                                        : fail_with(errno_from_last_error());
}

// Windows decides by access control when the entry is changed; the rename
// reports a refusal then.
int file_directory_writable(const char* path) {
    auto name = native_file_name(path);
    if (!name) return -1;
    DWORD attributes = ::GetFileAttributesW(wide(*name));
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail_with(errno_from_last_error());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : fail_with(ENOTDIR);
}

}  // namespace platform
