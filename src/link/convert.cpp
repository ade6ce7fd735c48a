#include "link/convert.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "text/utf16.h"

namespace {

// Characters that Windows reads differently from POSIX: a name holding any
// of them is left to the platform's converter.
constexpr const char* win32_special_characters = "?<>\\:*|";

// The same characters as a table, looked up once per byte of every name.
constexpr auto is_special = [] {
    std::array<bool, 0x80> table{};
    for (const char* c = win32_special_characters; *c != '\0'; ++c) table[static_cast<unsigned char>(*c)] = true;
    return table;
}();

// The length of a non-empty text in which Windows would refuse or read
// differently no byte (a quote, a control character, one of the special
// characters), or none: one pass, which also finds its end.
std::optional<std::size_t> ordinary_length(const char* text) {
    std::size_t i = 0;
    for (; text[i] != '\0'; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 32 || byte == '"' || (byte < 0x80 && is_special[byte])) return std::nullopt;
    }
    return i;
}

// Whether swapping the separators gives the name Windows will use: not for
// absolute paths, nor for what Windows would refuse in a name or change (a
// final dot or space), which the platform knows how to carry.
// A name that ends in a separator asks for a directory, which the
// converter resolves as the platform's calls do (a link Windows cannot
// follow, a mount point).
bool converts_textually(const char* path) {
    if (path[0] == '/') return false;
    auto length = ordinary_length(path);
    return length && *length > 0 && path[*length - 1] != '.' && path[*length - 1] != ' ' && path[*length - 1] != '/';
}

// What the platform's converter is asked for: a relative path kept
// relative, or the absolute form.
constexpr unsigned RELATIVE_FORM = platform::CCP_POSIX_TO_WIN_W | platform::CCP_RELATIVE;
constexpr unsigned ABSOLUTE_FORM = platform::CCP_POSIX_TO_WIN_W;

// The platform's converter, asked for the form WHAT names; none, with
// errno set, when it refuses the path.
std::optional<std::u16string> convert_by_platform(const char* path, unsigned what) {
    std::unique_ptr<char16_t, platform::free_deleter> converted(
        static_cast<char16_t*>(platform::cygwin_create_path(what, path)));
    if (!converted) return std::nullopt;
    return std::u16string(converted.get());
}

// A name Windows opens or makes, which the plain form limits to MAX_PATH
// units, into NAME.
bool convert(const char* path, std::u16string& name, bool* by_platform) {
    *by_platform = false;
    if (*path == '\0') {
        errno = EINVAL;
        return false;
    }
    try {
        // A relative name of ordinary characters needs only its separators
        // swapped, and stays relative. A slash is never part of another
        // character in any locale's encoding, so it is swapped after the
        // conversion.
        if (converts_textually(path) && platform::text_to_wide(path, name) && name.size() < text::PLAIN_PATH_LIMIT) {
            std::replace(name.begin(), name.end(), u'/', u'\\');
            return true;
        }
        *by_platform = true;
        auto converted = convert_by_platform(path, RELATIVE_FORM);
        if (!converted) return false;
        name = std::move(*converted);
        return true;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

// Where the directories of the names of a run lead, as the platform's
// converter resolves them: asked once per directory, so that linking many
// names into one directory costs one resolution.
struct resolved_directory {
    std::optional<std::u16string> plain;     // kept relative where it can be
    std::optional<std::u16string> absolute;  // asked for only when needed
    bool plain_changed = false;              // a name of it ends in a dot or space
    bool writable = false;                   // found so for --force
    signed char case_apart = -1;             // case_told_apart, once asked
    std::optional<std::string> physical;     // where its links lie, once asked
    bool physical_asked = false;
};
std::map<std::string, resolved_directory, std::less<>> resolved;
// The last one asked for, which most names of a run share.
std::map<std::string, resolved_directory, std::less<>>::iterator last_resolved = resolved.end();

std::map<std::string, resolved_directory, std::less<>>::iterator find_resolved(std::string_view directory) {
    if (last_resolved != resolved.end() && last_resolved->first == directory) return last_resolved;
    auto found = resolved.find(directory);
    if (found == resolved.end()) found = resolved.emplace(std::string(directory), resolved_directory{}).first;
    return last_resolved = found;
}

// The directory's resolution, its plain or its absolute form asked for;
// the form is none, with errno set, when the converter refuses it.
const resolved_directory& directory_form(std::string_view directory, bool absolute) {
    auto found = find_resolved(directory);
    auto& entry = found->second;
    const char* path = directory.empty() ? "." : found->first.c_str();
    if (!absolute) {
        if (!entry.plain) {
            if (directory.empty()) {
                entry.plain.emplace();  // the current directory: names go as they are
            } else {
                // Where its links lead for the file calls too, at the same
                // moment: one directory for both sides.
                physical_directory_of(directory);
                entry.plain = convert_by_platform(path, RELATIVE_FORM);
            }
            entry.plain_changed = entry.plain && text::needs_long_form(*entry.plain);
        }
        return entry;
    }
    if (!entry.absolute) entry.absolute = convert_by_platform(path, ABSOLUTE_FORM);
    return entry;
}

// Whether Windows would read the relative NAME against another directory
// than the one Cygwin reads it from.
bool read_elsewhere(std::u16string_view name) {
    bool relative = !name.empty() && name[0] != u'\\' && name[0] != u'/' && !text::begins_with_drive(name);
    return relative && platform::current_directory_changed();
}

// DIRECTORY's form and the final name's units, joined as Windows reads
// them: nothing between a bare drive ("D:x") or a final separator and the
// name.
void join(std::u16string& name, const std::u16string& directory, const std::u16string& final_units) {
    name.assign(directory);
    if (!name.empty() && name.back() != u'\\' && name.back() != u'/' && !(name.size() == 2 && text::begins_with_drive(name)))
        name.push_back(u'\\');
    name.append(final_units);
}

// The final name's units, as typed: a swap of nothing but its encoding,
// and what Windows refuses in a name carried the way the platform carries
// it.
bool final_name_units(const char* final_name, std::u16string& units) {
    if (ordinary_length(final_name) && platform::text_to_wide(final_name, units)) return true;
    auto mapped = platform::relative_path_to_win32(final_name);
    if (!mapped) return false;
    units = std::move(*mapped);
    return true;
}

}  // namespace

path_parts split_path(const char* whole) {
    // The platform's separators as a table, asked for once.
    static const auto separator = [] {
        std::array<bool, 256> table{};
        for (int c = 0; c < 256; ++c) table[c] = platform::is_path_separator(static_cast<char>(c));
        return table;
    }();
    std::string_view path(whole);
    std::size_t drive = platform::drive_length(whole);
    // Read character by character, as the platform reads names: in some
    // charsets a separator byte ends a character of two. Where the final
    // name begins and ends; trailing separators are left out.
    std::size_t start = drive, end = drive;
    bool after_separator = true;
    std::mbstate_t state{};
    for (std::size_t i = drive; i < path.size();) {
        auto byte = static_cast<unsigned char>(path[i]);
        if (byte < 0x80 && separator[byte]) {
            after_separator = true;
            ++i;
            continue;
        }
        if (after_separator) start = i;
        after_separator = false;
        i += byte < 0x80 ? 1 : platform::name_character_length(whole + i, path.size() - i, &state);
        end = std::min(i, path.size());
    }
    // Only separators: a root ("/", "D:/") keeps one of them.
    if (end == drive) {
        auto root = path.substr(0, std::min(path.size(), drive + 1));
        return {root, path.substr(root.size(), 0)};
    }
    return {path.substr(0, start), path.substr(start, end - start)};
}

void forget_resolved_directories() {
    resolved.clear();
    last_resolved = resolved.end();
}

const std::optional<std::string>& physical_directory_of(std::string_view directory) {
    auto& entry = find_resolved(directory)->second;
    if (!entry.physical_asked) {
        entry.physical = platform::physical_directory(std::string(directory).c_str());
        entry.physical_asked = true;
    }
    return entry.physical;
}

bool directory_found_writable(std::string_view directory) { return find_resolved(directory)->second.writable; }

void note_directory_writable(std::string_view directory) { find_resolved(directory)->second.writable = true; }

namespace {

// Whether a name of PATH begins with a space or ends in a dot or a space,
// which Cygwin carries in the private range where the file system keeps
// DOS names only (path.cc, get_nt_native_path).
bool has_dos_edge(std::string_view path) {
    for (std::size_t start = 0; start < path.size();) {
        std::size_t end = start;
        while (end < path.size() && !platform::is_path_separator(path[end])) ++end;
        auto name = path.substr(start, end - start);
        if (!name.empty() && name != "." && name != ".." &&
            (name.front() == ' ' || name.back() == '.' || name.back() == ' '))
            return true;
        start = end + 1;
    }
    return false;
}

// FINAL with its leading spaces and final dots and spaces in the private
// range, as get_nt_native_path writes a name for a DOS-only file system.
std::u16string dos_form(std::u16string final_units) {
    for (std::size_t i = 0; i < final_units.size() && final_units[i] == u' '; ++i) final_units[i] |= 0xF000;
    for (std::size_t i = final_units.size(); i > 0 && (final_units[i - 1] == u'.' || final_units[i - 1] == u' '); --i)
        final_units[i - 1] |= 0xF000;
    return final_units;
}

// The converter's absolute form of PATH ending in FINAL, as typed or in
// its DOS form, into NAME: Cygwin carries a leading space and a final dot
// or space of each name there in the private range (a mount marked "dos";
// a file system it finds keeps DOS names only, path.cc symlink_info::check
// and fs_info::update), which only its converter knows. Its relative form
// would not do: get_nt_native_path skips a relative path's first units.
// Where its final name is neither (it followed a link there, or added a
// suffix), a name that cannot be there is asked for beside it to tell the
// form; where that too is neither, the name is refused.
bool by_dos_reading(const char* path, const path_parts& parts, const std::u16string& final_units, std::u16string& name) {
    auto final_of = [](std::u16string_view whole) {
        std::size_t slash = whole.find_last_of(u'\\');
        return whole.substr(slash == std::u16string_view::npos ? 0 : slash + 1);
    };
    auto whole = convert_by_platform(path, ABSOLUTE_FORM);
    if (!whole) return false;
    auto dos = dos_form(final_units);
    auto found = final_of(*whole);
    if (found != final_units && found != dos) {
        // A name with one dot more, which no entry has, reads as this one.
        std::string beside(parts.directory);
        beside.append(parts.name).push_back('.');
        auto probe = convert_by_platform(beside.c_str(), ABSOLUTE_FORM);
        if (!probe) return false;
        auto probed = final_of(*probe);
        bool carried = probed == dos_form(final_units + u'.');
        if (!carried && probed != final_units + u'.') {
            errno = EILSEQ;
            return false;
        }
        // The probe's directory is LINKNAME's, where a link followed at
        // the final name led elsewhere.
        probe->resize(probe->size() - probed.size());
        probe->append(carried ? dos : final_units);
        whole = std::move(probe);
    }
    name = std::move(*whole);
    if (text::needs_long_form(name)) name = text::long_form(name);
    return true;
}

// The name whose directory is resolved by the converter and whose final
// name is appended as typed; false with errno set when it has no form.
bool by_directory(const path_parts& parts, std::u16string& name) {
    static std::u16string final_units;
    const char* final_name = parts.name.data();  // the end of PATH, so terminated
    if (!final_name_units(final_name, final_units)) {
        errno = EILSEQ;
        return false;
    }
    if (platform::dos_names_possible() && has_dos_edge(parts.directory.data()))
        return by_dos_reading(parts.directory.data(), parts, final_units, name);
    const auto& directory = directory_form(parts.directory, false);
    if (!directory.plain) return false;
    join(name, *directory.plain, final_units);
    // Windows counts MAX_PATH over the full path, the current directory's
    // part too, changes a name that ends in a dot or a space, and reads a
    // device's name as the device: then the absolute \\?\ form, which it
    // takes as it stands, a file of that name.
    std::size_t full = text::full_path_units(name, platform::current_directory_units(name));
    char16_t last = final_units.empty() ? u'\0' : final_units.back();
    if (full < text::PLAIN_PATH_LIMIT && !directory.plain_changed && last != u'.' && last != u' ' &&
        !text::is_device_name(final_units) && !read_elsewhere(name))
        return true;
    // The absolute form has "." and ".." resolved, which the \\?\ form
    // would take as names.
    const auto& absolute = directory_form(parts.directory, true).absolute;
    if (!absolute) return false;
    join(name, *absolute, final_units);
    name = text::long_form(name);
    return true;
}

}  // namespace

std::optional<std::u16string> to_wide(const char* text) {
    std::u16string wide;
    if (!platform::text_to_wide(text, wide)) return std::nullopt;
    return wide;
}

std::optional<std::string> to_multibyte(const char16_t* text) { return platform::text_to_multibyte(text); }

namespace {

// An absolute Win32 path's names, each upper case in ASCII (as a name is
// compared here only to tell whether two readings differ), "." and ".."
// taken as text, without a \\?\ prefix.
std::vector<std::u16string> compared_names(std::u16string_view path) {
    if (path.substr(0, 4) == u"\\\\?\\") path.remove_prefix(4);
    std::vector<std::u16string> names;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = std::min(path.find_first_of(u"\\/", start), path.size());
        std::u16string name(path.substr(start, end - start));
        for (auto& unit : name)
            if (unit >= u'a' && unit <= u'z') unit = char16_t(unit - u'a' + u'A');
        if (name == u"..") {
            if (names.size() > 1) names.pop_back();
        } else if (!name.empty() && name != u".") {
            names.push_back(std::move(name));
        }
        start = end + 1;
    }
    return names;
}

}  // namespace

void reach_as_seen(std::u16string& stored, std::string_view directory, const char* seen) {
    try {
        const auto& absolute = directory_form(directory, true).absolute;
        if (!absolute) return;
        auto converted = convert_by_platform(seen, ABSOLUTE_FORM);
        if (!converted) return;
        if (compared_names(*absolute + u"\\" + stored) != compared_names(*converted)) stored = std::move(*converted);
    } catch (const std::bad_alloc&) {
        // Kept as typed.
    }
}

bool as_found(const char* target, std::u16string& name) {
    try {
        auto found = convert_by_platform(target, ABSOLUTE_FORM);
        if (!found) return false;
        if (text::needs_long_form(*found)) *found = text::long_form(*found);
        if (compared_names(*found) == compared_names(name)) return false;
        name = std::move(*found);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool is_absolute_path(const char* path) {
    auto first = static_cast<unsigned char>(path[0]);
    bool drive = ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) && path[1] == ':';
    return platform::is_path_separator(path[0]) || drive;
}

std::optional<std::u16string> to_win32_path(const char* path) {
    if (*path == '\0') {
        errno = EINVAL;
        return std::nullopt;
    }
    if (!platform::name_reads_as_typed(path)) {
        errno = EILSEQ;
        return std::nullopt;
    }
    // Windows reads a relative target from the link's directory: it is kept
    // exactly as typed, dots and all, which no converter would do for "..".
    if (!is_absolute_path(path)) return platform::relative_path_to_win32(path);
    try {
        return convert_by_platform(path, RELATIVE_FORM);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return std::nullopt;
    }
}

namespace {

bool win32_file_name(const path_parts& parts, std::u16string& name, bool* by_platform);

// Whether the platform's own calls tell case apart in DIRECTORY while
// Windows does not, asked once per directory in a run.
bool case_told_apart_in(std::string_view directory) {
    auto found = find_resolved(directory);
    auto& entry = found->second;
    if (entry.case_apart < 0) entry.case_apart = platform::case_told_apart(directory.empty() ? "." : found->first.c_str());
    return entry.case_apart == 1;
}

}  // namespace

bool to_win32_file_name(const path_parts& parts, std::u16string& name, bool* by_platform) {
    if (!win32_file_name(parts, name, by_platform)) return false;
    // Where Cygwin tells case apart and Windows does not, Windows may reach
    // another entry than the one Cygwin examined: such a name is refused.
    if (case_told_apart_in(parts.directory) && platform::reaches_another_case(name.c_str())) {
        errno = EILSEQ;
        return false;
    }
    return true;
}

bool reached_in_another_case(const char* path) {
    auto parts = split_path(path);
    if (!case_told_apart_in(parts.directory)) return false;
    try {
        auto absolute = convert_by_platform(path, ABSOLUTE_FORM);
        return absolute && platform::reaches_another_case(absolute->c_str());
    } catch (const std::bad_alloc&) {
        return false;
    }
}

namespace {

bool win32_file_name(const path_parts& parts, std::u16string& name, bool* by_platform) {
    bool converted_by_platform;
    if (!by_platform) by_platform = &converted_by_platform;
    *by_platform = false;
    // The whole path: its directory begins it, and its final name ends it
    // but for trailing separators.
    const char* path = parts.directory.data();
    if (*path == '\0') {
        errno = EINVAL;
        return false;
    }
    // What the platform's own calls would read as another name has no
    // Win32 form that names the entry they examine.
    if (!platform::name_reads_as_typed(path)) {
        errno = EILSEQ;
        return false;
    }
    // A final name of its own is appended to its resolved directory; ".",
    // "..", a bare drive and a final separator are the converter's to read.
    bool final_separator = parts.name.data()[parts.name.size()] != '\0';
    if (!parts.name.empty() && parts.name != "." && parts.name != ".." && !final_separator) {
        try {
            return by_directory(parts, name);
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
            return false;
        }
    }
    if (!convert(path, name, by_platform)) return false;
    if (!text::needs_long_form(name, platform::current_directory_units(name)) && !read_elsewhere(name)) return true;
    // The plain form would be cut at MAX_PATH or lose a final dot or space:
    // Windows takes the absolute \\?\ form exactly as it stands. The
    // converter sees the whole name for it.
    *by_platform = true;
    try {
        auto absolute = convert_by_platform(path, ABSOLUTE_FORM);
        if (!absolute) return false;
        name = text::long_form(*absolute);
        return true;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

}  // namespace

bool to_win32_file_name(const char* path, std::u16string& name, bool* by_platform) {
    return to_win32_file_name(split_path(path), name, by_platform);
}

std::optional<std::u16string> to_win32_file_name(const char* path, bool* by_platform) {
    std::u16string name;
    if (!to_win32_file_name(path, name, by_platform)) return std::nullopt;
    return name;
}

std::string win32_error_text(platform::DWORD code) {
    // Insert marks ("%1") come back as they stand instead of reading
    // arguments that were never given.
    constexpr platform::DWORD flags = platform::FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                      platform::FORMAT_MESSAGE_IGNORE_INSERTS |
                                      platform::FORMAT_MESSAGE_FROM_SYSTEM;
    char16_t* buffer = nullptr;
    platform::FormatMessageW(flags, nullptr, code, 0, &buffer, 0, nullptr);
    if (buffer != nullptr) {
        std::optional<std::string> text;
        {
            std::unique_ptr<char16_t, platform::local_free_deleter> owned(buffer);
            text = to_multibyte(owned.get());
        }
        // System texts end in CR LF. Only the LF is cut, since every message
        // ends with its own; the CR stays.
        if (text) {
            if (!text->empty() && text->back() == '\n') text->pop_back();
            return std::move(*text);
        }
    }
    return "[unknown error]";
}
