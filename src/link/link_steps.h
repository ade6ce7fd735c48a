// What make_link and the forced replacement share: the attempt at one
// link, the link call, the reports, and names as the platform reads them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/convert.h"
#include "platform/platform.h"

// One pair's way to its link. Failures are kept until LINKNAME has been
// examined: an existing LINKNAME is reported before anything else.
struct attempt {
    std::optional<std::u16string> win32_linkname;
    std::optional<std::u16string> win32_target;
    bool directory = false;
    platform::DWORD error = 0;  // Windows' reason when it refused the link
};

// Asks Windows for the link, a hard or a symbolic one as the settings say.
bool create_link(const std::u16string& win32_linkname, const std::u16string& win32_target, bool directory);

// The report of a link made (with --verbose), and its status.
int report_made(const char* target, const char* linkname, bool directory);
// The failure that stopped the link, LINKNAME's conversion first.
int report_failure(const char* target, const char* linkname, const attempt& tried);

// A name as the platform tells names apart: whatever their case on
// Windows, byte for byte on the stand-in.
std::u16string name_key(std::string_view name);

