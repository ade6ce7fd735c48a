// platform.h comes before <windows.h>, whose macros would rewrite its constants.
#include "platform/platform.h"
#include "platform/native/native_path.h"

#include <windows.h>

#include <cerrno>
#include <map>
#include <new>
#include <vector>

#include "text/utf16.h"

namespace platform {

namespace {

wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

bool is_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The current directory of the process, or of DRIVE ("D:") when given.
std::optional<std::u16string> current_directory(const char16_t* drive) {
    std::u16string directory;
    for (DWORD size = MAX_PATH;;) {
        directory.resize(size);
        DWORD needed = drive ? ::GetFullPathNameW(reinterpret_cast<const wchar_t*>(drive), size,
                                                  wide(directory.data()), nullptr)
                             : ::GetCurrentDirectoryW(size, wide(directory.data()));
        if (needed == 0) {
            errno = ENOENT;
            return std::nullopt;
        }
        if (needed < size) {
            directory.resize(needed);
            return directory;
        }
        size = needed;
    }
}

// quelk never changes its directory: it is asked for once.
const std::optional<std::u16string>& process_directory() {
    static std::optional<std::u16string> directory = current_directory(nullptr);
    return directory;
}

// A path in the \\?\ or \\.\ form, which Windows takes as it stands.
bool is_literal(std::u16string_view path) {
    return path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
           (path[2] == u'?' || path[2] == u'.') && is_separator(path[3]);
}

// Where an absolute path's names begin: after "D:" or "\\server\share".
std::size_t root_length(std::u16string_view path) {
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
        std::size_t server_end = path.find_first_of(u"\\/", 2);
        if (server_end == std::u16string_view::npos) return path.size();
        std::size_t share_end = path.find_first_of(u"\\/", server_end + 1);
        return share_end == std::u16string_view::npos ? path.size() : share_end;
    }
    if (path.size() >= 2 && is_letter(path[0]) && path[1] == u':') return 2;
    return 0;
}

}  // namespace

// The native build's text is UTF-8 throughout, converted here rather than
// by MultiByteToWideChar: names are converted several times per link, and
// the call costs Windows three calls each time.
bool text_to_wide(const char* text, std::u16string& out) {
    try {
        return text::from_utf8(text, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::optional<std::string> text_to_multibyte(const char16_t* text) {
    try {
        return text::to_utf8_strict(text);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

// No locale to adopt: the C runtime's would be the ANSI code page, which
// no name here is in.
void adopt_user_locale() {}

std::size_t current_directory_units(std::u16string_view name) {
    // "D:x" is read from drive D's own current directory, which
    // GetFullPathNameW gives for "D:" (RtlGetFullPathName_U's rule); each
    // drive is asked once.
    if (text::is_drive_relative(name)) {
        static std::map<char16_t, std::size_t> drives;
        char16_t letter = name[0] >= u'a' && name[0] <= u'z' ? char16_t(name[0] - u'a' + u'A') : name[0];
        auto found = drives.find(letter);
        if (found == drives.end()) {
            char16_t drive[] = {letter, u':', u'\0'};
            auto directory = current_directory(drive);
            found = drives.emplace(letter, directory ? directory->size() : 3).first;
        }
        return found->second;
    }
    const auto& directory = process_directory();
    if (!directory) return 0;
    // "\x" is on the current directory's drive or share (RtlGetFullPathName_U).
    bool rooted = !name.empty() && is_separator(name[0]) && (name.size() == 1 || !is_separator(name[1]));
    return rooted ? root_length(*directory) : directory->size();
}

// Windows keeps its own current directory, as it reads names against it.
bool current_directory_changed() { return false; }

// Windows reads both slashes as separators, and a drive begins a path:
// "D:x" is x in the current directory of drive D.
bool is_path_separator(char c) { return c == '/' || c == '\\'; }

// In UTF-8 no byte of a character of several is below 0x80: every
// separator byte stands alone.
std::size_t name_character_length(const char*, std::size_t, std::mbstate_t*) { return 1; }

// UTF-8 has no separator byte inside a character.
bool name_reads_as_typed(const char*) { return true; }

std::size_t drive_length(const char* path) {
    return is_letter(static_cast<unsigned char>(path[0])) && path[1] == ':' ? 2 : 0;
}

std::optional<std::u16string> native_path(const char* path) {
    std::optional<std::u16string> units(std::in_place);
    if (!text_to_wide(path, *units)) {
        errno = EILSEQ;
        return std::nullopt;
    }
    for (auto& unit : *units)
        if (unit == u'/') unit = u'\\';
    return units;
}

// Windows itself refuses what it refuses in a name; nothing is mapped.
std::optional<std::u16string> relative_path_to_win32(const char* path) { return native_path(path); }

std::optional<std::u16string> absolute_path(std::u16string_view path) {
    try {
        if (is_literal(path)) return std::u16string(path);
        std::u16string whole;
        std::size_t root = root_length(path);
        if (root == 2 && (path.size() == 2 || !is_separator(path[2]))) {
            // "D:x": from the current directory of drive D.
            char16_t drive[] = {path[0], u':', u'\0'};
            auto base = current_directory(drive);
            if (!base) return std::nullopt;
            whole = *base + u"\\" + std::u16string(path.substr(2));
        } else if (root > 0) {
            whole = path;
        } else {
            const auto& base = process_directory();
            if (!base) return std::nullopt;
            // "\x" is on the current directory's drive.
            whole = is_separator(path[0]) ? base->substr(0, root_length(*base)) + std::u16string(path)
                                          : *base + u"\\" + std::u16string(path);
        }
        root = root_length(whole);
        std::vector<std::u16string_view> names;
        std::u16string_view rest = std::u16string_view(whole).substr(root);
        std::size_t start = 0;
        while (start < rest.size()) {
            std::size_t end = rest.find_first_of(u"\\/", start);
            if (end == std::u16string_view::npos) end = rest.size();
            auto name = rest.substr(start, end - start);
            if (name == u"..") {
                if (!names.empty()) names.pop_back();
            } else if (!name.empty() && name != u".") {
                names.push_back(name);
            }
            start = end + 1;
        }
        std::u16string absolute = whole.substr(0, root);
        for (auto name : names) absolute.append(u"\\").append(name);
        if (names.empty() || is_separator(whole.back())) absolute.push_back(u'\\');
        return absolute;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return std::nullopt;
    }
}

std::optional<std::u16string> native_file_name(const char* path) {
    auto name = native_path(path);
    if (!name || !text::needs_long_form(*name, current_directory_units(*name))) return name;
    auto absolute = absolute_path(*name);
    if (!absolute) return std::nullopt;
    return text::long_form(*absolute);
}

// Takes the place of Cygwin's converter: the same contract, the native
// rules. Without CCP_RELATIVE a relative path comes back absolute.
void* cygwin_create_path(unsigned what, const void* from) {
    const char* path = static_cast<const char*>(from);
    if ((what & ~CCP_RELATIVE) != CCP_POSIX_TO_WIN_W || path == nullptr || *path == '\0') {
        errno = EINVAL;
        return nullptr;
    }
    auto converted = native_path(path);
    if (converted && (what & CCP_RELATIVE) == 0) converted = absolute_path(*converted);
    if (!converted) return nullptr;
    return text::malloc_copy(*converted);
}

}  // namespace platform
