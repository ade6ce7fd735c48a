// The POSIX file calls for the native Windows build, on the Win32 file API:
// the C runtime has no lstat, and its stat knows nothing of reparse points.
#include "platform/platform.h"

#include <windows.h>
#include <winternl.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/native/native_path.h"
#include "text/utf16.h"

namespace platform {

namespace {

constexpr ::DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The entry itself: a reparse point is not followed, a directory opens.
constexpr ::DWORD ENTRY_ITSELF = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

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
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
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

bool is_directory(::DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool is_reparse_point(::DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
// A directory itself, not a link to one: never replaced, nor moved aside.
bool is_real_directory(::DWORD attributes) { return is_directory(attributes) && !is_reparse_point(attributes); }

// Closes a handle on every way out.
struct handle_owner {
    HANDLE handle;
    explicit handle_owner(HANDLE opened) : handle(opened) {}
    ~handle_owner() {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
    handle_owner(const handle_owner&) = delete;
    handle_owner& operator=(const handle_owner&) = delete;
    bool open() const { return handle != INVALID_HANDLE_VALUE; }
};

// The file's identity: the volume and the 128-bit file id, which ReFS needs
// whole to tell files apart. False on a system without it (before
// Windows 8), where GetFileInformationByHandle has the 64-bit one.
bool full_identity(HANDLE file, file_status* status) {
    FILE_ID_INFO id{};
    if (::GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
        std::uint64_t halves[2];
        static_assert(sizeof halves == sizeof id.FileId.Identifier);
        std::memcpy(halves, id.FileId.Identifier, sizeof halves);
        status->device = id.VolumeSerialNumber;
        status->inode = halves[0];
        status->inode_high = halves[1];
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(file, &information)) return false;
    status->device = information.dwVolumeSerialNumber;
    status->inode = (std::uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    status->inode_high = 0;
    return true;
}

// What the volume of the entries of one directory is, as their identity
// needs it. Asked once per directory in a run: Windows answers questions
// about a volume apart from those about a file, and Wine answers them from
// another process, at many times the cost of the rest of a look.
struct volume_facts {
    std::uint64_t serial = 0;  // as FILE_ID_INFO gives it
    // NTFS: a file's 64-bit index is its whole id (the 128-bit one is the
    // same, widened); ReFS needs all 128 bits, and so does a volume whose
    // facts could not be asked.
    bool short_ids_whole = false;
};

// The directory the entry NAME lies in, as named: up to its last separator
// but for trailing ones; a drive's current directory for "D:x", the
// current directory for a bare name.
std::u16string_view directory_of(std::u16string_view name) {
    std::size_t end = name.size();
    while (end > 0 && (name[end - 1] == u'\\' || name[end - 1] == u'/')) --end;
    std::size_t cut = name.substr(0, end).find_last_of(u"\\/");
    if (cut != std::u16string_view::npos) return name.substr(0, cut + 1);
    return text::begins_with_drive(name) ? name.substr(0, 2) : u".";
}

const volume_facts& volume_of_entry(std::u16string_view name) {
    static std::map<std::u16string, volume_facts, std::less<>> volumes;
    std::u16string_view directory = directory_of(name);
    if (auto found = volumes.find(directory); found != volumes.end()) return found->second;
    std::u16string path(directory);
    volume_facts facts;
    handle_owner opened(
        ::CreateFileW(wide(path), 0, SHARE_ALL, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_ID_INFO id{};
    wchar_t file_system[MAX_PATH + 1];
    if (opened.open() && ::GetFileInformationByHandleEx(opened.handle, FileIdInfo, &id, sizeof id) &&
        ::GetVolumeInformationByHandleW(opened.handle, nullptr, 0, nullptr, nullptr, nullptr, file_system,
                                        MAX_PATH + 1)) {
        facts.serial = id.VolumeSerialNumber;
        facts.short_ids_whole = std::wstring_view(file_system) == L"NTFS";
    }
    return volumes.emplace(std::move(path), facts).first->second;
}

// The identity of the entry NAME that FILE has open: its 64-bit index, and
// its volume from its directory, where that is the whole of it; else all of
// it from the file.
bool entry_identity(HANDLE file, const std::u16string& name, file_status* status) {
    const auto& volume = volume_of_entry(name);
    if (volume.short_ids_whole) {
        IO_STATUS_BLOCK io{};
        FILE_INTERNAL_INFORMATION internal{};
        if (NT_SUCCESS(::NtQueryInformationFile(file, &io, &internal, sizeof internal, FileInternalInformation))) {
            status->device = volume.serial;
            status->inode = static_cast<std::uint64_t>(internal.IndexNumber.QuadPart);
            status->inode_high = 0;
            return true;
        }
    }
    return full_identity(file, status);
}

// A reparse point is a link only where its tag is a name surrogate (a
// symbolic link, a mount point): a cloud-file, ProjFS or container-layer
// placeholder is the directory or file it stands for (MS-FSCC 2.1.2.1,
// IsReparseTagNameSurrogate).
bool is_link(const FILE_ATTRIBUTE_TAG_INFO& tag) {
    return is_reparse_point(tag.FileAttributes) && (tag.ReparseTag & 0x20000000) != 0;
}

void fill_kind(const FILE_ATTRIBUTE_TAG_INFO& tag, bool follow, file_status* status) {
    // A symbolic link to a directory is a link, not a directory, to lstat.
    status->is_directory = is_directory(tag.FileAttributes) && (follow || !is_link(tag));
    status->is_link = !follow && is_link(tag);
}

// What the open FILE, named NAME, is, and with LINKS its count of links:
// its attributes, its identity and its links, each a question of its own
// to Windows. (GetFileInformationByHandle asks for more than these, the
// file's name and its volume among them.)
int describe(HANDLE file, const std::u16string& name, bool follow, bool links, file_status* status) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) return fail_with_last_error();
    // What a name leads to may lie on another volume than its directory.
    if (!(follow ? full_identity(file, status) : entry_identity(file, name, status))) return fail_with_last_error();
    status->links = 0;
    if (links) {
        FILE_STANDARD_INFO standard{};
        if (!::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard))
            return fail_with_last_error();
        status->links = standard.NumberOfLinks;
    }
    fill_kind(tag, follow, status);
    return 0;
}

// Opens the entry itself (a reparse point is not followed) or what it leads
// to, with ACCESS, into FILE; false with the last error set.
bool open_name(const std::u16string& name, bool follow, ::DWORD access, HANDLE& file) {
    if (name.empty()) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    file = ::CreateFileW(wide(name), access, SHARE_ALL, nullptr, OPEN_EXISTING,
                         follow ? FILE_FLAG_BACKUP_SEMANTICS : ENTRY_ITSELF, nullptr);
    return file != INVALID_HANDLE_VALUE;
}

// The NT form of an absolute Win32 path, which a rename by handle takes
// for the new name.
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

// FILE_RENAME_INFO, whose first member is a BOOLEAN replace-if-exists for
// FileRenameInfo and a DWORD of flags for FileRenameInfoEx, in the same
// place.
struct rename_information {
    ::DWORD flags;
    HANDLE root_directory;
    ::DWORD file_name_length;  // in bytes, without the terminator
    wchar_t file_name[1];
};

// Renames the open FILE to NT_NAME: with FileRenameInfoEx and FLAGS when
// EX, else with FileRenameInfo, replacing what is there when FLAGS has
// RENAME_REPLACE_IF_EXISTS.
bool rename_open_file(HANDLE file, const std::u16string& nt_name, bool ex, ::DWORD flags) {
    std::size_t bytes = nt_name.size() * sizeof(char16_t);
    static std::vector<unsigned char> buffer;  // its storage kept from rename to rename
    try {
        buffer.resize(offsetof(rename_information, file_name) + bytes + sizeof(char16_t));
    } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    auto* information = reinterpret_cast<rename_information*>(buffer.data());
    information->flags = ex ? flags : (flags & RENAME_REPLACE_IF_EXISTS) != 0;
    information->root_directory = nullptr;
    information->file_name_length = static_cast<::DWORD>(bytes);
    std::memcpy(information->file_name, nt_name.c_str(), bytes + sizeof(char16_t));
    auto info_class = ex ? static_cast<FILE_INFO_BY_HANDLE_CLASS>(FILE_RENAME_INFO_EX_CLASS) : FileRenameInfo;
    return ::SetFileInformationByHandle(file, info_class, information, static_cast<::DWORD>(buffer.size()));
}

bool set_attributes(HANDLE file, ::DWORD attributes) {
    FILE_BASIC_INFO basic{};  // times of zero are left as they are
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

// Windows 10 1809's FileDispositionInfoEx, which not every MinGW-w64
// header has yet: the name goes at once, read-only or not.
constexpr int FILE_DISPOSITION_INFO_EX_CLASS = 21;
constexpr ::DWORD DISPOSITION_DELETE = 0x1;
constexpr ::DWORD DISPOSITION_POSIX_SEMANTICS = 0x2;
constexpr ::DWORD DISPOSITION_IGNORE_READONLY_ATTRIBUTE = 0x10;

// Opens the entry NAME itself to remove it, whatever its attributes.
HANDLE open_for_removal(const std::u16string& name) {
    return ::CreateFileW(wide(name), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, SHARE_ALL, nullptr,
                         OPEN_EXISTING, ENTRY_ITSELF, nullptr);
}

// Removes the name FILE was opened by (with DELETE and the attributes'
// access), read-only or not: Windows refuses to delete a read-only file
// by its plain disposition, as DeleteFileW does. The attribute belongs to
// the file, so its other names keep it: where it must be cleared for the
// removal (before Windows 10 1809), it is put back through the same
// handle.
bool delete_open_name(HANDLE file) {
    ::DWORD flags = DISPOSITION_DELETE | DISPOSITION_POSIX_SEMANTICS | DISPOSITION_IGNORE_READONLY_ATTRIBUTE;
    if (::SetFileInformationByHandle(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(FILE_DISPOSITION_INFO_EX_CLASS), &flags,
                                     sizeof flags))
        return true;
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return false;
    bool read_only = (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (read_only && !set_attributes(file, basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY)) return false;
    FILE_DISPOSITION_INFO disposition{TRUE};
    bool removed = ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    ::DWORD error = ::GetLastError();
    if (read_only) set_attributes(file, basic.FileAttributes);
    ::SetLastError(error);
    return removed;
}

// The file id of the file at NAME where it has other hard links, which keep
// it when NAME is replaced.
std::optional<LARGE_INTEGER> other_links_id(const std::u16string& name) {
    handle_owner file(::CreateFileW(wide(name), FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr, OPEN_EXISTING, ENTRY_ITSELF,
                                    nullptr));
    if (!file.open()) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(file.handle, &information) || information.nNumberOfLinks <= 1)
        return std::nullopt;
    LARGE_INTEGER id;
    id.HighPart = static_cast<LONG>(information.nFileIndexHigh);
    id.LowPart = information.nFileIndexLow;
    return id;
}

// Puts ATTRIBUTES back on the file with ID, which NAME no longer names,
// reached by its id from NAME's directory (any handle on the volume would
// do for Windows; Wine looks in that directory).
void put_attributes_back(const std::u16string& name, LARGE_INTEGER id, ::DWORD attributes) {
    std::u16string directory(directory_of(name));
    handle_owner volume(::CreateFileW(wide(directory), 0, SHARE_ALL, nullptr, OPEN_EXISTING, ENTRY_ITSELF, nullptr));
    if (!volume.open()) return;
    FILE_ID_DESCRIPTOR descriptor{};
    descriptor.dwSize = sizeof descriptor;
    descriptor.Type = FileIdType;
    descriptor.FileId = id;
    handle_owner file(::OpenFileById(volume.handle, &descriptor, FILE_WRITE_ATTRIBUTES, SHARE_ALL, nullptr, ENTRY_ITSELF));
    if (file.open()) set_attributes(file.handle, attributes);
}

// A read-only TO, replaced in one step by the open FROM all the same: its
// attribute is cleared for the rename and put back afterwards, on the name
// if the rename fails, and, if it succeeds, on the file it named where
// other hard links keep it.
bool replace_read_only(HANDLE from, const std::u16string& to, const std::u16string& nt_to, ::DWORD attributes) {
    auto replaced = other_links_id(to);
    if (!::SetFileAttributesW(wide(to), attributes & ~FILE_ATTRIBUTE_READONLY)) return false;
    if (!rename_open_file(from, nt_to, false, RENAME_REPLACE_IF_EXISTS)) {
        ::DWORD error = ::GetLastError();
        ::SetFileAttributesW(wide(to), attributes);
        ::SetLastError(error);
        return false;
    }
    if (replaced) put_attributes_back(to, *replaced, attributes);
    return true;
}

// Where a directory link is at either end, which no rename replaces: TO,
// opened and examined, is renamed aside, FROM put in its place and the old
// one removed; should FROM not move, TO is put back. Only what was examined
// moves, so a directory that appears at TO meanwhile stays where it is.
int replace_by_steps(HANDLE from, const std::u16string& from_name, const std::u16string& to, const std::u16string& nt_to,
                     DWORD* win32_error) {
    handle_owner old(::CreateFileW(wide(to), DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                   SHARE_ALL, nullptr, OPEN_EXISTING, ENTRY_ITSELF, nullptr));
    if (!old.open()) return fail_with_last_error(win32_error);
    FILE_BASIC_INFO basic{};
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(old.handle, FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(old.handle, FileAttributeTagInfo, &tag, sizeof tag))
        return fail_with_last_error(win32_error);
    ::DWORD attributes = basic.FileAttributes;
    // Only a link moves: a directory is one, whatever reparse point it has.
    if (is_directory(attributes) && !is_link(tag)) return fail_with(EISDIR);
    bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    // FROM is a fresh name beside TO, so FROM with a suffix is free too.
    auto aside = nt_path(from_name + u".old");
    if (!aside) return fail_with(ENOMEM);
    if (!rename_open_file(old.handle, *aside, false, 0)) return fail_with_last_error(win32_error);
    if (!rename_open_file(from, nt_to, false, 0)) {
        int failed = fail_with_last_error(win32_error);
        rename_open_file(old.handle, nt_to, false, 0);
        return failed;
    }
    // The old link is replaced and removed. A read-only file's attribute is
    // cleared for that and put back, for its other names. Where it stays,
    // both are put back as they were and the refusal told: nothing is left
    // under the name it was moved aside to.
    if (read_only) set_attributes(old.handle, attributes & ~FILE_ATTRIBUTE_READONLY);
    FILE_DISPOSITION_INFO disposition{TRUE};
    bool removed = ::SetFileInformationByHandle(old.handle, FileDispositionInfo, &disposition, sizeof disposition);
    ::DWORD error = ::GetLastError();
    if (read_only) set_attributes(old.handle, attributes);
    if (removed) return 0;
    auto nt_from = nt_path(from_name);
    if (nt_from && rename_open_file(from, *nt_from, false, 0)) rename_open_file(old.handle, nt_to, false, 0);
    ::SetLastError(error);
    return fail_with_last_error(win32_error);
}

// Which renames this system has, learned from the first that Windows
// refuses as not supported here and not asked again in the same run.
bool one_step_ignores_read_only = true;
bool one_step_renames = true;

// An answer that refuses the form of a rename, not the rename itself: a
// class or a flag the system does not know (ERROR_INVALID_PARAMETER), or
// one its file system does not do (STATUS_NOT_SUPPORTED, which is
// ERROR_NOT_SUPPORTED; ERROR_INVALID_FUNCTION from some drivers).
bool form_unsupported(::DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

// Renames the open FROM over TO in one call where the system can: Windows
// 10 1809 and later over any file, read-only or not, the way POSIX rename
// does (TO replaced even while open, and never missing meanwhile); 1607
// and later but for a read-only TO; any Windows (and Wine) with a plain
// replacing rename.
bool rename_in_one_call(HANDLE from, const std::u16string& nt_to) {
    constexpr ::DWORD posix = RENAME_REPLACE_IF_EXISTS | RENAME_POSIX_SEMANTICS;
    if (one_step_renames) {
        ::DWORD flags = posix | (one_step_ignores_read_only ? RENAME_IGNORE_READONLY_ATTRIBUTE : 0);
        if (rename_open_file(from, nt_to, true, flags)) return true;
        if (!form_unsupported(::GetLastError())) return false;
        if (one_step_ignores_read_only) {
            one_step_ignores_read_only = false;
            if (rename_open_file(from, nt_to, true, posix)) return true;
            if (!form_unsupported(::GetLastError())) return false;
        }
        one_step_renames = false;
    }
    return rename_open_file(from, nt_to, false, RENAME_REPLACE_IF_EXISTS);
}

// After a rename reported done: where FROM and TO were two names of one
// file, a rename may do nothing and keep FROM (Wine's does, as POSIX
// rename does). One question tells whether FROM_NAME is still there; only
// then is it looked at, and removed where it is still the file renamed.
int kept_source_removed(HANDLE file, const std::u16string& from_name) {
    if (::GetFileAttributesW(wide(from_name)) == INVALID_FILE_ATTRIBUTES) return 0;
    handle_owner kept(open_for_removal(from_name));
    file_status renamed{}, still{};
    if (kept.open() && full_identity(file, &renamed) && full_identity(kept.handle, &still) &&
        renamed.device == still.device && renamed.inode == still.inode && renamed.inode_high == still.inode_high)
        delete_open_name(kept.handle);
    return 0;
}

}  // namespace

int file_lstat(const char* path, file_status* status) {
    auto name = native_file_name(path);
    if (!name) return -1;
    HANDLE opened;
    if (!open_name(*name, false, 0, opened)) return fail_with_last_error();
    handle_owner file(opened);
    status->held = -1;
    return describe(file.handle, *name, false, true, status);
}

int file_identity(const char* path, bool follow, file_status* status) {
    auto name = native_file_name(path);
    if (!name) return -1;
    status->held = -1;
    HANDLE opened = INVALID_HANDLE_VALUE;
    // The entry itself is opened as a rename or a removal of it would be:
    // refused as a sharing violation, the file is held open, and is then
    // looked at without asking for anything.
    if (!follow) {
        if (open_name(*name, false, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, opened)) {
            status->held = 0;
        } else {
            ::DWORD error = ::GetLastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
                status->held = 1;
            else if (error != ERROR_ACCESS_DENIED)
                return fail_with(errno_from(error));  // nothing there to look at
        }
    }
    if (opened == INVALID_HANDLE_VALUE && !open_name(*name, follow, 0, opened)) return fail_with_last_error();
    handle_owner file(opened);
    return describe(file.handle, *name, follow, false, status);
}

bool file_is_directory(const char* path) {
    auto name = native_file_name(path);
    HANDLE opened;
    if (!name || !open_name(*name, true, 0, opened)) return false;
    handle_owner file(opened);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return ::GetFileInformationByHandleEx(file.handle, FileAttributeTagInfo, &tag, sizeof tag) &&
           is_directory(tag.FileAttributes);
}

int file_unlink(const char* path, DWORD* win32_error) {
    *win32_error = 0;
    auto name = native_file_name(path);
    if (!name) return -1;
    ::DWORD attributes = ::GetFileAttributesW(wide(*name));
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail_with_last_error(win32_error);
    if (is_real_directory(attributes)) return fail_with(EISDIR);
    // A directory link goes the way of a directory.
    bool removed = is_directory(attributes) ? ::RemoveDirectoryW(wide(*name)) : ::DeleteFileW(wide(*name));
    if (removed) return 0;
    // A read-only file is removed as POSIX unlink removes it (a hard link's
    // temporary carries its TARGET's attribute), by a handle on the name.
    if (::GetLastError() == ERROR_ACCESS_DENIED && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        handle_owner file(open_for_removal(*name));
        if (file.open() && delete_open_name(file.handle)) return 0;
        if (!file.open()) return fail_with_last_error(win32_error);
    }
    return fail_with_last_error(win32_error);
}

int file_rename(const char* from, const char* to, DWORD* win32_error) {
    *win32_error = 0;
    auto source = native_file_name(from);
    auto destination = native_file_name(to);
    if (!source || !destination) return -1;
    auto nt_to = nt_path(*destination);
    if (!nt_to) return fail_with(ENOMEM);
    handle_owner file(::CreateFileW(wide(*source), DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr,
                                    OPEN_EXISTING, ENTRY_ITSELF, nullptr));
    if (!file.open()) return fail_with_last_error(win32_error);
    if (rename_in_one_call(file.handle, *nt_to)) return kept_source_removed(file.handle, *source);

    // Refused: what stands at TO, asked now, says why, and whether another
    // way gets there. A held file is the caller's to wait for.
    ::DWORD refused = ::GetLastError();
    if (refused == ERROR_SHARING_VIOLATION || refused == ERROR_LOCK_VIOLATION) return fail_with_last_error(win32_error);
    ::DWORD attributes = ::GetFileAttributesW(wide(*destination));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Gone meanwhile: the name is free.
        if (rename_open_file(file.handle, *nt_to, false, 0)) return 0;
        return fail_with_last_error(win32_error);
    }
    if (is_real_directory(attributes)) return fail_with(EISDIR);
    FILE_BASIC_INFO basic{};
    bool from_directory =
        ::GetFileInformationByHandleEx(file.handle, FileBasicInfo, &basic, sizeof basic) && is_directory(basic.FileAttributes);
    if (from_directory || is_directory(attributes))
        return replace_by_steps(file.handle, *source, *destination, *nt_to, win32_error);
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return replace_read_only(file.handle, *destination, *nt_to, attributes) ? 0 : fail_with_last_error(win32_error);
    ::SetLastError(refused);
    return fail_with_last_error(win32_error);
}

// Windows decides by access control when the entry is changed, and the
// link or the rename reports a refusal then: nothing to ask beforehand.
int file_directory_writable(const char*) { return 0; }

// A rename between two names of one file that keeps its source is
// mended by file_rename itself, which looks once: its caller need not.
bool rename_may_keep_source() { return false; }

bool linkname_examined_first() { return false; }

bool dos_names_possible() { return false; }

// Windows reads names as Windows reads them.
bool case_told_apart(const char*) { return false; }
bool reaches_another_case(const char16_t*) { return false; }

// Where the directory leads, links on the way followed: the final path of
// a handle on it (GetFinalPathNameByHandleW), in the plain form, so that a
// name joined to it is read as Windows reads it (".." as text); the file
// calls give a long one the \\?\ form again.
std::optional<std::string> physical_directory(const char* directory) {
    auto name = native_file_name(*directory == '\0' ? "." : directory);
    if (!name) return std::nullopt;
    handle_owner opened(::CreateFileW(wide(*name), 0, SHARE_ALL, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened.open()) return std::nullopt;
    std::u16string final_path(MAX_PATH, u'\0');
    for (;;) {
        ::DWORD length = ::GetFinalPathNameByHandleW(opened.handle, reinterpret_cast<wchar_t*>(final_path.data()),
                                                      static_cast<::DWORD>(final_path.size()), VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < final_path.size()) {
            final_path.resize(length);
            break;
        }
        final_path.resize(length);
    }
    std::u16string_view form(final_path);
    if (form.substr(0, 8) == u"\\\\?\\UNC\\") {
        final_path = u"\\\\" + std::u16string(form.substr(8));
    } else if (form.substr(0, 4) == u"\\\\?\\") {
        final_path.erase(0, 4);
    }
    return text::to_utf8_strict(final_path);
}

}  // namespace platform
