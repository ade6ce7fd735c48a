#include "link/convert.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>

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

// Whether swapping the separators gives the name Windows will use: not for
// absolute paths, nor for what Windows would refuse in a name (a quote, a
// control character) or change (a final dot or space), which the platform
// knows how to carry.
// One pass over the path, which also finds its end.
bool converts_textually(const char* path) {
    if (path[0] == '/') return false;
    std::size_t i = 0;
    for (; path[i] != '\0'; ++i) {
        auto byte = static_cast<unsigned char>(path[i]);
        if (byte < 32 || byte == '"' || (byte < 0x80 && is_special[byte])) return false;
    }
    return path[i - 1] != '.' && path[i - 1] != ' ';
}

// The platform's converter, asked to keep a relative path relative.
std::optional<std::u16string> convert_by_platform(const char* path) {
    std::unique_ptr<char16_t, platform::free_deleter> converted(static_cast<char16_t*>(
        platform::cygwin_create_path(platform::CCP_POSIX_TO_WIN_W | platform::CCP_RELATIVE, path)));
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
        auto converted = convert_by_platform(path);
        if (!converted) return false;
        name = std::move(*converted);
        return true;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

}  // namespace

std::optional<std::u16string> to_wide(const char* text) {
    std::u16string wide;
    if (!platform::text_to_wide(text, wide)) return std::nullopt;
    return wide;
}

std::optional<std::string> to_multibyte(const char16_t* text) { return platform::text_to_multibyte(text); }

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
    // Windows reads a relative target from the link's directory: it is kept
    // exactly as typed, dots and all, which no converter would do for "..".
    if (!is_absolute_path(path)) return platform::relative_path_to_win32(path);
    try {
        return convert_by_platform(path);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return std::nullopt;
    }
}

bool to_win32_file_name(const char* path, std::u16string& name, bool* by_platform) {
    bool converted_by_platform;
    if (!convert(path, name, by_platform ? by_platform : &converted_by_platform)) return false;
    if (!text::needs_long_form(name)) return true;
    // The plain form would be cut at MAX_PATH or lose a final dot or space:
    // Windows takes the absolute \\?\ form exactly as it stands.
    try {
        std::unique_ptr<char16_t, platform::free_deleter> absolute(
            static_cast<char16_t*>(platform::cygwin_create_path(platform::CCP_POSIX_TO_WIN_W, path)));
        if (!absolute) return false;
        name = text::long_form(absolute.get());
        return true;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
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
