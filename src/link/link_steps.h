// What make_link and the forced replacement share: the attempt at one
// link, the link call, the reports, and names as the platform tells them
// apart. It calls neither of them.
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

// LINKNAME as make_link splits it, once: the path and, as views of it,
// its directory and its final name; and the names the file calls are
// given for it and for names beside it. Where a link on the way to its
// directory could lead elsewhere from one call to the next (another
// process repoints it), they go by where the directory led when the run
// first resolved it, as the names given to Windows do: every call of one
// pair reaches one directory.
struct link_name {
    const char* path;
    path_parts parts;
    std::string calls_directory;  // "" or a directory with its separator
    std::string calls;            // LINKNAME there, as typed after its directory
};
// LINKNAME split into NAME, its calls' names found; NAME's storage is
// reused, so that a run over many names allocates for the longest.
void read_linkname(const char* path, link_name& name);

// TARGET as a symbolic link at LINKNAME will reach it: a relative one read
// from LINKNAME's directory ("sub/" + "../x"; "D:" + "x" stays on drive D).
std::string seen_from_link(const char* target, const link_name& linkname);

// Asks Windows for the link, a hard or a symbolic one as the settings say.
bool create_link(const std::u16string& win32_linkname, const std::u16string& win32_target, bool directory);

// The report of a link made (with --verbose), and its status.
int report_made(const char* target, const char* linkname, bool directory);
// The failure that stopped the link, LINKNAME's conversion first.
int report_failure(const char* target, const char* linkname, const attempt& tried);
// A name that has no Win32 form.
int report_unconvertible(const char* name);
// That LINKNAME cannot be replaced: Windows' reason where it gave one,
// else the system's text for ERROR.
int report_cannot_remove(const char* linkname, int error, platform::DWORD win32_error = 0);
// That the temporary link beside LINKNAME stays, with the reason as above.
int report_temporary_left(const char* temporary, int error, platform::DWORD win32_error);

// A name as the platform tells names apart: separators alike, and on
// Windows whatever the case, by the system's own rules.
std::u16string name_key(std::string_view name);
