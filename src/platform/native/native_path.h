// Paths for the native Windows build, where no Cygwin converts them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A path from the command line as Windows takes it: its UTF-8 in UTF-16,
// forward slashes turned into backslashes. Relative paths stay relative;
// drive, UNC and rooted paths ("/x", on the current drive) keep their
// meaning. None, with errno set, when the text is not valid UTF-8.
std::optional<std::u16string> native_path(const char* path);

// The absolute form of a Win32 path: joined to the current directory (of
// its drive, for "D:x"), "." and ".." resolved by name, and nothing else
// changed. GetFullPathNameW would also drop a final dot or space.
std::optional<std::u16string> absolute_path(std::u16string_view path);

// What the file calls hand to Windows: native_path, in the \\?\ form where
// the plain one would be too long, counting the current directory for a
// relative one, or lose a final dot or space.
std::optional<std::u16string> native_file_name(const char* path);

}  // namespace platform
