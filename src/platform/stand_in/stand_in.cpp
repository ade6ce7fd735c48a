// The stand-in for Windows on a POSIX host: the Windows operations emulated
// over the host file system, as if quelk ran in a Cygwin installed at
// C:\cygwin64 with the other drives under /cygdrive. Paths convert the way
// Cygwin's converter does, and every path it gives maps back to the same
// host bytes, so links made through it are real links on this host.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "platform/cygwin/cygwin_names.h"
#include "platform/platform.h"
#include "platform/stand_in/stand_in.h"
#include "text/utf16.h"

namespace platform {

namespace {

thread_local DWORD last_error = 0;

constexpr std::u16string_view ROOT_DRIVE = u"C:";
constexpr std::u16string_view ROOT_DIRECTORY = u"\\cygwin64";
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr std::uint32_t SYMLINK_PRIVILEGE_ID = 35;

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The names of a path, split character by character in the locale.
std::vector<std::string_view> split(std::string_view path) {
    std::vector<std::string_view> names;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = std::min(next_separator(path, start), path.size());
        if (end > start) names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// Whether a path ends in a separator of its own, not in a character whose
// last byte is a backslash.
bool ends_in_separator(std::string_view path) {
    if (path.empty() || !is_separator(path.back())) return false;
    std::size_t at = 0, last = std::string_view::npos;
    while ((at = next_separator(path, at)) != std::string_view::npos) last = at++;
    return last == path.size() - 1;
}

// Resolves "." and ".." by name; false when ".." climbs above the start.
bool normalize(std::vector<std::string_view>& names) {
    std::vector<std::string_view> kept;
    bool escaped = false;
    for (auto name : names) {
        if (name == ".") continue;
        if (name == "..") {
            if (kept.empty())
                escaped = true;
            else
                kept.pop_back();
            continue;
        }
        kept.push_back(name);
    }
    names.swap(kept);
    return !escaped;
}

void append_names(std::u16string& out, const std::vector<std::string_view>& names) {
    for (auto name : names) {
        out.push_back(u'\\');
        append_cygwin_name(out, name);
    }
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool is_drive_path(std::string_view path) {
    return path.size() >= 2 && is_letter(path[0]) && path[1] == ':' &&
           (path.size() == 2 || is_separator(path[2]));
}

std::u16string drive(char letter) {
    std::u16string out;
    out.push_back(char16_t(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter));
    out.push_back(u':');
    return out;
}

// The names of an absolute host path with "." and ".." resolved as the
// host resolves them: ".." after a symbolic link leaves the directory the
// link leads to, not the one it stands in. Up to the last "..", the host
// itself resolves the path; where it cannot (a name on the way is
// missing), the names stay as given, so that the host meets the same
// failure when it reads them back.
std::vector<std::string_view> host_resolved(std::vector<std::string_view> names, std::string& storage) {
    std::size_t last_up = names.size();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == "..") last_up = i;
    if (last_up == names.size()) {
        normalize(names);
        return names;
    }
    std::string head;
    for (std::size_t i = 0; i <= last_up; ++i) head.append("/").append(names[i]);
    std::vector<std::string_view> resolved;
    if (char* real = ::realpath(head.c_str(), nullptr)) {
        storage = real;
        std::free(real);
        resolved = split(storage);
    } else {
        resolved.assign(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(last_up) + 1);
        std::erase(resolved, std::string_view("."));
    }
    for (std::size_t i = last_up + 1; i < names.size(); ++i)
        if (names[i] != ".") resolved.push_back(names[i]);
    return resolved;
}

// An absolute POSIX path, already split into names, as a Windows path.
std::u16string absolute_win32(std::vector<std::string_view> given) {
    std::string storage;
    auto names = host_resolved(std::move(given), storage);
    std::u16string out;
    if (names.size() >= 2 && names[0] == "cygdrive" && names[1].size() == 1 &&
        is_letter(names[1][0])) {
        out = drive(names[1][0]);
        names.erase(names.begin(), names.begin() + 2);
        append_names(out, names);
        if (names.empty()) out.push_back(u'\\');
        return out;
    }
    out = std::u16string(ROOT_DRIVE) + std::u16string(ROOT_DIRECTORY);
    append_names(out, names);
    return out;
}

std::optional<std::u16string> convert_path(std::string_view path, bool keep_relative) {
    bool trailing = ends_in_separator(path);
    std::u16string out;
    if (is_drive_path(path)) {
        out = drive(path[0]);
        auto names = split(path.substr(2));
        append_names(out, names);
        if (names.empty() || trailing) out.push_back(u'\\');
        return out;
    }
    if (is_separator(path[0])) {
        out = absolute_win32(split(path));
    } else {
        auto names = split(path);
        auto resolved = names;
        if (keep_relative && normalize(resolved)) {
            // Stays relative, name for name as given.
            for (std::size_t i = 0; i < names.size(); ++i) {
                if (i > 0) out.push_back(u'\\');
                append_cygwin_name(out, names[i]);
            }
        } else {
            char* cwd = ::getcwd(nullptr, 0);
            if (cwd == nullptr) return std::nullopt;
            std::string full = std::string(cwd) + "/" + std::string(path);
            std::free(cwd);
            out = absolute_win32(split(full));
            trailing = trailing && out.back() != u'\\';
        }
    }
    if (trailing && !out.empty() && out.back() != u'\\') out.push_back(u'\\');
    return out;
}

DWORD error_from_errno(int error) {
    switch (error) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case EXDEV: return ERROR_NOT_SAME_DEVICE;
        case EROFS: return ERROR_WRITE_PROTECT;
        case ENOSPC: return ERROR_DISK_FULL;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EMLINK: return ERROR_TOO_MANY_LINKS;
        case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
        default: return ERROR_GEN_FAILURE;
    }
}

// ENOENT is "file not found" when the existing file is missing in a
// directory that is there, and "path not found" when a directory on the
// way to it, or to the new name, is missing: Windows tells the two apart.
DWORD missing_error(const std::string* existing) {
    struct file_status status;
    if (existing == nullptr || file_lstat(existing->c_str(), &status) == 0) return ERROR_PATH_NOT_FOUND;
    auto slash = existing->find_last_of('/');
    std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : existing->substr(0, slash);
    return file_is_directory(directory.c_str()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// NTFS takes no name of more than 255 UTF-16 units, anywhere in a path,
// whatever the form of the path: the host's limit may be another.
bool name_too_long(std::u16string_view path) {
    std::size_t run = 0;
    for (char16_t unit : path) {
        run = unit == u'\\' || unit == u'/' ? 0 : run + 1;
        if (run > 255) return true;
    }
    return false;
}

// A symbolic link's target is stored twice in its reparse point, as the
// name Windows follows (an absolute one after "\??\") and as the one it
// shows, after 20 bytes of header: 16 KiB in all at most.
bool target_too_long(std::u16string_view target) {
    constexpr std::size_t MAXIMUM_REPARSE_DATA_BUFFER_SIZE = 16 * 1024;
    bool absolute = text::begins_with_drive(target);
    std::size_t units = 2 * target.size() + (absolute ? 4 : 0);
    return 20 + 2 * units > MAXIMUM_REPARSE_DATA_BUFFER_SIZE;
}

BOOLEAN QUELK_WINAPI stand_in_create_symbolic_link(const char16_t* symlink_file_name,
                                                   const char16_t* target_file_name, DWORD flags) {
    // 0x2 lets an unprivileged caller make the link where Windows allows it.
    if (flags > 3) {
        last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    if (name_too_long(symlink_file_name)) {
        last_error = ERROR_INVALID_NAME;
        return 0;
    }
    if (target_too_long(target_file_name)) {
        last_error = ERROR_INVALID_REPARSE_DATA;
        return 0;
    }
    auto link = host_path(symlink_file_name);
    auto target = host_path(target_file_name);
    if (!link || !target || target->empty()) {
        last_error = ERROR_INVALID_NAME;
        return 0;
    }
    // A name that ends in a separator names a directory: Windows makes a
    // directory link under it and refuses a file link as a bad name (as
    // Wine's conformance test_symbolic_link records).
    std::u16string_view units(symlink_file_name);
    if (!units.empty() && (units.back() == u'\\' || units.back() == u'/')) {
        if ((flags & SYMBOLIC_LINK_FLAG_DIRECTORY) == 0) {
            last_error = ERROR_INVALID_NAME;
            return 0;
        }
        while (link->size() > 1 && link->back() == '/') link->pop_back();
    }
    if (::symlink(target->c_str(), link->c_str()) != 0) {
        last_error = errno == ENOENT ? missing_error(nullptr) : error_from_errno(errno);
        return 0;
    }
    return 1;
}

struct system_message {
    DWORD code;
    const char16_t* text;
};

constexpr system_message SYSTEM_MESSAGES[] = {
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
    {ERROR_NOT_SAME_DEVICE, u"The system cannot move the file to a different disk drive.\r\n"},
    {ERROR_WRITE_PROTECT, u"The media is write protected.\r\n"},
    {ERROR_GEN_FAILURE, u"A device attached to the system is not functioning.\r\n"},
    {ERROR_SHARING_VIOLATION, u"The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_NOT_SUPPORTED, u"The request is not supported.\r\n"},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
    {ERROR_DISK_FULL, u"There is not enough space on the disk.\r\n"},
    {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
    {ERROR_BAD_EXE_FORMAT, u"%1 is not a valid Win32 application.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, u"The filename or extension is too long.\r\n"},
    {ERROR_TOO_MANY_LINKS,
     u"An attempt was made to create more links on a file than the file system supports.\r\n"},
    {ERROR_NOT_ALL_ASSIGNED, u"Not all privileges or groups referenced are assigned to the caller.\r\n"},
    {ERROR_PRIVILEGE_NOT_HELD, u"A required privilege is not held by the client.\r\n"},
    {ERROR_CANT_RESOLVE_FILENAME, u"The name of the file cannot be resolved by the system.\r\n"},
    {ERROR_INVALID_NAME, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_INVALID_REPARSE_DATA, u"The data present in the reparse point buffer is invalid.\r\n"},
};

char kernel32_module;
char process_token;

}  // namespace

bool host_path(const char16_t* path, std::string& out) {
    std::u16string_view rest(path);
    out.clear();
    // The \\?\ form names the same path, taken as it stands.
    if (!rest.empty() && rest[0] == u'\\') {
        if (rest.substr(0, 8) == u"\\\\?\\UNC\\") {
            out.append("//");
            rest.remove_prefix(8);
        } else if (rest.substr(0, 4) == u"\\\\?\\") {
            rest.remove_prefix(4);
        }
    }
    if (rest.size() >= 2 && rest[1] == u':' && (rest.size() == 2 || rest[2] == u'\\' || rest[2] == u'/')) {
        char16_t letter = rest[0] >= u'a' && rest[0] <= u'z' ? char16_t(rest[0] - u'a' + u'A') : rest[0];
        std::u16string_view after = rest.substr(2);
        if (letter == u'C' && after.substr(0, ROOT_DIRECTORY.size()) == ROOT_DIRECTORY &&
            (after.size() == ROOT_DIRECTORY.size() || after[ROOT_DIRECTORY.size()] == u'\\' ||
             after[ROOT_DIRECTORY.size()] == u'/')) {
            rest = after.substr(ROOT_DIRECTORY.size());
            if (rest.empty()) out.push_back('/');
        } else {
            out = "/cygdrive/";
            out.push_back(char(letter - u'A' + 'a'));
            rest = after;
        }
    }
    // Most paths are all ASCII, a byte for each unit: told and copied in
    // two passes without an early exit, which the compiler does in vectors.
    std::size_t start = out.size(), ascii = 0;
    char16_t high = 0;
    for (char16_t unit : rest) high |= unit;
    if (high < 0x80) {
        out.resize(start + rest.size());
        char* to = out.data() + start;
        const char16_t* from = rest.data();
        for (std::size_t i = 0; i < rest.size(); ++i) to[i] = from[i] == u'\\' ? '/' : static_cast<char>(from[i]);
        ascii = rest.size();
    }
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (std::size_t i = ascii; i < rest.size(); ++i) {
        char16_t unit = rest[i];
        if (unit == u'\\') {
            out.push_back('/');
        } else if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
        } else if (carries_byte(unit)) {
            out.push_back(static_cast<char>(unit - PRIVATE_BASE));
        } else {
            std::size_t length = 1;
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < rest.size()) length = 2;
            std::wstring wide = text::decode_utf16(rest.data() + i, length);
            if (wide.size() == 1) i += length - 1;
            std::size_t made = std::wcrtomb(bytes, wide[0], &state);
            if (made == static_cast<std::size_t>(-1)) return false;
            out.append(bytes, made);
        }
    }
    // The host limits an absolute path to PATH_MAX bytes, not a relative
    // one: a long path below the current directory is given from there.
    if (out.size() >= PATH_MAX && out[0] == '/') {
        char* cwd = ::getcwd(nullptr, 0);
        std::string_view directory(cwd ? cwd : "");
        if (!directory.empty() && out.size() > directory.size() && out.compare(0, directory.size(), directory) == 0 &&
            out[directory.size()] == '/')
            out.erase(0, directory.size() + 1);
        std::free(cwd);
    }
    return true;
}

std::optional<std::string> host_path(const char16_t* path) {
    std::string out;
    if (!host_path(path, out)) return std::nullopt;
    return out;
}

// quelk never changes its directory: its length is found once.
std::size_t current_directory_units(std::u16string_view) {
    static std::size_t units = [] {
        auto converted = convert_path(".", false);
        return converted ? converted->size() : 0;
    }();
    return units;
}

// As in Cygwin, a backslash separates directories too; names are the host's,
// byte for byte.
bool is_path_separator(char c) { return is_separator(c); }

std::size_t drive_length(const char*) { return 0; }

// Names are read as the host reads them, in the locale: a Linux host has
// no other reading in its C locale.
bool names_read_as_utf8() { return false; }

// Windows' file systems take names whatever their case; Linux underneath
// tells "A" from "a", so the stand-in cannot follow Windows here and leaves
// names as they are (the fake models the folding).
void fold_name_case(std::u16string&) {}

HMODULE LoadLibraryW(const char16_t* file_name) {
    if (std::u16string_view(file_name) != u"kernel32") {
        last_error = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    return &kernel32_module;
}

farproc GetProcAddress(HMODULE module, const char* proc_name) {
    if (module != &kernel32_module || std::strcmp(proc_name, "CreateSymbolicLinkW") != 0) {
        last_error = ERROR_PROC_NOT_FOUND;
        return nullptr;
    }
    return reinterpret_cast<farproc>(&stand_in_create_symbolic_link);
}

BOOL CreateHardLinkW(const char16_t* file_name, const char16_t* existing_file_name, void*) {
    // The host names keep their storage from link to link.
    static std::string link, existing;
    if (name_too_long(file_name) || name_too_long(existing_file_name) || !host_path(file_name, link) ||
        !host_path(existing_file_name, existing)) {
        last_error = ERROR_INVALID_NAME;
        return 0;
    }
    if (::link(existing.c_str(), link.c_str()) != 0) {
        last_error = errno == ENOENT ? missing_error(&existing) : error_from_errno(errno);
        return 0;
    }
    return 1;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }

BOOL CloseHandle(HANDLE) { return 1; }

DWORD GetLastError() { return last_error; }

DWORD FormatMessageW(DWORD flags, const void*, DWORD message_id, DWORD, char16_t** buffer, DWORD, void*) {
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0 || (flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0) {
        last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    for (const auto& message : SYSTEM_MESSAGES) {
        if (message.code != message_id) continue;
        std::u16string_view text(message.text);
        *buffer = text::malloc_copy(text);
        return *buffer == nullptr ? 0 : static_cast<DWORD>(text.size());
    }
    last_error = ERROR_MR_MID_NOT_FOUND;
    return 0;
}

void* LocalFree(void* memory) {
    std::free(memory);
    return nullptr;
}

// A Linux user may always make symbolic links: the token holds the privilege.
BOOL OpenProcessToken(HANDLE, DWORD, HANDLE* token) {
    *token = &process_token;
    return 1;
}

BOOL LookupPrivilegeValueW(const char16_t*, const char16_t* name, LUID* luid) {
    if (std::u16string_view(name) != u"SeCreateSymbolicLinkPrivilege") {
        last_error = ERROR_NO_SUCH_PRIVILEGE;
        return 0;
    }
    *luid = LUID{SYMLINK_PRIVILEGE_ID, 0};
    return 1;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*) {
    if (token != &process_token) {
        last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    last_error = 0;
    return 1;
}

void Sleep(DWORD milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
    // A signal kept while interrupts are held cuts the sleep short: the
    // rest is slept.
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// A POSIX host has no sharing modes: no open file keeps its names.
bool file_held_open(const char16_t*) { return false; }

// The token already holds the privilege; there is no Developer Mode.
bool unprivileged_symbolic_links_allowed() { return false; }

void* cygwin_create_path(unsigned what, const void* from) {
    auto path = static_cast<const char*>(from);
    if ((what & ~CCP_RELATIVE) != CCP_POSIX_TO_WIN_W || path == nullptr || *path == '\0') {
        errno = EINVAL;
        return nullptr;
    }
    auto converted = convert_path(path, (what & CCP_RELATIVE) != 0);
    if (!converted) return nullptr;
    return text::malloc_copy(*converted);
}

}  // namespace platform
