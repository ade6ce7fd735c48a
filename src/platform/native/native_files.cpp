// The POSIX file calls for the native Windows build, on the Win32 file API:
// the C runtime has no lstat, and its stat knows nothing of reparse points.
#include "platform/platform.h"

#include <windows.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/native/native_path.h"

namespace platform {

namespace {

int fail_with(int error) {
    errno = error;
    return -1;
}

int errno_from(::DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return EEXIST;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        default: return EIO;
    }
}

int fail_with_last_error() { return fail_with(errno_from(::GetLastError())); }

// A failure of a call that changes names: errno, and Windows' own code.
int fail_with_last_error(DWORD* win32_error) {
    *win32_error = ::GetLastError();
    return fail_with(errno_from(*win32_error));
}

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Opens the entry itself (a reparse point is not followed) or what it
// leads to, only to read its identity.
int query(const char* path, bool follow, file_status* status) {
    auto name = native_file_name(path);
    if (!name) return -1;
    if (name->empty()) return fail_with(ENOENT);
    ::DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE file = ::CreateFileW(wide(*name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail_with_last_error();
    BY_HANDLE_FILE_INFORMATION information;
    BOOL ok = ::GetFileInformationByHandle(file, &information);
    // The 128-bit identity where the system has it: ReFS file ids need all
    // of it to be unique. Older systems refuse the class.
    FILE_ID_INFO id{};
    bool full_id = ok && ::GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id);
    int error = ok ? 0 : errno_from(::GetLastError());
    ::CloseHandle(file);
    if (!ok) return fail_with(error);
    if (full_id) {
        std::uint64_t halves[2];
        static_assert(sizeof halves == sizeof id.FileId.Identifier);
        std::memcpy(halves, id.FileId.Identifier, sizeof halves);
        status->device = id.VolumeSerialNumber;
        status->inode = halves[0];
        status->inode_high = halves[1];
    } else {
        status->device = information.dwVolumeSerialNumber;
        status->inode = (std::uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
        status->inode_high = 0;
    }
    status->links = information.nNumberOfLinks;
    // A symbolic link to a directory is a link, not a directory, to lstat.
    bool reparse_point = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    status->is_directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (follow || !reparse_point);
    status->is_link = !follow && reparse_point;
    return 0;
}

// Removes a name: a directory link goes the way of a directory.
bool remove_name(const std::u16string& name, ::DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ::RemoveDirectoryW(wide(name));
    return ::DeleteFileW(wide(name));
}

// The NT form of an absolute Win32 path, which SetFileInformationByHandle
// takes for a new name.
std::optional<std::u16string> nt_path(const std::u16string& name) {
    auto absolute = absolute_path(name);
    if (!absolute) return std::nullopt;
    if (absolute->rfind(u"\\\\?\\", 0) == 0 || absolute->rfind(u"\\\\.\\", 0) == 0)
        return u"\\??\\" + absolute->substr(4);
    if (absolute->rfind(u"\\\\", 0) == 0) return u"\\??\\UNC\\" + absolute->substr(2);
    return u"\\??\\" + *absolute;
}

// The values of Windows 10's FileRenameInfoEx, which not every MinGW-w64
// header has yet.
constexpr int FILE_RENAME_INFO_EX_CLASS = 22;
constexpr ::DWORD RENAME_REPLACE_IF_EXISTS = 0x1;
constexpr ::DWORD RENAME_POSIX_SEMANTICS = 0x2;
constexpr ::DWORD RENAME_IGNORE_READONLY_ATTRIBUTE = 0x40;

struct rename_information {
    ::DWORD flags;
    HANDLE root_directory;
    ::DWORD file_name_length;  // in bytes, without the terminator
    wchar_t file_name[1];
};

// Renames FROM over TO in one step, the way POSIX rename does: TO is
// replaced at once even while open, and never missing meanwhile.
bool rename_in_one_step(const std::u16string& from, const std::u16string& to, ::DWORD flags) {
    auto target = nt_path(to);
    if (!target) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    HANDLE file = ::CreateFileW(wide(from), DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::size_t bytes = target->size() * sizeof(char16_t);
    std::vector<unsigned char> buffer(offsetof(rename_information, file_name) + bytes + sizeof(char16_t));
    auto* information = reinterpret_cast<rename_information*>(buffer.data());
    information->flags = flags;
    information->root_directory = nullptr;
    information->file_name_length = static_cast<::DWORD>(bytes);
    std::memcpy(information->file_name, target->c_str(), bytes + sizeof(char16_t));
    BOOL ok = ::SetFileInformationByHandle(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(FILE_RENAME_INFO_EX_CLASS),
                                           information, static_cast<::DWORD>(buffer.size()));
    ::DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::SetLastError(error);
    return ok;
}

// The file id of the file at NAME where it has other hard links, which keep
// it when NAME is replaced.
std::optional<LARGE_INTEGER> other_links_id(const std::u16string& name) {
    HANDLE file = ::CreateFileW(wide(name), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information;
    bool others = ::GetFileInformationByHandle(file, &information) && information.nNumberOfLinks > 1;
    ::CloseHandle(file);
    if (!others) return std::nullopt;
    LARGE_INTEGER id;
    id.HighPart = static_cast<LONG>(information.nFileIndexHigh);
    id.LowPart = information.nFileIndexLow;
    return id;
}

// Puts ATTRIBUTES back on the file with ID, which NAME no longer names,
// reached by its id from NAME's directory (any handle on the volume would
// do for Windows; Wine looks in that directory).
void put_attributes_back(const std::u16string& name, LARGE_INTEGER id, ::DWORD attributes) {
    constexpr ::DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    constexpr ::DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    std::size_t end = name.find_last_of(u"\\/");
    std::u16string directory = end == std::u16string::npos ? u"." : name.substr(0, end + 1);
    HANDLE volume = ::CreateFileW(wide(directory), 0, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (volume == INVALID_HANDLE_VALUE) return;
    FILE_ID_DESCRIPTOR descriptor{};
    descriptor.dwSize = sizeof descriptor;
    descriptor.Type = FileIdType;
    descriptor.FileId = id;
    HANDLE file = ::OpenFileById(volume, &descriptor, FILE_WRITE_ATTRIBUTES, share, nullptr, flags);
    if (file != INVALID_HANDLE_VALUE) {
        FILE_BASIC_INFO basic{};  // times of zero are left as they are
        basic.FileAttributes = attributes;
        ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
        ::CloseHandle(file);
    }
    ::CloseHandle(volume);
}

// Where Windows has no one-step rename over TO (before Windows 10, FAT, a
// directory at either end): TO is renamed aside, FROM put in its place and
// the old one removed; should FROM not move, TO is put back.
bool rename_by_steps(const std::u16string& from, const std::u16string& to) {
    ::DWORD from_attributes = ::GetFileAttributesW(wide(from));
    ::DWORD to_attributes = ::GetFileAttributesW(wide(to));
    if (from_attributes == INVALID_FILE_ATTRIBUTES) return false;
    bool directories = (from_attributes & FILE_ATTRIBUTE_DIRECTORY) ||
                       (to_attributes != INVALID_FILE_ATTRIBUTES && (to_attributes & FILE_ATTRIBUTE_DIRECTORY));
    bool read_only = to_attributes != INVALID_FILE_ATTRIBUTES && (to_attributes & FILE_ATTRIBUTE_READONLY);
    // A read-only name is not replaced: its attribute is cleared for the
    // rename and put back afterwards: on the name if the rename fails, and,
    // if it succeeds, on the file it named where other hard links keep it.
    auto replaced = read_only ? other_links_id(to) : std::nullopt;
    if (read_only && !::SetFileAttributesW(wide(to), to_attributes & ~FILE_ATTRIBUTE_READONLY)) return false;
    auto moved = [&] {
        if (replaced) put_attributes_back(to, *replaced, to_attributes);
        return true;
    };
    auto put_back = [&] {
        ::DWORD error = ::GetLastError();
        if (read_only) ::SetFileAttributesW(wide(to), to_attributes);
        ::SetLastError(error);
        return false;
    };
    if (!directories || to_attributes == INVALID_FILE_ATTRIBUTES) {
        if (::MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING)) return moved();
        if (!directories) return put_back();
        // A directory link moving to a name that is free now.
        return false;
    }
    // FROM is a fresh name beside TO, so FROM with a suffix is free too.
    std::u16string aside = from + u".old";
    if (!::MoveFileExW(wide(to), wide(aside), 0)) return put_back();
    if (!::MoveFileExW(wide(from), wide(to), 0)) {
        ::DWORD error = ::GetLastError();
        ::MoveFileExW(wide(aside), wide(to), 0);
        if (read_only) ::SetFileAttributesW(wide(to), to_attributes);
        ::SetLastError(error);
        return false;
    }
    // The old link is replaced; removing its last trace may fail without
    // harm to the new one. A directory link has no other names to keep its
    // attribute for.
    remove_name(aside, to_attributes & ~FILE_ATTRIBUTE_READONLY);
    return true;
}

}  // namespace

int file_lstat(const char* path, file_status* status) { return query(path, false, status); }

int file_stat(const char* path, file_status* status) { return query(path, true, status); }

int file_unlink(const char* path, DWORD* win32_error) {
    *win32_error = 0;
    auto name = native_file_name(path);
    if (!name) return -1;
    ::DWORD attributes = ::GetFileAttributesW(wide(*name));
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail_with_last_error(win32_error);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return fail_with(EISDIR);
    return remove_name(*name, attributes) ? 0 : fail_with_last_error(win32_error);
}

namespace {

// Which renames this system has, learned from the first that Windows
// refuses as a bad parameter and not asked again in the same run.
bool one_step_ignores_read_only = true;
bool one_step_renames = true;

}  // namespace

int file_rename(const char* from, const char* to, DWORD* win32_error) {
    *win32_error = 0;
    auto source = native_file_name(from);
    auto destination = native_file_name(to);
    if (!source || !destination) return -1;
    // Windows 10 1809 and later rename over any file in one step, read-only
    // or not; 1607 and later without the read-only flag; older systems and
    // file systems without POSIX semantics go by steps.
    constexpr ::DWORD one_step = RENAME_REPLACE_IF_EXISTS | RENAME_POSIX_SEMANTICS;
    if (one_step_renames && one_step_ignores_read_only) {
        if (rename_in_one_step(*source, *destination, one_step | RENAME_IGNORE_READONLY_ATTRIBUTE)) return 0;
        ::DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return fail_with_last_error(win32_error);
        if (error == ERROR_INVALID_PARAMETER) one_step_ignores_read_only = false;
    }
    if (one_step_renames && !one_step_ignores_read_only) {
        ::DWORD attributes = ::GetFileAttributesW(wide(*destination));
        bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
        if (!read_only) {
            if (rename_in_one_step(*source, *destination, one_step)) return 0;
            ::DWORD error = ::GetLastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
                return fail_with_last_error(win32_error);
            if (error == ERROR_INVALID_PARAMETER) one_step_renames = false;
        }
    }
    if (rename_by_steps(*source, *destination)) return 0;
    return fail_with_last_error(win32_error);
}

// Windows decides by access control when the entry is changed, and the
// link or the rename reports a refusal then: nothing to ask beforehand.
int file_directory_writable(const char*) { return 0; }

// Windows renames one name of a file over another name of the same file
// like any other: the source name is gone afterwards.
bool rename_may_keep_source() { return false; }

}  // namespace platform
