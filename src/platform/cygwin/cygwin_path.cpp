// Under Cygwin, POSIX paths are converted by the Cygwin runtime itself.
#include "platform/platform.h"
#include "platform/cygwin/cygwin_names.h"
#include "platform/posix/host_name.h"
#include "text/utf16.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <memory>
#include <string>
#include <sys/cygwin.h>

namespace platform {

void* cygwin_create_path(unsigned what, const void* from) {
    return ::cygwin_create_path(static_cast<cygwin_conv_path_t>(what), from);
}

namespace {

// Cygwin's own absolute Win32 form of the current directory, found once:
// quelk never changes it.
const std::u16string& current_directory() {
    static const std::u16string here = [] {
        std::unique_ptr<char16_t, free_deleter> converted(
            static_cast<char16_t*>(::cygwin_create_path(CCP_POSIX_TO_WIN_W, ".")));
        return converted ? std::u16string(converted.get()) : std::u16string();
    }();
    return here;
}

}  // namespace

// (When it is deeper than MAX_PATH, Cygwin points Windows' own current
// directory elsewhere, and relative Win32 names fail; the length tells the
// callers to give absolute ones.)
std::size_t current_directory_units(std::u16string_view) { return current_directory().size(); }

// Cygwin gives Windows its current directory as it stands, "...\v1.\"
// (path.cc, cwdstuff::set), which Windows reads without the dot when it
// reads a relative name against it (ntdll's path.c tests: c:/test./file is
// c:\test\file); nor can Windows keep one past MAX_PATH.
bool current_directory_changed() {
    static const bool changed = text::needs_long_form(current_directory());
    return changed;
}

// Newlib names the C and POSIX locales' charset "ASCII" (nl_langinfo
// gives it as "ANSI_X3.4-1968"); Cygwin's file calls then read names as
// UTF-8, as its locale documentation says.
bool names_read_as_utf8() {
    const char* charset = ::nl_langinfo(CODESET);
    return charset != nullptr && (std::strcmp(charset, "ANSI_X3.4-1968") == 0 || std::strcmp(charset, "ASCII") == 0 ||
                                  std::strcmp(charset, "US-ASCII") == 0);
}

void adopt_user_locale() { std::setlocale(LC_ALL, ""); }

// Cygwin's own calls read every name themselves.
const char* host_name(const char* path, suffix_scan, std::string&) { return path; }

// Cygwin takes a backslash as a separator too; a drive letter is only
// its converter's business.
bool is_path_separator(char c) { return c == '/' || c == '\\'; }

std::size_t drive_length(const char*) { return 0; }

}  // namespace platform
