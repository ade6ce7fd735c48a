// Between the command line's world (locale text, POSIX paths, errno) and
// Windows' (UTF-16 text, Win32 paths, error codes).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

// A path's directory as a prefix ("", "sub/", "/", "D:" on a platform
// with drives) and its final name, split where the platform splits, with
// trailing separators left out; both are views of the path.
struct path_parts {
    std::string_view directory;
    std::string_view name;
};
path_parts split_path(const char* path);

// Locale text to UTF-16, or none when it is not valid in the locale.
std::optional<std::u16string> to_wide(const char* text);

// UTF-16 to locale text, or none when a character has no form in the locale.
std::optional<std::string> to_multibyte(const char16_t* text);

// The Win32 form of a symbolic link's TARGET, or none with errno set: a
// relative one as typed, name for name, an absolute one (from a root or a
// drive) by the platform's converter.
std::optional<std::u16string> to_win32_path(const char* path);

// A relative symbolic-link target, STORED as typed beside a link in
// DIRECTORY, made to reach what the platform's own calls find at SEEN
// (the target read from the link's directory): kept where Windows, reading
// it from the directory's resolved form, reaches the name the platform's
// converter gives SEEN; else that name, absolute (found with a suffix, a
// mount point, /cygdrive, a link on the way that Windows cannot follow).
void reach_as_seen(std::u16string& stored, std::string_view directory, const char* seen);

// NAME, the Win32 form of a hard link's TARGET that Windows did not find,
// made the entry the platform's own calls find for TARGET (Cygwin's, with
// ".exe" added): true where that is another name.
bool as_found(const char* target, std::u16string& name);

// Whether a path starts from a root or a drive rather than from the
// directory it is read in.
bool is_absolute_path(const char* path);

// The Win32 form of a name that Windows is to open or make (a link's name,
// a hard link's target), naming the entry that the POSIX calls examine:
// its directory as the platform's converter resolves it (mount points,
// symbolic links, drives and their current directories), its final name as
// typed; where the plain form would reach MAX_PATH in full or lose a final
// dot or space, the absolute \\?\ form. A path whose final name is "." or
// "..", or that ends in a separator, is converted whole. *BY_PLATFORM, when
// asked for, tells whether the converter saw the final name (and may have
// followed a symbolic link there), so that it must be examined first.
std::optional<std::u16string> to_win32_file_name(const char* path, bool* by_platform = nullptr);
// The same into NAME, whose storage is reused from name to name; false,
// with errno set, where the other gives none.
bool to_win32_file_name(const char* path, std::u16string& name, bool* by_platform = nullptr);
// The same for a path already split, whose parts are views of it.
bool to_win32_file_name(const path_parts& parts, std::u16string& name, bool* by_platform = nullptr);

// Whether Windows could reach another entry than the one the platform's
// own calls find at PATH: where those tell case apart in its directory and
// Windows does not, an entry whose name differs in case alone. The names
// to_win32_file_name gives are refused so; a symbolic link's TARGET, which
// is stored as text, is asked here.
bool reached_in_another_case(const char* path);

// The physical path of a link's DIRECTORY (as split_path gives it), asked
// of the platform once per run: none where the platform has none.
const std::optional<std::string>& physical_directory_of(std::string_view directory);

// Whether --force found DIRECTORY writable earlier in the run, and noting
// that it has: a run that replaces many names in one directory asks once.
bool directory_found_writable(std::string_view directory);
void note_directory_writable(std::string_view directory);

// Each directory is resolved, and found writable, once per run; a caller
// that changes what the directories are (a test) forgets both.
void forget_resolved_directories();

// The system's one-line text for a Win32 error code, or "[unknown error]".
std::string win32_error_text(platform::DWORD code);
