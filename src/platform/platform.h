// The operating-system calls quelk makes, behind one header.
//
// The Windows operations keep their documented names, argument order and
// results, so they can be read against the Windows documentation. Which
// implementation stands behind them is chosen by the build: the real Win32
// calls, a stand-in that emulates them over a POSIX file system, or the
// recording fake of the tests. Wide strings are UTF-16 code units
// (char16_t), the same 16-bit units as Windows' WCHAR on every host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// CreateSymbolicLinkW is reached through a pointer; on 32-bit Windows it
// must carry the system's calling convention.
#if defined(__i386__) && (defined(_WIN32) || defined(__CYGWIN__))
#define QUELK_WINAPI __attribute__((stdcall))
#else
#define QUELK_WINAPI
#endif

namespace platform {

using DWORD = std::uint32_t;
using BOOL = int;
using BOOLEAN = unsigned char;  // one byte, unlike BOOL
using HANDLE = void*;
using HMODULE = void*;
// Any entry point, to be cast to its own type (as GetProcAddress gives it).
using farproc = void (*)();

// CreateSymbolicLinkW returns a one-byte BOOLEAN, not a four-byte BOOL.
using create_symbolic_link_fn = BOOLEAN(QUELK_WINAPI*)(const char16_t* symlink_file_name,
                                                       const char16_t* target_file_name,
                                                       DWORD flags);

struct LUID {
    DWORD LowPart;
    std::int32_t HighPart;
};

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};

static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "TOKEN_PRIVILEGES must match the Windows layout");

inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
inline constexpr DWORD ERROR_WRITE_PROTECT = 19;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_LOCK_VIOLATION = 33;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_TOO_MANY_LINKS = 1142;
inline constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;
inline constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;
inline constexpr DWORD ERROR_INVALID_REPARSE_DATA = 4392;

inline constexpr DWORD SYMBOLIC_LINK_FLAG_DIRECTORY = 0x1;
inline constexpr DWORD SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE = 0x2;
inline constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x20;
inline constexpr DWORD TOKEN_QUERY = 0x08;
inline constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;
inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

// Conversion codes of cygwin_create_path.
inline constexpr unsigned CCP_POSIX_TO_WIN_W = 0x1;
inline constexpr unsigned CCP_RELATIVE = 0x100;

// kernel32
HMODULE LoadLibraryW(const char16_t* file_name);
farproc GetProcAddress(HMODULE module, const char* proc_name);
BOOL CreateHardLinkW(const char16_t* file_name, const char16_t* existing_file_name,
                     void* security_attributes);
HANDLE GetCurrentProcess();
BOOL CloseHandle(HANDLE object);
DWORD GetLastError();
// With FORMAT_MESSAGE_ALLOCATE_BUFFER, *buffer receives a text that is
// released with LocalFree.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                     char16_t** buffer, DWORD size, void* arguments);
void* LocalFree(void* memory);

// advapi32
BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token);
BOOL LookupPrivilegeValueW(const char16_t* system_name, const char16_t* name, LUID* luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                           DWORD buffer_length, TOKEN_PRIVILEGES* previous_state,
                           DWORD* return_length);

// Remove a name as Windows reads it: a file (a file link), or a directory
// link (RemoveDirectoryW removes the link, never what it leads to).
BOOL DeleteFileW(const char16_t* file_name);
BOOL RemoveDirectoryW(const char16_t* path_name);
// Renames a name as Windows reads it (a link itself, never what it leads
// to), replacing a file there with MOVEFILE_REPLACE_EXISTING.
inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
BOOL MoveFileExW(const char16_t* existing_file_name, const char16_t* new_file_name, DWORD flags);

void Sleep(DWORD milliseconds);

// Whether another program holds the file at this Win32 path open without
// sharing delete access, so that none of its names can be renamed or
// removed now: Windows answers a sharing violation.
bool file_held_open(const char16_t* path);

// Whether Windows lets a user without the symbolic-link privilege make
// symbolic links (Developer Mode), for callers that pass
// SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE. Any doubt means no.
bool unprivileged_symbolic_links_allowed();

// The platform's own POSIX-to-Win32 path converter (Cygwin's, where there
// is one): a zero-terminated wide path allocated with malloc, or null with
// errno set.
void* cygwin_create_path(unsigned what, const void* from);

// Adopts the user's locale from the environment, where the command line's
// text is in it (Cygwin, the stand-in); nothing on the native build, whose
// text is UTF-8 throughout.
void adopt_user_locale();

// The command line's narrow text in UTF-16 and back, as this platform's
// programs read it: the adopted locale's multibyte text where the C library
// holds one (Cygwin, the stand-in), UTF-8 on the native Windows build. None
// when the text has no form on the other side.
// The conversion to UTF-16 writes into OUT, reusing its storage, so that a
// run over many names allocates once; false when the text has no form.
bool text_to_wide(const char* text, std::u16string& out);
std::optional<std::string> text_to_multibyte(const char16_t* text);

// A relative path as text Windows stores in a symbolic link and reads from
// the link's directory: exactly as typed, name for name, with backslashes
// for separators; a character Windows refuses in a name is carried the way
// this platform carries it in names (Cygwin: in the private-use range; the
// native build: as typed). None, with errno set, when the text has no form.
std::optional<std::u16string> relative_path_to_win32(const char* path);

// The length, in UTF-16 units, of the absolute Win32 form of the directory
// Windows reads the relative NAME from, which it adds before it counts
// MAX_PATH: drive D's current directory for "D:x", the current directory's
// root ("C:", "\\server\share") for "\x", else the process's.
std::size_t current_directory_units(std::u16string_view name = {});

// Whether Windows would read a relative name against another directory
// than the current one: where its Win32 form has a name ending in a dot or
// a space (which Windows drops from a relative name's directory), or is
// too long for Windows to keep (Cygwin then points Windows elsewhere).
// Names must be absolute then.
bool current_directory_changed();

// How this platform reads a path the user typed: which bytes separate
// directories, and how many leading bytes name a drive ("D:", which begins
// a path on the native build).
bool is_path_separator(char c);
std::size_t drive_length(const char* path);
// How many bytes the character that begins at TEXT takes (of the LEFT
// there), as this platform reads names: a separator byte inside a
// character is no separator. 1 for a byte that begins no character.
std::size_t name_character_length(const char* text, std::size_t left, std::mbstate_t* state);
// Whether the platform's own file calls read PATH as typed, character by
// character: Cygwin splits a path at every backslash byte before it reads
// a character, so a name with one inside a character (the second byte of
// many Big5, GBK or Shift_JIS characters), or with a character's first
// byte right before a separator, names another entry there, or none.
bool name_reads_as_typed(const char* path);
// Turns a UTF-16 name into a form in which two names that the file system
// takes for one are equal: on Windows, upper case by the system's own
// table, which is what its file systems compare; on a POSIX host, as it
// stands.
void fold_name_case(std::u16string& name);

// Interrupts held back while a step must run to its end: on a POSIX host
// every signal that ends a program and may be caught, but for those that a
// fault of the program itself raises; Ctrl-C, Ctrl-Break and a closing
// console on the native build. One that came meanwhile takes effect when
// they are let go.
void hold_interrupts();
void release_interrupts();

// The POSIX file calls, behind the same boundary so that every platform can
// provide them and the tests can watch them. Each returns 0, or -1 with
// errno set.
struct file_status {
    std::uint64_t device;
    std::uint64_t inode;
    std::uint64_t links;
    bool is_directory;
    std::uint64_t inode_high = 0;  // the upper half of a 128-bit file id (ReFS)
    // From lstat: the entry is a symbolic link (on Windows, any reparse
    // point), which stat would follow elsewhere.
    bool is_link = false;
    // Whether another program holds the file open so that none of its
    // names can be renamed or removed now (as file_held_open tells): 1 or
    // 0 where the look itself could tell, -1 where it could not.
    signed char held = -1;
};

// lstat: the entry itself, a symbolic link not followed, all of it.
int file_lstat(const char* path, file_status* status);
// What a name is, without its count of links (left 0), which Windows
// answers apart: with FOLLOW as stat, through a symbolic link, else as
// lstat. The native Windows build opens the entry itself as a rename
// would, and so also tells whether it is held.
int file_identity(const char* path, bool follow, file_status* status);
// Whether a name leads to a directory, through symbolic links, as stat
// tells it.
bool file_is_directory(const char* path);
// The calls that change names also give Windows' own code for a failure in
// *WIN32_ERROR (0 where Windows gave none), since errno cannot tell a
// sharing violation from a refusal.
int file_unlink(const char* path, DWORD* win32_error);
// Puts FROM in TO's place, replacing what is there, whatever kind of link
// it is (read-only too), without TO ever missing for good.
int file_rename(const char* from, const char* to, DWORD* win32_error);
// 0 when entries may be added to and removed from the directory.
int file_directory_writable(const char* path);
// The directory DIRECTORY leads to, every symbolic link on the way
// followed, as a POSIX path the file calls read as it stands: where a link
// in it physically lies, which Windows reads a relative symbolic-link
// target from. None where the platform's own calls read names as Windows
// does (the native build), or DIRECTORY is not there.
std::optional<std::string> physical_directory(const char* directory);
// Whether LINKNAME is examined before the link is asked for. Cygwin's
// calls find entries that its Win32 name does not reach (a name found with
// ".exe", a shortcut, a device, a mount point), so only a look first tells
// that something is there; the native build asks Windows first, which
// answers for the same name.
bool linkname_examined_first();
// Whether the platform's own calls tell names apart by case in DIRECTORY
// where Windows' calls, which the links are asked of, do not: Cygwin on a
// posix=1 mount while the system's obcaseinsensitive is 0, where its
// pathconf gives _PC_CASE_INSENSITIVE as 0. Never on the native build,
// nor on the stand-in, whose Windows is its host and tells case apart too.
bool case_told_apart(const char* directory);
// Whether Windows, reading WIN32_NAME whatever its case, reaches an entry
// whose name, or the name of a directory on the way, differs from the one
// asked for in case alone: where there is such an entry, another than the
// one the platform's own calls find.
bool reaches_another_case(const char16_t* win32_name);
// Whether the platform's converter may carry a name's leading spaces and
// final dots and spaces in the private range (U+F020, U+F02E), as Cygwin
// does where a file system keeps DOS names only; such a name is then
// written as the converter writes it. Not on the native build, whose
// names Windows reads as typed.
bool dos_names_possible();
// Whether a rename of one name of a file onto another name of the same
// file may do nothing, as POSIX rename does, and keep the source name.
bool rename_may_keep_source();

// Owners for what the operations hand out; each release goes through this
// header, so the tests see it.
struct local_free_deleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
struct free_deleter {
    void operator()(void* memory) const { std::free(memory); }
};
struct handle_closer {
    void operator()(HANDLE object) const { CloseHandle(object); }
};
using unique_handle = std::unique_ptr<void, handle_closer>;

}  // namespace platform
