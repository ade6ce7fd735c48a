#include "fake_platform.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cerrno>
#include <cwctype>
#include <locale.h>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <getopt.h>
#include <optional>

#include "link/convert.h"
#include "link/link.h"
#include "platform/cygwin/cygwin_names.h"
#include "text/utf16.h"

namespace fake {

thread_local int busy = 0;

namespace {

struct scope {
    scope() { ++busy; }
    ~scope() { --busy; }
};

state current;
platform::DWORD last_error = 0;
char kernel32_module;
char process_token;

// UTF-8 of a wide text; the private-range characters that Cygwin's
// converter uses for bytes become those bytes again.
std::string narrow(const char16_t* text) {
    if (text == nullptr) return "null";
    std::string out;
    std::u16string_view rest(text);
    while (!rest.empty()) {
        std::size_t run = 0;
        while (run < rest.size() && !(rest[run] >= 0xF000 && rest[run] < 0xF100)) ++run;
        out += text::to_utf8(rest.substr(0, run));
        if (run < rest.size()) out.push_back(char(rest[run++] - 0xF000));
        rest.remove_prefix(run);
    }
    return out;
}

// The file system's key for a path: slashes, relative to the current
// directory where it can be, no leading "./". A \\?\ name is taken as it
// stands (RtlDosPathNameToNtPathName_U leaves it alone): "." and ".." in it
// are names, which no entry has.
std::string key(std::string path) {
    bool literal = path.rfind("\\\\?\\", 0) == 0;
    if (literal) path.erase(0, 4);
    for (auto& c : path)
        if (c == '\\') c = '/';
    std::string here = "C:" + current.current_directory;
    if (path.rfind(here + "/", 0) == 0)
        path.erase(0, here.size() + 1);
    else if (path == here)
        path = ".";
    else if (path.rfind("C:/", 0) == 0)
        path.erase(0, 2);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    // "." and ".." by name, as Windows reads them.
    std::vector<std::string> names;
    std::size_t start = path[0] == '/' ? 1 : 0;
    while (start <= path.size()) {
        std::size_t end = std::min(path.find('/', start), path.size());
        std::string name = path.substr(start, end - start);
        if (literal && (name == "." || name == ".."))
            names.push_back("\x01" + name);  // a name that nothing has
        else if (name == ".." && !names.empty() && names.back() != "..")
            names.pop_back();
        else if (!name.empty() && name != ".")
            names.push_back(name);
        start = end + 1;
    }
    std::string out = path[0] == '/' ? "/" : "";
    for (std::size_t i = 0; i < names.size(); ++i) out += (i ? "/" : "") + names[i];
    return out.empty() ? "." : out;
}

// The key of the directory a key's entry lies in.
std::string parent_of(const std::string& name) {
    auto slash = name.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : name.substr(0, slash);
}

// Whether a key lies on a file system that keeps DOS names only.
bool on_dos_file_system(const std::string& name) {
    for (const auto& top : current.dos_file_systems)
        if (name == top || name.rfind(top + "/", 0) == 0) return true;
    return false;
}

// Whether a Win32 name has a name that begins with a space or ends in a
// dot or a space, as typed (not carried in the private range); a plain
// name's final dots and spaces Windows drops first.
bool has_dos_edge(std::u16string_view units, bool literal) {
    for (std::size_t start = 0; start <= units.size();) {
        std::size_t end = std::min(units.find_first_of(u"\\/", start), units.size());
        auto name = units.substr(start, end - start);
        if (!name.empty() && name != u"." && name != u".." &&
            (name.front() == u' ' || (literal && (name.back() == u'.' || name.back() == u' '))))
            return true;
        start = end + 1;
    }
    return false;
}

// Whether a key names a directory that is there: the current directory,
// the directories above it, the root, or a directory entry.
bool directory_there(const std::string& name) {
    if (name == "." || name == "/" || name == "..") return true;
    if (name.size() > 3 && name.compare(name.size() - 3, 3, "/..") == 0 && directory_there(parent_of(name))) return true;
    auto found = current.files.find(name);
    return found != current.files.end() && found->second.status.is_directory;
}

// Where a symbolic link at LINK leads, as Windows follows it: an absolute
// target as it is, a relative one from the link's own directory.
std::string resolved_target(const std::string& link, std::string target) {
    for (auto& c : target)
        if (c == '\\') c = '/';
    bool absolute = target[0] == '/' || (target.size() >= 2 && target[1] == ':');
    std::string directory = parent_of(link);
    if (absolute || directory == ".") return key(target);
    return key(directory + "/" + target);
}

// The device of an entry: the second volume's below its path.
std::uint64_t device_of(const std::string& path) {
    const auto& volume = current.second_volume;
    return !volume.empty() && (path == volume || path.rfind(volume + "/", 0) == 0) ? 2 : 1;
}

// A key with the symbolic links among its directories followed, as
// Windows follows them in a name it is given; the final name too where
// asked.
std::string followed_on_the_way(std::string path, bool final_too = false) {
    for (int depth = 0; depth < 8; ++depth) {
        bool followed = false;
        std::size_t last = final_too ? path.size() : path.rfind('/');
        for (std::size_t end = 1; last != std::string::npos && end <= last && !followed; ++end) {
            if (end < last && path[end] != '/') continue;
            std::string link = path.substr(0, end);
            auto found = current.files.find(link);
            if (found == current.files.end() || found->second.symlink_target.empty()) continue;
            path = key(resolved_target(link, found->second.symlink_target) + path.substr(end));
            followed = true;
        }
        if (!followed) break;
    }
    return path;
}

// How Windows takes a name it is to make: the key of what it names, or
// the error that refuses it. The plain form is limited to MAX_PATH units
// and loses a final dot or space; the \\?\ form is taken as it stands.
// Neither may hold a character that Windows refuses in a name.
std::optional<platform::DWORD> windows_name(const char16_t* path, std::string& name) {
    std::u16string_view units(path);
    bool literal = units.substr(0, 4) == u"\\\\?\\";
    // A relative plain name counts the current directory towards MAX_PATH,
    // a drive-relative one that drive's (RtlGetFullPathName_U).
    if (!literal && text::full_path_units(units, platform::current_directory_units(units)) >= text::PLAIN_PATH_LIMIT)
        return platform::ERROR_PATH_NOT_FOUND;
    // A \\?\ name is not rewritten: a slash in it is a character no name
    // may hold.
    if (literal && units.find(u'/') != std::u16string_view::npos) return platform::ERROR_INVALID_NAME;
    // A plain name whose final name is a device's names the device, which
    // is there and is no file (ntdll's path.c tests: C:\nonexistent\nul is
    // \\.\nul): nothing is made at it. (Which code Windows gives is not
    // recorded; the fake says it exists.)
    std::size_t final_start = units.find_last_of(u"\\/:");
    if (!literal && text::is_device_name(units.substr(final_start == std::u16string_view::npos ? 0 : final_start + 1)))
        return platform::ERROR_ALREADY_EXISTS;
    std::size_t start = literal ? 4 : 0;
    if (units.size() >= start + 2 && units[start + 1] == u':') start += 2;
    // Nor a name of more than 255 units, as NTFS takes them.
    std::size_t run = 0;
    for (char16_t unit : units.substr(start)) {
        if (unit < 32 || std::u16string_view(u"\"*:<>?|").find(unit) != std::u16string_view::npos)
            return platform::ERROR_INVALID_NAME;
        run = unit == u'\\' || unit == u'/' ? 0 : run + 1;
        if (run > 255) return platform::ERROR_INVALID_NAME;
    }
    name = key(narrow(path));
    if (on_dos_file_system(name) && has_dos_edge(units.substr(start), literal)) return platform::ERROR_INVALID_NAME;
    // A relative plain name is read against the current directory as
    // Windows keeps it: with a final dot or space dropped from each of its
    // names (ntdll's path.c tests: c:/test./file is c:\test\file).
    bool relative = !literal && !units.empty() && units[0] != u'\\' && units[0] != u'/' && !text::begins_with_drive(units);
    if (relative && platform::current_directory_changed()) {
        std::string windows_directory;
        for (std::size_t start = 1; start <= current.current_directory.size();) {
            std::size_t end = std::min(current.current_directory.find('/', start), current.current_directory.size());
            std::string part = current.current_directory.substr(start, end - start);
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
            windows_directory += "/" + part;
            start = end + 1;
        }
        name = key(windows_directory + "/" + narrow(path));
    }
    // "." and ".." in a \\?\ name are names no entry may have (kernel32's
    // test_GetFileAttributesExW, ntdll's test_nt_names).
    if (name.find('\x01') != std::string::npos) return platform::ERROR_INVALID_NAME;
    // Directory links on the way are followed, wherever they lead.
    name = followed_on_the_way(name);
    if (!literal) {
        auto slash = name.rfind('/');
        std::string last = name.substr(slash == std::string::npos ? 0 : slash + 1);
        // Only dots and spaces as typed: one carried in the private range
        // is a character of the name.
        std::size_t typed = 0;
        while (typed < units.size() && (units[units.size() - 1 - typed] == u'.' || units[units.size() - 1 - typed] == u' '))
            ++typed;
        if (last != "." && last != "..")
            for (; typed > 0 && !name.empty() && (name.back() == '.' || name.back() == ' '); --typed) name.pop_back();
    }
    return std::nullopt;
}

// Upper case as the fake's Windows compares names: by the host's Unicode
// tables, every character that has a simple upper case.
char32_t upper(char32_t c) {
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (c < 0x80 || unicode == locale_t(0)) return c >= U'a' && c <= U'z' ? c - (U'a' - U'A') : c;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), unicode));
}

// The characters of a UTF-8 key, upper case; a byte that is not UTF-8
// stands for itself, apart from every character.
std::u32string upper_characters(const std::string& key) {
    std::u32string out;
    for (std::size_t i = 0; i < key.size();) {
        auto lead = static_cast<unsigned char>(key[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        std::u16string units;
        if (length > 1 && i + length <= key.size() && text::from_utf8(key.substr(i, length), units) && !units.empty()) {
            char32_t c = units.size() == 2 ? 0x10000 + ((units[0] - 0xD800) << 10) + (units[1] - 0xDC00) : units[0];
            out.push_back(upper(c));
            i += length;
        } else {
            out.push_back(length == 1 ? upper(lead) : 0x110000 + lead);
            ++i;
        }
    }
    return out;
}

std::optional<unsigned> scripted(const std::string& operation) {
    if (auto hook = current.before.find(operation); hook != current.before.end()) hook->second();
    auto found = current.script.find(operation);
    if (found == current.script.end() || found->second.empty()) return std::nullopt;
    unsigned answer = found->second.front();
    found->second.pop_front();
    if (answer == 0) return std::nullopt;
    return answer;
}

void log(std::string line) { current.calls.push_back(std::move(line)); }

// A held file refuses, as a sharing violation, to have any of its names
// renamed or removed: for ever, or for its count of tries.
bool refused_while_held(std::uint64_t inode, platform::DWORD* win32_error) {
    auto found = current.held.find(inode);
    if (found == current.held.end() || found->second == 0) return false;
    if (found->second > 0) --found->second;
    *win32_error = platform::ERROR_SHARING_VIOLATION;
    errno = EACCES;
    return true;
}

void set_links(std::uint64_t inode, std::uint64_t links) {
    for (auto& [path, e] : current.files)
        if (e.status.inode == inode) e.status.links = links;
}

using files_iterator = std::map<std::string, entry, ignoring_case>::iterator;

bool ends_in(const std::string& name, const char* suffix) {
    std::size_t length = std::strlen(suffix);
    return name.size() >= length && strncasecmp(name.c_str() + name.size() - length, suffix, length) == 0;
}

// The entry Cygwin's own calls reach for the key NAME: the name itself
// (by case only where the directory tells case apart); else NAME.exe,
// never a directory, as path.cc's stat_suffixes and suffix_scan add it;
// else a shortcut NAME.lnk (suffix_scan's last resort).
files_iterator cygwin_find(const std::string& name) {
    bool by_case = current.case_sensitive.count(parent_of(name)) != 0;
    auto there = [&](files_iterator found, const std::string& wanted) {
        return found != current.files.end() && (!by_case || found->first == wanted);
    };
    if (auto found = current.files.find(name); there(found, name)) return found;
    if (!ends_in(name, ".exe"))
        if (auto found = current.files.find(name + ".exe"); there(found, name + ".exe") && !found->second.status.is_directory)
            return found;
    if (auto found = current.files.find(name + ".lnk"); there(found, name + ".lnk") && found->second.shortcut)
        return found;
    return current.files.end();
}

// Whether Cygwin takes a native symbolic link for one: only one whose
// target is relative, or a "\\??\\X:" or "\\??\\UNC\\" NT name, as Windows
// stores a drive or UNC target; one into the NT namespace (the
// \\?\\GLOBALROOT\\ form its converter writes for /proc/sys) is a file
// to it, and its calls act on what it leads to (path.cc,
// check_reparse_point_string).
bool cygwin_link_through(const entry& e) { return e.symlink_target.rfind("\\\\?\\GLOBALROOT", 0) == 0; }

// What Cygwin's rename and unlink act on for an entry: the entry, or where
// a link it takes for a file leads.
files_iterator cygwin_acted_on(files_iterator found) {
    if (found == current.files.end() || !cygwin_link_through(found->second)) return found;
    std::string rest = found->second.symlink_target.substr(std::strlen("\\\\?\\GLOBALROOT\\??\\"));
    return current.files.find(key(rest));
}

// Takes a name away from its file, which keeps its other names.
void erase_name(files_iterator name) {
    auto status = name->second.status;
    current.files.erase(name);
    set_links(status.inode, status.links - 1);
}

// Puts SOURCE's entry at TO, in place of DESTINATION's where there is one.
void move_over(files_iterator source, files_iterator destination, const std::string& to) {
    if (destination != current.files.end()) erase_name(destination);
    auto moved = source->second;
    current.files.erase(source);
    current.files[to] = moved;
}

// The keys of two names a call is given, or false with Windows' refusal of
// the first refused as the last error.
bool both_windows_names(const char16_t* first, std::string& first_key, const char16_t* second,
                        std::string& second_key) {
    auto refused = windows_name(first, first_key);
    if (!refused) refused = windows_name(second, second_key);
    if (refused) last_error = *refused;
    return !refused;
}

platform::BOOLEAN QUELK_WINAPI create_symbolic_link(const char16_t* link, const char16_t* target,
                                                    platform::DWORD flags) {
    scope busy_here;
    log("CreateSymbolicLinkW(" + narrow(link) + ", " + narrow(target) + ", " + std::to_string(flags) + ")");
    if (auto error = scripted("CreateSymbolicLinkW")) {
        last_error = *error;
        return 0;
    }
    std::string name;
    if (auto refused = windows_name(link, name)) {
        last_error = *refused;
        return 0;
    }
    // A name that ends in a separator names a directory: a directory link
    // is made under it, a file link refused (Wine's test_symbolic_link).
    std::u16string_view units(link);
    if (!units.empty() && (units.back() == u'\\' || units.back() == u'/') &&
        (flags & platform::SYMBOLIC_LINK_FLAG_DIRECTORY) == 0) {
        last_error = platform::ERROR_INVALID_NAME;
        return 0;
    }
    // The target is stored twice in the reparse point, after 20 bytes of
    // header, "\\??\\" before an absolute one: 16 KiB at most
    // (MAXIMUM_REPARSE_DATA_BUFFER_SIZE).
    std::u16string_view stored(target);
    if (20 + 2 * (2 * stored.size() + (text::begins_with_drive(stored) ? 4 : 0)) > 16 * 1024) {
        last_error = platform::ERROR_INVALID_REPARSE_DATA;
        return 0;
    }
    if (!directory_there(parent_of(name))) {
        last_error = platform::ERROR_PATH_NOT_FOUND;
        return 0;
    }
    if (exists(name)) {
        last_error = platform::ERROR_ALREADY_EXISTS;
        return 0;
    }
    add_symlink(name, narrow(target));
    return 1;
}

}  // namespace

bool ignoring_case::operator()(const std::string& a, const std::string& b) const {
    return upper_characters(a) < upper_characters(b);
}

state& fake() { return current; }

void reset() {
    current = state{};
    forget_resolved_directories();
    last_error = 0;
    settings = run_settings{};
    create_symbolic_link_entry = nullptr;
    symbolic_link_flags = 0;
    links_made.clear();
    optind = 0;
    add_directory(".");
}

namespace {

void add_parents(const std::string& path) {
    std::string directory = parent_of(path);
    if (directory_there(directory) || exists(directory)) return;
    add_directory(directory);
}

}  // namespace

void add_file(const std::string& path, std::uint64_t links) {
    add_parents(path);
    current.files[path] = entry{{device_of(path), current.next_inode++, links, false}, {}};
}

void add_directory(const std::string& path) {
    add_parents(path);
    current.files[path] = entry{{device_of(path), current.next_inode++, 2, true}, {}};
}

void add_symlink(const std::string& path, const std::string& target) {
    add_parents(path);
    current.files[path] = entry{{device_of(path), current.next_inode++, 1, false, 0, true}, target};
}

void add_shortcut(const std::string& path) {
    add_file(path + ".lnk");
    current.files[path + ".lnk"].shortcut = true;
}

bool exists(const std::string& path) { return current.files.count(path) != 0; }

bool temporary_left() {
    for (const auto& [path, entry] : current.files)
        if (path.find(".qk") != std::string::npos) return true;
    return false;
}

std::vector<std::string> calls_of(const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& call : current.calls)
        if (call.rfind(prefix, 0) == 0) found.push_back(call);
    return found;
}

}  // namespace fake

namespace platform {

using fake::current;
using fake::last_error;
using fake::log;
using fake::narrow;
using fake::scripted;

HMODULE LoadLibraryW(const char16_t* file_name) {
    fake::scope busy_here;
    log("LoadLibraryW(" + narrow(file_name) + ")");
    if (current.load_library_fails) {
        last_error = 126;
        return nullptr;
    }
    return &fake::kernel32_module;
}

farproc GetProcAddress(HMODULE module, const char* proc_name) {
    fake::scope busy_here;
    log(std::string("GetProcAddress(") + (module == &fake::kernel32_module ? "kernel32" : "?") + ", " +
        proc_name + ")");
    if (current.no_symbolic_links) return nullptr;
    return reinterpret_cast<farproc>(&fake::create_symbolic_link);
}

BOOL CreateHardLinkW(const char16_t* file_name, const char16_t* existing_file_name, void* security_attributes) {
    fake::scope busy_here;
    log("CreateHardLinkW(" + narrow(file_name) + ", " + narrow(existing_file_name) + ", " +
        (security_attributes ? "attributes" : "null") + ")");
    if (auto error = scripted("CreateHardLinkW")) {
        last_error = *error;
        return 0;
    }
    std::string link, existing;
    if (!fake::both_windows_names(file_name, link, existing_file_name, existing)) return 0;
    // The existing file is opened first: missing, it is a missing file, or
    // a missing path where a directory on the way is missing too
    // (test_FindFirstFileA); a directory refuses a hard link as access
    // denied (test_hard_link).
    auto found = current.files.find(existing);
    if (found == current.files.end()) {
        last_error = fake::directory_there(fake::parent_of(existing)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return 0;
    }
    if (found->second.status.is_directory) {
        last_error = ERROR_ACCESS_DENIED;
        return 0;
    }
    // A name that ends in a separator is a directory's: Windows refuses it
    // for a file that is there (ntdll's test_nt_names), and for a new one,
    // as it refuses a file symbolic link so named (test_symbolic_link).
    auto directory_named = [](std::u16string_view units) {
        return !units.empty() && (units.back() == u'\\' || units.back() == u'/');
    };
    if (directory_named(file_name) || directory_named(existing_file_name)) {
        last_error = ERROR_INVALID_NAME;
        return 0;
    }
    if (!fake::directory_there(fake::parent_of(link))) {
        last_error = ERROR_PATH_NOT_FOUND;
        return 0;
    }
    if (fake::exists(link)) {
        last_error = ERROR_ALREADY_EXISTS;
        return 0;
    }
    // NTFS keeps at most 1023 links to a file (CreateHardLinkW's
    // documentation), and a link stays on its file's volume.
    if (found->second.status.links >= 1023) {
        last_error = ERROR_TOO_MANY_LINKS;
        return 0;
    }
    if (fake::device_of(link) != found->second.status.device) {
        last_error = ERROR_NOT_SAME_DEVICE;
        return 0;
    }
    current.files[link] = current.files[existing];
    fake::set_links(current.files[link].status.inode, current.files[link].status.links + 1);
    return 1;
}

namespace {

BOOL remove_name(const char* call, const char16_t* name, bool directory_link) {
    fake::scope busy_here;
    log(std::string(call) + "(" + narrow(name) + ")");
    if (auto error = scripted(call)) {
        last_error = *error;
        return 0;
    }
    std::string key;
    if (auto refused = fake::windows_name(name, key)) {
        last_error = *refused;
        return 0;
    }
    auto found = current.files.find(key);
    if (found == current.files.end()) {
        last_error = fake::directory_there(fake::parent_of(key)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return 0;
    }
    if (found->second.status.is_directory && !directory_link) {
        last_error = ERROR_ACCESS_DENIED;
        return 0;
    }
    if (fake::refused_while_held(found->second.status.inode, &last_error)) return 0;
    fake::erase_name(found);
    return 1;
}

}  // namespace

BOOL DeleteFileW(const char16_t* file_name) { return remove_name("DeleteFileW", file_name, false); }

BOOL RemoveDirectoryW(const char16_t* path_name) { return remove_name("RemoveDirectoryW", path_name, true); }

BOOL MoveFileExW(const char16_t* existing_file_name, const char16_t* new_file_name, DWORD flags) {
    fake::scope busy_here;
    log("MoveFileExW(" + narrow(existing_file_name) + ", " + narrow(new_file_name) + ", " + std::to_string(flags) + ")");
    std::string from, to;
    if (!fake::both_windows_names(existing_file_name, from, new_file_name, to)) return 0;
    auto source = current.files.find(from);
    if (source == current.files.end()) {
        last_error = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    auto destination = current.files.find(to);
    if (destination != current.files.end()) {
        // A directory is never replaced, a file only when asked
        // (test_move_file).
        if (destination->second.status.is_directory || (flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            last_error = destination->second.status.is_directory ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS;
            return 0;
        }
        if (fake::refused_while_held(destination->second.status.inode, &last_error)) {
            last_error = ERROR_ACCESS_DENIED;
            return 0;
        }
    }
    fake::move_over(source, destination, to);
    return 1;
}

HANDLE GetCurrentProcess() {
    fake::scope busy_here;
    log("GetCurrentProcess()");
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

BOOL CloseHandle(HANDLE object) {
    fake::scope busy_here;
    log(std::string("CloseHandle(") + (object == &fake::process_token ? "token" : "?") + ")");
    --current.open_handles;
    return 1;
}

DWORD GetLastError() { return last_error; }

DWORD FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id, char16_t** buffer,
                     DWORD size, void* arguments) {
    fake::scope busy_here;
    char line[160];
    std::snprintf(line, sizeof line, "FormatMessageW(0x%x, %s, %u, %u, %u, %s)", unsigned(flags),
                  source ? "source" : "null", unsigned(message_id), unsigned(language_id), unsigned(size),
                  arguments ? "arguments" : "null");
    log(line);
    auto found = current.messages.find(message_id);
    if (scripted("FormatMessageW") || found == current.messages.end()) return 0;
    *buffer = text::malloc_copy(found->second);
    ++current.allocated_texts;
    return DWORD(found->second.size());
}

void* LocalFree(void* memory) {
    fake::scope busy_here;
    log("LocalFree()");
    if (memory != nullptr) --current.allocated_texts;
    std::free(memory);
    return nullptr;
}

BOOL OpenProcessToken(HANDLE, DWORD desired_access, HANDLE* token) {
    fake::scope busy_here;
    char line[64];
    std::snprintf(line, sizeof line, "OpenProcessToken(process, 0x%x)", unsigned(desired_access));
    log(line);
    if (auto error = scripted("OpenProcessToken")) {
        last_error = *error;
        return 0;
    }
    *token = &fake::process_token;
    ++current.open_handles;
    return 1;
}

BOOL LookupPrivilegeValueW(const char16_t* system_name, const char16_t* name, LUID* luid) {
    fake::scope busy_here;
    log("LookupPrivilegeValueW(" + narrow(system_name) + ", " + narrow(name) + ")");
    if (auto error = scripted("LookupPrivilegeValueW")) {
        last_error = *error;
        return 0;
    }
    *luid = LUID{35, 0};
    return 1;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state, DWORD buffer_length,
                           TOKEN_PRIVILEGES* previous_state, DWORD* return_length) {
    fake::scope busy_here;
    char line[160];
    std::snprintf(line, sizeof line, "AdjustTokenPrivileges(%s, %d, count %u luid %u attributes %u, %u, %s, %s)",
                  token == &fake::process_token ? "token" : "?", disable_all, unsigned(new_state->PrivilegeCount),
                  unsigned(new_state->Privileges[0].Luid.LowPart), unsigned(new_state->Privileges[0].Attributes),
                  unsigned(buffer_length), previous_state ? "previous" : "null", return_length ? "length" : "null");
    log(line);
    if (auto error = scripted("AdjustTokenPrivileges")) {
        last_error = *error;
        return 0;
    }
    last_error = current.privilege_held ? 0 : ERROR_NOT_ALL_ASSIGNED;
    return 1;
}

bool unprivileged_symbolic_links_allowed() {
    fake::scope busy_here;
    log("unprivileged_symbolic_links_allowed()");
    return current.developer_mode;
}

// As Cygwin's converter: absolute paths get a drive, and relative ones the
// current directory unless asked to stay relative; separators become
// backslashes, and what Windows refuses in a name, or a byte that is not
// ASCII, a private-range character. A symbolic link in the last name is
// followed.
void* cygwin_create_path(unsigned what, const void* from) {
    fake::scope busy_here;
    std::string path = static_cast<const char*>(from);
    char code[16];
    std::snprintf(code, sizeof code, "0x%x", what);
    log(std::string("cygwin_create_path(") + code + ", " + path + ")");
    if (auto error = scripted("cygwin_create_path")) {
        errno = int(*error);
        return nullptr;
    }
    if (path.empty() || current.unconvertible.count(path)) {
        errno = path.empty() ? EINVAL : ENAMETOOLONG;
        return nullptr;
    }
    // Cygwin's window on the NT namespace (path.cc, cygwin_conv_path).
    if (path.rfind("/proc/sys/", 0) == 0) {
        std::u16string converted = u"\\\\?\\GLOBALROOT";
        for (char c : path.substr(9)) converted.push_back(c == '/' ? u'\\' : char16_t(c));
        return text::malloc_copy(converted);
    }
    // Symbolic links are followed wherever they are on the way.
    for (int depth = 0; depth < 8; ++depth) {
        bool followed = false;
        for (std::size_t end = 0; end <= path.size() && !followed; ++end) {
            if (end < path.size() && path[end] != '/') continue;
            if (end == 0) continue;
            std::string link = fake::key(path.substr(0, end));
            auto found = current.files.find(link);
            if (found == current.files.end() || found->second.symlink_target.empty()) continue;
            path = fake::resolved_target(link, found->second.symlink_target) + path.substr(end);
            followed = true;
        }
        if (!followed) break;
    }
    bool drive = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    std::u16string here = u"C:" + std::u16string(current.current_directory.begin(), current.current_directory.end());
    for (auto& unit : here)
        if (unit == u'/') unit = u'\\';
    // A mount point: Windows' name for the place, absolute, or relative to
    // the current directory where it lies below it and may be.
    std::string whole = path[0] == '/' ? path : current.current_directory + "/" + path;
    for (const auto& [posix, win32] : current.mounts) {
        if (whole != posix && whole.rfind(posix + "/", 0) != 0) continue;
        std::u16string converted = win32;
        for (char c : whole.substr(posix.size())) converted.push_back(c == '/' ? u'\\' : char16_t(c));
        if ((what & CCP_RELATIVE) != 0 && converted.rfind(here + u"\\", 0) == 0) converted.erase(0, here.size() + 1);
        return text::malloc_copy(converted);
    }
    std::u16string converted;
    // "D:x" asked for absolute is read from drive D's current directory.
    if (current.drives && drive && (what & CCP_RELATIVE) == 0 && (path.size() == 2 || (path[2] != '/' && path[2] != '\\'))) {
        char16_t letter = char16_t(std::toupper(static_cast<unsigned char>(path[0])));
        auto found = current.drive_directories.find(letter);
        converted = found != current.drive_directories.end() ? found->second : std::u16string{letter, u':', u'\\'};
        if (converted.back() != u'\\') converted.push_back(u'\\');
        path.erase(0, 2);
        drive = false;
        if (path.empty()) converted.pop_back();
    }
    if (path.empty()) return text::malloc_copy(converted);
    bool from_drive_directory = !converted.empty();
    // Natively "/x" stays on the current drive, as Windows reads it, where
    // asked to stay relative.
    if (!from_drive_directory && path[0] == '/' && path[1] != '/' && !(current.drives && (what & CCP_RELATIVE) != 0))
        converted = u"C:";
    else if (!from_drive_directory && path[0] != '/' && !drive && (what & CCP_RELATIVE) == 0)
        converted = here + u"\\";
    // "." names nothing more, as Cygwin's converter reads it.
    while (path.size() >= 2 && path.compare(path.size() - 2, 2, "/.") == 0) path.resize(path.size() - 1);
    if (path == ".") path.clear();
    if (path.empty() && !converted.empty()) converted.pop_back();
    if (path.empty() && converted.empty()) converted = u".";
    // A final name not there is found with ".exe", or as a shortcut, as
    // Cygwin's lstat finds it (path.cc, stat_suffixes, suffix_scan).
    if (!path.empty() && path.back() != '/') {
        std::string name = fake::key(path);
        auto found = fake::cygwin_find(name);
        if (!fake::exists(name) && found != current.files.end()) path += found->first.substr(name.size());
    }
    // Each name read as Cygwin reads it, in the locale (or UTF-8, where
    // names are read so); a drive's colon stays.
    std::size_t start = 0;
    if (drive) {
        converted.push_back(char16_t(path[0]));
        converted.push_back(u':');
        start = 2;
    }
    // On a file system that keeps DOS names only, a leading space and a
    // final dot or space of each name in the private range (path.cc,
    // get_nt_native_path).
    bool dos = fake::on_dos_file_system(fake::key("C:" + whole));
    for (std::size_t i = start; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/' && path[i] != '\\') continue;
        std::size_t from = converted.size();
        append_cygwin_name(converted, std::string_view(path).substr(start, i - start));
        if (dos && converted.substr(from) != u"." && converted.substr(from) != u"..") {
            for (std::size_t at = from; at < converted.size() && converted[at] == u' '; ++at) converted[at] |= 0xF000;
            for (std::size_t at = converted.size(); at > from && (converted[at - 1] == u'.' || converted[at - 1] == u' '); --at)
                converted[at - 1] |= 0xF000;
        }
        if (i < path.size()) converted.push_back(u'\\');
        start = i + 1;
    }
    return text::malloc_copy(converted);
}

std::size_t current_directory_units(std::u16string_view name) {
    if (current.drives && text::is_drive_relative(name)) {
        char16_t letter = name[0] >= u'a' && name[0] <= u'z' ? char16_t(name[0] - u'a' + u'A') : name[0];
        auto found = current.drive_directories.find(letter);
        return found == current.drive_directories.end() ? 3 : found->second.size();
    }
    // "\x" is read on the current drive, "C:" (Wine's path.c tests).
    if (!name.empty() && (name[0] == u'\\' || name[0] == u'/') && (name.size() == 1 || (name[1] != u'\\' && name[1] != u'/')))
        return 2;
    return 2 + current.current_directory.size();
}

bool current_directory_changed() {
    if (current.drives) return false;  // the native build's own directory
    std::u16string here = u"C:" + std::u16string(current.current_directory.begin(), current.current_directory.end());
    return text::needs_long_form(here);
}

void adopt_user_locale() { std::setlocale(LC_ALL, ""); }

namespace {

// Newlib's ASCII charset, as Cygwin has it since 3.5.0: a byte is the
// character of its value, and a character up to U+00FF its byte.
bool newlib_ascii_to_utf16(const char* text, std::u16string& out) {
    out.clear();
    for (; *text != '\0'; ++text) out.push_back(static_cast<unsigned char>(*text));
    return true;
}

}  // namespace

bool names_read_as_utf8() { return current.newlib_c_locale; }

bool text_to_wide(const char* text, std::u16string& out) {
    return name_to_utf16(text, out, current.newlib_c_locale ? newlib_ascii_to_utf16 : text::locale_to_utf16);
}

std::optional<std::string> text_to_multibyte(const char16_t* text) {
    if (!current.newlib_c_locale) return text::locale_from_utf16(text);
    std::string bytes;
    for (; *text != u'\0'; ++text) {
        if (*text > 0xFF) return std::nullopt;
        bytes.push_back(static_cast<char>(*text));
    }
    return bytes;
}

bool is_path_separator(char c) { return c == '/' || c == '\\'; }

std::size_t drive_length(const char* path) {
    return current.drives && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' ? 2 : 0;
}

void fold_name_case(std::u16string& name) {
    std::u16string folded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00);
        c = fake::upper(c);
        if (c < 0x10000) {
            folded.push_back(char16_t(c));
        } else {
            folded.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            folded.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    name.swap(folded);
}

int file_lstat(const char* path, file_status* status) {
    fake::scope busy_here;
    log(std::string("lstat(") + path + ")");
    if (auto error = scripted("lstat")) {
        errno = int(*error);
        return -1;
    }
    std::string name = fake::key(path);
    // A device or a mount point, which Cygwin's mount table and device
    // list give (mount.cc, conv_to_win32_path).
    if (auto only = current.cygwin_only.find(name); *path != '\0' && only != current.cygwin_only.end()) {
        *status = only->second;
        return 0;
    }
    auto found = fake::cygwin_find(name);
    if (*path == '\0' || found == current.files.end()) {
        errno = ENOENT;
        return -1;
    }
    // A final separator asks for a directory (POSIX path resolution).
    std::string_view given(path);
    if ((given.back() == '/' || given.back() == '\\') && !found->second.status.is_directory &&
        !(found->second.status.is_link && file_is_directory(path))) {
        errno = ENOTDIR;
        return -1;
    }
    *status = found->second.status;
    if (fake::cygwin_link_through(found->second)) status->is_link = false;
    return 0;
}

int file_identity(const char* path, bool follow, file_status* status) {
    if (!follow) {
        // The entry is opened as a rename would open it: a held file
        // refuses, and says so (a try of its count).
        int result = file_lstat(path, status);
        if (result != 0) return result;
        DWORD error;
        status->links = 0;
        status->held = fake::refused_while_held(status->inode, &error) ? 1 : 0;
        return 0;
    }
    fake::scope busy_here;
    log(std::string("stat(") + path + ")");
    std::string name = fake::key(path);
    if (auto only = current.cygwin_only.find(name); *path != '\0' && only != current.cygwin_only.end()) {
        *status = only->second;
        status->links = 0;
        return 0;
    }
    for (int depth = 0; *path != '\0' && depth < 8; ++depth) {
        auto found = fake::cygwin_find(name);
        if (found == current.files.end()) break;
        if (found->second.symlink_target.empty()) {
            *status = found->second.status;
            status->links = 0;
            return 0;
        }
        name = fake::resolved_target(name, found->second.symlink_target);
    }
    errno = ENOENT;
    return -1;
}

bool file_is_directory(const char* path) {
    file_status status;
    return file_identity(path, true, &status) == 0 && status.is_directory;
}

int file_unlink(const char* path, DWORD* win32_error) {
    fake::scope busy_here;
    log(std::string("unlink(") + path + ")");
    *win32_error = 0;
    if (auto error = scripted("unlink")) {
        errno = int(*error);
        return -1;
    }
    if (current.cygwin_only.count(fake::key(path)) != 0) {
        errno = EPERM;
        return -1;
    }
    auto found = fake::cygwin_acted_on(fake::cygwin_find(fake::key(path)));
    if (found == current.files.end()) {
        errno = ENOENT;
        return -1;
    }
    if (fake::refused_while_held(found->second.status.inode, win32_error)) return -1;
    if (found->second.status.is_directory) {
        errno = EISDIR;
        return -1;
    }
    fake::erase_name(found);
    return 0;
}

int file_rename(const char* from, const char* to, DWORD* win32_error) {
    fake::scope busy_here;
    log(std::string("rename(") + from + ", " + to + ")");
    *win32_error = 0;
    if (auto error = scripted("rename")) {
        errno = int(*error);
        *win32_error = current.rename_win32_error;
        return -1;
    }
    auto source = fake::cygwin_acted_on(fake::cygwin_find(fake::key(from)));
    if (source == current.files.end()) {
        errno = ENOENT;
        return -1;
    }
    // Cygwin's rename onto a virtual file system or a device (syscalls.cc,
    // rename2: "No renames to virtual FSes").
    if (current.cygwin_only.count(fake::key(to)) != 0) {
        errno = EROFS;
        return -1;
    }
    std::string target = fake::key(to);
    auto destination = current.files.find(target);
    bool by_case = current.case_sensitive.count(fake::parent_of(target)) != 0;
    if (destination != current.files.end() && by_case && destination->first != target) destination = current.files.end();
    // syscalls.cc, rename2, where Cygwin finds TO only by a suffix: an
    // executable or a shortcut renamed replaces what it found there, suffix
    // and all; a plain file takes TO as given, and the executable or
    // shortcut that clashed goes.
    if (destination == current.files.end()) {
        auto found = fake::cygwin_find(target);
        if (found != current.files.end() && (source->second.binary || source->second.shortcut)) {
            destination = found;
            target = found->first;
        } else if (found != current.files.end() && (found->second.binary || found->second.shortcut)) {
            fake::erase_name(found);
        }
    }
    if (fake::refused_while_held(source->second.status.inode, win32_error)) return -1;
    // Windows refuses to rename onto a held file as access denied.
    if (destination != current.files.end() && fake::refused_while_held(destination->second.status.inode, win32_error)) {
        *win32_error = ERROR_ACCESS_DENIED;
        return -1;
    }
    // A name renamed onto itself stays (ntdll: "oldpath == newpath").
    if (destination == source) return 0;
    if (destination != current.files.end()) {
        if (destination->second.status.is_directory) {
            errno = EISDIR;
            return -1;
        }
        // Two names of one file: POSIX's rename, and Wine's, does nothing;
        // a system may remove the source name instead.
        if (destination->second.status.inode == source->second.status.inode) {
            if (!current.rename_keeps_source) fake::erase_name(source);
            return 0;
        }
    }
    fake::move_over(source, destination, target);
    return 0;
}

bool file_held_open(const char16_t* path) {
    fake::scope busy_here;
    log("file_held_open(" + narrow(path) + ")");
    if (auto hook = current.before.find("file_held_open"); hook != current.before.end()) hook->second();
    std::string name;
    if (fake::windows_name(path, name)) return false;  // Windows cannot open it: nothing found held
    auto found = current.files.find(name);
    DWORD error;
    return found != current.files.end() && fake::refused_while_held(found->second.status.inode, &error);
}

void Sleep(DWORD milliseconds) {
    fake::scope busy_here;
    log("Sleep(" + std::to_string(milliseconds) + ")");
    current.slept += milliseconds;
    if (auto hook = current.before.find("Sleep"); hook != current.before.end()) hook->second();
}

bool linkname_examined_first() { return !current.native_order; }

bool dos_names_possible() { return !current.native_order && !current.drives; }

bool case_told_apart(const char* directory) {
    if (current.native_order || current.drives) return false;  // the native build asks nothing
    fake::scope busy_here;
    log(std::string("pathconf(") + directory + ")");
    // As Cygwin's pathconf (syscalls.cc) answers through fpathconf
    // (fhandler/base.cc): 0 where the mount tells case apart. A directory
    // not there for Cygwin: the nearest one above that is.
    for (std::string name = fake::key(directory);; name = fake::parent_of(name)) {
        if (name == "." || name == "/") return current.case_sensitive.count(name) != 0;
        auto found = fake::cygwin_find(name);
        if (found != current.files.end()) return current.case_sensitive.count(found->first) != 0;
    }
}

// The entry Windows reaches for the name, or else the nearest directory on
// the way, found whatever its case (Wine's test_hard_link: a new name that
// exists in another case is that entry): another where its name differs.
bool reaches_another_case(const char16_t* win32_name) {
    fake::scope busy_here;
    log("reaches_another_case(" + fake::narrow(win32_name) + ")");
    for (std::string name = fake::key(fake::narrow(win32_name)); name != "." && name != "/";
         name = fake::parent_of(name)) {
        auto found = current.files.find(name);
        if (found != current.files.end()) return found->first != name;
    }
    return false;
}

// The directory with every symbolic link on the way followed (as Cygwin's
// realpath gives it), as the fake's own key.
std::optional<std::string> physical_directory(const char* directory) {
    if (current.native_order || current.drives) return std::nullopt;  // the native build has none
    fake::scope busy_here;
    log(std::string("realpath(") + directory + ")");
    std::string path = fake::followed_on_the_way(fake::key(*directory == '\0' ? "." : directory), true);
    if (!fake::directory_there(path)) return std::nullopt;
    return path;
}

// Whether the fake's rename does nothing for two names of one file.
bool rename_may_keep_source() { return current.rename_keeps_source; }

int file_directory_writable(const char* path) {
    fake::scope busy_here;
    log(std::string("writable(") + path + ")");
    if (auto error = scripted("writable")) {
        errno = int(*error);
        return -1;
    }
    return 0;
}

}  // namespace platform
