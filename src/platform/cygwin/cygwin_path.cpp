// Under Cygwin, POSIX paths are converted by the Cygwin runtime itself.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
// platform.h comes before <windows.h>, whose macros would rewrite its constants.
#include "platform/platform.h"
#include "platform/cygwin/cygwin_names.h"
#include "platform/posix/host_name.h"
#include "text/utf16.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <memory>
#include <string>
#include <sys/cygwin.h>
#include <unistd.h>
#include <vector>
#include <windows.h>

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

// Cygwin opens names without OBJ_CASE_INSENSITIVE where the mount is
// posix=1 and the system's obcaseinsensitive is 0, and pathconf then
// answers 0 (fhandler/base.cc, fhandler_base::fpathconf; path.cc,
// path_conv::check); Windows' own calls always ask for it, and NTFS
// honours it then, but in a directory marked case-sensitive. A directory
// that is not there for Cygwin may be there for Windows in another case:
// the nearest one above it that is there answers for it.
bool case_told_apart(const char* directory) {
    std::string path(directory);
    for (;;) {
        errno = 0;
        long insensitive = ::pathconf(path.c_str(), _PC_CASE_INSENSITIVE);
        if (insensitive >= 0 || errno != ENOENT) return insensitive == 0;
        while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
        std::size_t slash = path.find_last_of("/\\");
        if (slash == std::string::npos) {
            if (path == ".") return false;
            path = ".";
        } else {
            if (slash == 0 && path.size() == 1) return false;
            path.resize(slash == 0 ? 1 : slash);
        }
    }
}

namespace {

// A Win32 path's names, without a \\?\ or \\?\UNC\ prefix.
std::vector<std::u16string> names_of(std::u16string_view path) {
    if (path.substr(0, 8) == u"\\\\?\\UNC\\") path.remove_prefix(8);
    else if (path.substr(0, 4) == u"\\\\?\\") path.remove_prefix(4);
    std::vector<std::u16string> names;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = std::min(path.find_first_of(u"\\/", start), path.size());
        if (end > start) names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// A wide result of a call that gives its length, grown until it fits.
template <typename Call>
std::u16string sized(Call call) {
    std::u16string out(MAX_PATH, u'\0');
    for (;;) {
        ::DWORD length = call(reinterpret_cast<wchar_t*>(out.data()), static_cast<::DWORD>(out.size()));
        if (length == 0) return {};
        if (length < out.size()) {
            out.resize(length);
            return out;
        }
        out.resize(length);
    }
}

}  // namespace

// Opens the name as Windows reads it, or else the nearest directory on
// the way that is there, and holds the names of the entry Windows reached
// (its final path) against those asked for, from the last: one that
// differs in case alone is another entry. Where they differ otherwise (a
// link or a mount point on the way), the names no longer pair up, and the
// look stops. Cygwin opened every name of an absolute one by its case
// (path_conv gave it, and its NT calls tell case apart all the way); of a
// relative one, only its own names are held, not the current directory's,
// which Windows keeps as it was typed.
bool reaches_another_case(const char16_t* win32_name) {
    std::u16string_view given(win32_name);
    std::size_t held = static_cast<std::size_t>(-1);
    if (!given.empty() && given[0] != u'\\' && given[0] != u'/' && !text::begins_with_drive(given)) {
        held = 0;
        for (const auto& name : names_of(given))
            if (name == u"..")
                held = held > 0 ? held - 1 : 0;
            else if (name != u".")
                ++held;
    }
    auto path = sized([&](wchar_t* out, ::DWORD size) {
        return ::GetFullPathNameW(reinterpret_cast<const wchar_t*>(win32_name), size, out, nullptr);
    });
    while (path.size() > 3 && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
    auto names = names_of(path);
    // A drive, or a server and its share, is no entry of a directory: its
    // case is the one it was named with.
    bool unc = path.substr(0, 8) == u"\\\\?\\UNC\\" ||
               (path.substr(0, 2) == u"\\\\" && path.substr(0, 4) != u"\\\\?\\");
    std::size_t root = unc ? 2 : !names.empty() && text::begins_with_drive(names[0]) ? 1 : 0;
    for (; names.size() > root; names.pop_back(), held = held > 0 ? held - 1 : 0) {
        HANDLE opened = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (opened == INVALID_HANDLE_VALUE) {
            ::DWORD error = ::GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
            path.resize(path.find_last_of(u"\\/"));
            continue;
        }
        auto reached = names_of(sized([&](wchar_t* out, ::DWORD size) {
            return ::GetFinalPathNameByHandleW(opened, out, size, VOLUME_NAME_DOS);
        }));
        ::CloseHandle(opened);
        for (std::size_t i = names.size(), j = reached.size(); i > root && j > 0 && held > 0; --i, --j, --held) {
            if (names[i - 1] == reached[j - 1]) continue;
            auto own = names[i - 1], found = reached[j - 1];
            fold_name_case(own);
            fold_name_case(found);
            return own == found;
        }
        return false;
    }
    return false;
}

// Cygwin's own calls read every name themselves.
const char* host_name(const char* path, suffix_scan, std::string&) { return path; }

// Cygwin takes a backslash as a separator too; a drive letter is only
// its converter's business.
bool is_path_separator(char c) { return c == '/' || c == '\\'; }

std::size_t drive_length(const char*) { return 0; }

}  // namespace platform
