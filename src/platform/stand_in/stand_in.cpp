// The stand-in for Windows on a POSIX host: the Windows operations emulated
// over the host file system, as if quelk ran in a Cygwin installed at
// C:\cygwin64 with the other drives under /cygdrive. Paths convert the way
// Cygwin's converter does, and every path it gives maps back to the same
// host bytes, so links made through it are real links on this host.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <iconv.h>
#include <langinfo.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/cygwin/cygwin_names.h"
#include "platform/platform.h"
#include "platform/stand_in/cygwin_reading.h"
#include "platform/stand_in/stand_in.h"
#include "text/utf16.h"

namespace platform {

namespace {

thread_local DWORD last_error = 0;

constexpr std::u16string_view ROOT_DIRECTORY = u"\\cygwin64";
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr std::uint32_t SYMLINK_PRIVILEGE_ID = 35;

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
    struct stat st;
    if (existing == nullptr || ::lstat(existing->c_str(), &st) == 0) return ERROR_PATH_NOT_FOUND;
    std::string name = *existing;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    auto slash = name.find_last_of('/');
    std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    return ::stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Whether a Win32 name ends in a separator: a directory's name.
bool ends_in_separator(std::u16string_view name) { return !name.empty() && (name.back() == u'\\' || name.back() == u'/'); }

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
    // The host's names are the names Cygwin shows (strfuncs.cc,
    // _sys_wcstombs): a carried byte or character as itself, the rest in
    // the locale, or in UTF-8 where Cygwin reads names so; a character the
    // charset has no form for as CAN (0x18) and its UTF-8.
    bool utf8 = names_read_as_utf8();
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
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < rest.size() && rest[i + 1] >= 0xDC00 && rest[i + 1] < 0xE000)
                length = 2;
            auto units = rest.substr(i, length);
            i += length - 1;
            // A surrogate alone, which newlib writes as its three bytes
            // (wctomb_r.c, __utf8_wctomb), after CAN outside UTF-8.
            if (unit >= 0xD800 && unit < 0xE000 && length == 1) {
                const char* charset = ::nl_langinfo(CODESET);
                if (!utf8 && (charset == nullptr || std::strcmp(charset, "UTF-8") != 0)) out.push_back('\x18');
                out.push_back(char(0xE0 | (unit >> 12)));
                out.push_back(char(0x80 | ((unit >> 6) & 0x3F)));
                out.push_back(char(0x80 | (unit & 0x3F)));
                continue;
            }
            if (utf8) {
                auto encoded = text::to_utf8_strict(units);
                if (!encoded) return false;
                out.append(*encoded);
                continue;
            }
            std::wstring wide = text::decode_utf16(units.data(), length);
            std::size_t made = std::wcrtomb(bytes, wide[0], &state);
            if (made != static_cast<std::size_t>(-1)) {
                out.append(bytes, made);
                continue;
            }
            auto encoded = text::to_utf8_strict(units);
            if (!encoded) return false;
            state = std::mbstate_t{};
            out.push_back('\x18');
            out.append(*encoded);
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
        auto converted = cygwin_win32_path(".", false, suffix_scan::none);
        return converted ? converted->size() : 0;
    }();
    return units;
}

// As on Cygwin (cygwin_path.cpp): a directory with a name ending in a dot
// or a space, or too long for Windows to keep.
bool current_directory_changed() {
    static const bool changed = [] {
        auto here = cygwin_win32_path(".", false, suffix_scan::none);
        return here && text::needs_long_form(*here);
    }();
    return changed;
}

// As in Cygwin, a backslash separates directories too.
bool is_path_separator(char c) { return c == '/' || c == '\\'; }

std::size_t drive_length(const char*) { return 0; }

// As on Cygwin (cygwin_path.cpp): in a locale whose charset is ASCII, names
// are UTF-8.
bool names_read_as_utf8() {
    const char* charset = ::nl_langinfo(CODESET);
    return charset != nullptr && (std::strcmp(charset, "ANSI_X3.4-1968") == 0 || std::strcmp(charset, "ASCII") == 0 ||
                                  std::strcmp(charset, "US-ASCII") == 0);
}

// A locale whose charset the host cannot convert (glibc then reads every
// byte alone, where Cygwin, which has every charset built in, would read
// characters) is taken for none: the C locale, whose names Cygwin reads
// as UTF-8.
void adopt_user_locale() {
    if (std::setlocale(LC_ALL, "") == nullptr) return;
    const char* charset = ::nl_langinfo(CODESET);
    iconv_t converter = ::iconv_open("UTF-8", charset != nullptr ? charset : "");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        std::setlocale(LC_ALL, "C");
        return;
    }
    ::iconv_close(converter);
}

// Windows' file systems take names whatever their case; Linux underneath
// tells "A" from "a", so the stand-in cannot follow Windows here and leaves
// names as they are (the fake models the folding).
void fold_name_case(std::u16string&) {}

// The host tells case apart for both sides.
bool case_told_apart(const char*) { return false; }
bool reaches_another_case(const char16_t*) { return false; }

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
    // A name that ends in a separator is a directory's: Windows refuses it
    // for a file that is there (ntdll's test_nt_names), and for a new one,
    // as it refuses a file symbolic link so named (test_symbolic_link).
    struct stat st;
    if (ends_in_separator(file_name) ||
        (ends_in_separator(existing_file_name) && ::stat(existing.c_str(), &st) != 0 && errno == ENOTDIR)) {
        last_error = ERROR_INVALID_NAME;
        return 0;
    }
    if (::link(existing.c_str(), link.c_str()) != 0) {
        last_error = errno == ENOENT ? missing_error(&existing) : error_from_errno(errno);
        return 0;
    }
    return 1;
}

namespace {

// Removes the host entry behind a Win32 name: a file, or a link to a
// directory for RemoveDirectoryW; Windows' codes for a failure.
BOOL remove_name(const char16_t* name, bool directory_link) {
    std::string host;
    if (!host_path(name, host)) {
        last_error = ERROR_INVALID_NAME;
        return 0;
    }
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) {
        last_error = errno == ENOENT ? missing_error(&host) : error_from_errno(errno);
        return 0;
    }
    // DeleteFileW refuses a directory; RemoveDirectoryW removes a directory
    // link itself, or an empty directory.
    if (S_ISDIR(st.st_mode) && !directory_link) {
        last_error = ERROR_ACCESS_DENIED;
        return 0;
    }
    if ((S_ISDIR(st.st_mode) ? ::rmdir(host.c_str()) : ::unlink(host.c_str())) != 0) {
        last_error = error_from_errno(errno);
        return 0;
    }
    return 1;
}

}  // namespace

BOOL DeleteFileW(const char16_t* file_name) { return remove_name(file_name, false); }

BOOL RemoveDirectoryW(const char16_t* path_name) { return remove_name(path_name, true); }

BOOL MoveFileExW(const char16_t* existing_file_name, const char16_t* new_file_name, DWORD flags) {
    std::string from, to;
    if (!host_path(existing_file_name, from) || !host_path(new_file_name, to)) {
        last_error = ERROR_INVALID_NAME;
        return 0;
    }
    struct stat st;
    // Without MOVEFILE_REPLACE_EXISTING a name there stays; a directory
    // always does (test_move_file).
    if (::lstat(to.c_str(), &st) == 0 && ((flags & MOVEFILE_REPLACE_EXISTING) == 0 || S_ISDIR(st.st_mode))) {
        last_error = S_ISDIR(st.st_mode) ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS;
        return 0;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        last_error = errno == ENOENT ? missing_error(&from) : error_from_errno(errno);
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
    auto converted = cygwin_win32_path(path, (what & CCP_RELATIVE) != 0, suffix_scan::stat);
    if (!converted) return nullptr;
    return text::malloc_copy(*converted);
}

}  // namespace platform
