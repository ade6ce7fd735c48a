// How the stand-in reads a POSIX name before its host sees it: once, as
// Cygwin reads it, into the Win32 path Cygwin's own calls reach, which the
// stand-in then maps to the host path behind it. Its POSIX calls and its
// path converter share this one reading.
#pragma once

#include <optional>
#include <string>

#include "platform/posix/host_name.h"

namespace platform {

// The Win32 path Cygwin's converter gives PATH, relative where
// KEEP_RELATIVE asks and the path lies below the current directory; none,
// with errno set, where Cygwin refuses it.
std::optional<std::u16string> cygwin_win32_path(const char* path, bool keep_relative, suffix_scan scan);


}  // namespace platform
