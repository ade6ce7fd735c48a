// Cygwin's reading of a POSIX path, for the stand-in: each rule follows
// the Cygwin source named beside it (winsup/cygwin), so that what the
// stand-in's host sees is the entry Cygwin's own calls would reach.
#include "platform/stand_in/cygwin_reading.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/cygwin/cygwin_names.h"
#include "platform/stand_in/stand_in.h"

namespace platform {

namespace {

// Where the installation's root lies: Cygwin's "/" (mount.cc,
// conv_to_win32_path: the mount table's "/" entry).
constexpr std::u16string_view ROOT = u"C:\\cygwin64";

// winsup.h isdirsep: both slashes separate, byte by byte, whatever the
// charset.
bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// path.cc, normalize_posix_path: "X:" and a separator begin a Win32 path.
bool begins_with_drive(std::string_view path) {
    return path.size() >= 3 && is_letter(path[0]) && path[1] == ':' && is_separator(path[2]);
}

// winsup.h isabspath: a separator, or "X:" alone or before a separator.
bool is_absolute(std::string_view path) {
    return is_separator(path[0]) || (path.size() >= 2 && is_letter(path[0]) && path[1] == ':' &&
                                     (path.size() == 2 || is_separator(path[2])));
}

// The names of a path, split at every separator byte; empty ones (runs of
// separators) dropped, as both of Cygwin's normalizers do.
std::vector<std::string_view> split(std::string_view path) {
    std::vector<std::string_view> names;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !is_separator(path[i])) continue;
        if (i > start) names.push_back(path.substr(start, i - start));
        start = i + 1;
    }
    return names;
}

void append_names(std::u16string& out, const std::vector<std::string_view>& names) {
    for (auto name : names) {
        out.push_back(u'\\');
        append_cygwin_name(out, name);
    }
}

std::u16string drive(char letter) {
    std::u16string out;
    out.push_back(char16_t(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter));
    out.push_back(u':');
    return out;
}

// path.cc, normalize_posix_path: ".." leaves the directory that the path
// before it resolves to, symbolic links followed, as the host resolves it.
// Up to the last "..", the host itself resolves the path; where it cannot
// (a name on the way is missing), the names stay as given, so that the
// host meets the same failure when it reads them back.
std::vector<std::string_view> host_resolved(std::vector<std::string_view> names, std::string& storage) {
    std::size_t last_up = names.size();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == "..") last_up = i;
    if (last_up == names.size()) {
        std::erase(names, std::string_view("."));
        return names;
    }
    std::string head;
    for (std::size_t i = 0; i <= last_up; ++i) head.append("/").append(names[i]);
    std::vector<std::string_view> resolved;
    if (char* real = ::realpath(head.c_str(), nullptr)) {
        storage = real;
        std::free(real);
        resolved = split(storage);
    } else {
        resolved.assign(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(last_up) + 1);
        std::erase(resolved, std::string_view("."));
    }
    for (std::size_t i = last_up + 1; i < names.size(); ++i)
        if (names[i] != ".") resolved.push_back(names[i]);
    return resolved;
}

// An absolute POSIX path, split into names, as a Win32 path (mount.cc,
// conv_to_win32_path): /cygdrive/x/... on drive X, the rest below the
// installation's root.
std::u16string absolute_win32(std::vector<std::string_view> given) {
    std::string storage;
    auto names = host_resolved(std::move(given), storage);
    std::u16string out;
    if (names.size() >= 2 && names[0] == "cygdrive" && names[1].size() == 1 && is_letter(names[1][0])) {
        out = drive(names[1][0]);
        names.erase(names.begin(), names.begin() + 2);
        append_names(out, names);
        if (names.empty()) out.push_back(u'\\');
        return out;
    }
    out = std::u16string(ROOT);
    append_names(out, names);
    return out;
}

std::optional<std::u16string> current_win32_directory(std::string& host) {
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) return std::nullopt;
    host = cwd;
    std::free(cwd);
    return absolute_win32(split(host));
}

// path.cc, mkrelpath: a path below the current directory loses its Win32
// form; the directory itself is ".".
void make_relative(std::u16string& path, const std::u16string& directory) {
    if (path.compare(0, directory.size(), directory) != 0) return;
    if (path.size() > directory.size() && path[directory.size()] != u'\\') return;
    path.erase(0, std::min(path.size(), directory.size() + 1));
    if (path.empty()) path.push_back(u'.');
}

bool ends_in_exe(std::string_view name) {
    if (name.size() < 4) return false;
    auto tail = name.substr(name.size() - 4);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return tail[0] == '.' && lower(tail[1]) == 'e' && lower(tail[2]) == 'x' && lower(tail[3]) == 'e';
}

// path.cc, stat_suffixes, suffix_scan::has and symlink_info::check: a final
// name that is not there, and has no ".exe" of its own, is found as the
// file of that name with ".exe" added, never a directory so named; a name
// too long for the suffix is not tried with it.
// The host name HOST with ".exe" added, into FOUND, where that is what
// Cygwin finds for it; asked only when HOST itself is not there.
bool exe_found(const char* host, std::string& found) {
    struct stat st;
    if (::lstat(host, &st) == 0 || errno != ENOENT) return false;
    std::string_view name(host);
    if (name.empty() || is_separator(name.back())) return false;
    auto slash = name.find_last_of('/');
    auto final_name = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (final_name == "." || final_name == ".." || final_name.size() > NAME_MAX - 4 || ends_in_exe(final_name))
        return false;
    found.assign(name).append(".exe");
    bool there = ::lstat(found.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    errno = ENOENT;
    return there;
}

// path.cc, normalize_win32_path: a path with a backslash, or that begins
// with a drive, is read as a Win32 path: made absolute from the current
// directory's Win32 form, or its drive for "\\x", with "." and ".." taken
// as text, never above the drive or the network share's root.
std::optional<std::u16string> win32_reading(std::string_view path, const std::u16string& directory) {
    std::u16string root;
    std::vector<std::u16string> names;
    std::string_view rest = path;
    if (rest.size() >= 4 && is_separator(rest[0]) && (rest[1] == '?' || is_separator(rest[1])) && rest[2] == '?' &&
        is_separator(rest[3])) {
        // The long-path and NT prefixes: a drive or UNC must follow.
        rest.remove_prefix(4);
        if (rest.substr(0, 3) == "UNC" && rest.size() > 3 && is_separator(rest[3])) {
            rest.remove_prefix(4);
            root = u"\\\\";
        } else if (!(rest.size() >= 2 && is_letter(rest[0]) && rest[1] == ':' &&
                     (rest.size() == 2 || is_separator(rest[2])))) {
            errno = EINVAL;
            return std::nullopt;
        }
    }
    if (!root.empty()) {
        // After \\?\UNC\, a network path without its two separators.
    } else if (rest.size() >= 2 && is_letter(rest[0]) && rest[1] == ':') {
        root = drive(rest[0]);
        rest.remove_prefix(2);
    } else if (rest.size() >= 2 && is_separator(rest[0]) && is_separator(rest[1]) &&
               (rest.size() == 2 || !is_separator(rest[2]))) {
        root = u"\\\\";
    } else if (!rest.empty() && is_separator(rest[0])) {
        root = directory.substr(0, 2);
    } else {
        root = directory.substr(0, 2);
        std::u16string_view own = std::u16string_view(directory).substr(2);
        for (std::size_t start = 0; start < own.size();) {
            std::size_t end = std::min(own.find(u'\\', start), own.size());
            if (end > start) names.emplace_back(own.substr(start, end - start));
            start = end + 1;
        }
    }
    for (auto name : split(rest)) {
        if (name == ".") continue;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.emplace_back();
        append_cygwin_name(names.back(), name);
    }
    std::u16string out = root;
    for (const auto& name : names) {
        if (out.back() != u'\\') out.push_back(u'\\');
        out.append(name);
    }
    if (out.back() == u':') out.push_back(u'\\');
    return out;
}

}  // namespace

std::optional<std::u16string> cygwin_win32_path(const char* text, bool keep_relative, suffix_scan scan) {
    std::string_view path(text);
    if (path.empty()) {
        errno = ENOENT;
        return std::nullopt;
    }
    std::string host_directory;
    auto directory = current_win32_directory(host_directory);
    if (!directory) return std::nullopt;
    bool relative = !is_absolute(path);
    bool trailing = is_separator(path.back());
    std::u16string out;
    if (begins_with_drive(path) || path[0] == '\\' || path.find('\\') != std::string_view::npos) {
        auto read = win32_reading(path, *directory);
        if (!read) return std::nullopt;
        out = std::move(*read);
        if (keep_relative && relative) make_relative(out, *directory);
    } else if (path.size() > 2 && path[0] == '/' && path[1] == '/' && path[2] != '/') {
        // Two leading slashes stay, and name a network path (path.cc,
        // normalize_posix_path; mount.cc, conv_to_win32_path).
        auto read = win32_reading(path, *directory);
        if (!read) return std::nullopt;
        out = std::move(*read);
    } else if (path[0] == '/') {
        out = absolute_win32(split(path));
    } else {
        auto names = split(path);
        bool up = false;
        for (auto name : names) up = up || name == "..";
        if (keep_relative && !up) {
            std::erase(names, std::string_view("."));
            for (std::size_t i = 0; i < names.size(); ++i) {
                if (i > 0) out.push_back(u'\\');
                append_cygwin_name(out, names[i]);
            }
            if (out.empty()) out = u".";
        } else {
            out = absolute_win32(split(host_directory + "/" + std::string(path)));
            if (keep_relative) make_relative(out, *directory);
        }
    }
    if (trailing && out.back() != u'\\' && out != u".") out.push_back(u'\\');
    std::string host, found;
    if (scan == suffix_scan::stat && !trailing && host_path(out.c_str(), host) && exe_found(host.c_str(), found))
        out.append(u".exe");
    return out;
}

const char* host_name(const char* text, suffix_scan scan, std::string& storage) {
    std::string_view path(text);
    // Most names read as they stand, and cost no copy: no backslash, drive,
    // network path or cygdrive, nothing but ASCII (whose reserved
    // characters Cygwin carries in the private range and back to the same
    // bytes).
    bool plain = !begins_with_drive(path) && path.substr(0, 2) != "//" &&
                 path.find("cygdrive") == std::string_view::npos;
    for (std::size_t i = 0; plain && i < path.size(); ++i) {
        auto byte = static_cast<unsigned char>(path[i]);
        plain = byte < 0x80 && byte != '\\' && byte != 0x18;
    }
    if (plain) return scan == suffix_scan::stat && exe_found(text, storage) ? storage.c_str() : text;
    auto win32 = cygwin_win32_path(text, true, scan);
    if (!win32) return nullptr;
    if (!host_path(win32->c_str(), storage)) {
        errno = EILSEQ;
        return nullptr;
    }
    return storage.c_str();
}

}  // namespace platform
