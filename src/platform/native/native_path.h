// Paths for the native Windows build, where no Cygwin converts them.
#pragma once

#include <optional>
#include <string>

namespace platform {

// A path from the command line as Windows takes it: the locale's text in
// UTF-16, forward slashes turned into backslashes. Relative paths stay
// relative; drive, UNC and rooted paths ("/x", on the current drive) keep
// their meaning. None, with errno set, when the text is not valid.
std::optional<std::u16string> native_path(const char* path);

}  // namespace platform
