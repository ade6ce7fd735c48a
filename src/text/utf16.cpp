#include "text/utf16.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace text {

std::optional<std::u16string> encode_utf16(const wchar_t* wide, std::size_t length) {
    std::u16string units;
    units.reserve(length);
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
        units.assign(reinterpret_cast<const char16_t*>(wide), length);
        return units;
    }
    for (std::size_t i = 0; i < length; ++i) {
        auto c = static_cast<char32_t>(wide[i]);
        if (c < 0x10000) {
            units.push_back(static_cast<char16_t>(c));
        } else if (c <= 0x10FFFF) {
            c -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            return std::nullopt;
        }
    }
    return units;
}

std::wstring decode_utf16(const char16_t* units, std::size_t length) {
    std::wstring wide;
    wide.reserve(length);
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
        wide.assign(reinterpret_cast<const wchar_t*>(units), length);
        return wide;
    }
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        wide.push_back(static_cast<wchar_t>(c));
    }
    return wide;
}

std::string to_utf8(std::u16string_view units) {
    std::string bytes;
    bytes.reserve(units.size());
    append_utf8(bytes, units);
    return bytes;
}

void append_utf8(std::string& bytes, std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            bytes.push_back(char(c));
        } else if (c < 0x800) {
            bytes += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            bytes += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
        } else {
            bytes += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)), char(0x80 | ((c >> 6) & 0x3F)),
                      char(0x80 | (c & 0x3F))};
        }
    }
}

std::size_t utf8_character(std::string_view bytes, char32_t& character) {
    if (bytes.empty()) return 0;
    auto lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x80) {
        character = lead;
        return 1;
    }
    // The length a lead byte announces, and the least character of that
    // length: anything shorter is an overlong form.
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || length > bytes.size()) return 0;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        auto next = static_cast<unsigned char>(bytes[k]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return 0;
    character = c;
    return length;
}

bool from_utf8(std::string_view bytes, std::u16string& units) {
    units.clear();
    units.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            units.push_back(lead);
            ++i;
            continue;
        }
        char32_t c;
        std::size_t length = utf8_character(bytes.substr(i), c);
        if (length == 0) return false;
        if (c >= 0x10000) {
            units.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(char16_t(c));
        }
        i += length;
    }
    return true;
}

std::optional<std::string> to_utf8_strict(std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        char16_t unit = units[i];
        if (unit >= 0xDC00 && unit < 0xE000) return std::nullopt;
        if (unit >= 0xD800 && unit < 0xDC00) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] >= 0xE000) return std::nullopt;
            ++i;
        }
    }
    return to_utf8(units);
}

bool locale_to_utf16(const char* text, std::u16string& units) {
    try {
        // Every locale's character set agrees with ASCII below 0x80, and
        // most names are ASCII: those need no conversion.
        // Told and widened in passes without an early exit, which the
        // compiler does in vectors.
        std::size_t size = std::strlen(text);
        unsigned char high = 0;
        for (std::size_t i = 0; i < size; ++i) high |= static_cast<unsigned char>(text[i]);
        if (high < 0x80) {
            units.resize(size);
            char16_t* to = units.data();
            for (std::size_t i = 0; i < size; ++i) to[i] = static_cast<unsigned char>(text[i]);
            return true;
        }
        std::size_t length = std::mbstowcs(nullptr, text, 0);
        if (length == static_cast<std::size_t>(-1)) return false;
        std::wstring wide(length, L'\0');
        if (std::mbstowcs(wide.data(), text, length + 1) == static_cast<std::size_t>(-1)) return false;
        auto encoded = encode_utf16(wide.data(), length);
        if (!encoded) return false;
        units = std::move(*encoded);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::optional<std::string> locale_from_utf16(const char16_t* text) {
    try {
        std::wstring wide = decode_utf16(text, std::char_traits<char16_t>::length(text));
        std::size_t length = std::wcstombs(nullptr, wide.c_str(), 0);
        if (length == static_cast<std::size_t>(-1)) return std::nullopt;
        std::string bytes(length, '\0');
        if (std::wcstombs(bytes.data(), wide.c_str(), length + 1) == static_cast<std::size_t>(-1))
            return std::nullopt;
        return bytes;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool is_device_name(std::u16string_view name) {
    // Trailing spaces and a colon are read past, and so is an extension
    // (before Windows 11); "COM" and "LPT" take a digit or a superscript
    // one, two or three.
    std::size_t end = name.find(u'.');
    if (end == std::u16string_view::npos) end = name.size();
    while (end > 0 && (name[end - 1] == u' ' || name[end - 1] == u':')) --end;
    auto base = name.substr(0, end);
    auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; };
    auto is = [&](std::u16string_view device) {
        if (base.size() != device.size()) return false;
        for (std::size_t i = 0; i < base.size(); ++i)
            if (upper(base[i]) != device[i]) return false;
        return true;
    };
    if (is(u"AUX") || is(u"CON") || is(u"NUL") || is(u"PRN") || is(u"CONIN$") || is(u"CONOUT$")) return true;
    if (base.size() != 4) return false;
    char16_t digit = base[3];
    bool numbered = (digit >= u'0' && digit <= u'9') || digit == u'\u00b9' || digit == u'\u00b2' || digit == u'\u00b3';
    auto stem = base.substr(0, 3);
    return numbered && ((upper(stem[0]) == u'C' && upper(stem[1]) == u'O' && upper(stem[2]) == u'M') ||
                        (upper(stem[0]) == u'L' && upper(stem[1]) == u'P' && upper(stem[2]) == u'T'));
}

bool needs_long_form(std::u16string_view path) {
    if (path.substr(0, 4) == u"\\\\?\\") return false;
    if (path.size() >= PLAIN_PATH_LIMIT) return true;
    // A final name that Windows reads as a device.
    std::size_t final_start = path.find_last_of(u"\\/:");
    final_start = final_start == std::u16string_view::npos ? 0 : final_start + 1;
    if (is_device_name(path.substr(final_start))) return true;
    // A name ends where a separator or the path does.
    for (std::size_t end = 0; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != u'\\' && path[end] != u'/') continue;
        if (end == 0) continue;
        char16_t last = path[end - 1];
        if (last != u'.' && last != u' ') continue;
        // "." and "..", not names that end in a dot.
        bool dots = last == u'.' && (end == 1 || path[end - 2] == u'\\' || path[end - 2] == u'/' ||
                                     (path[end - 2] == u'.' && (end == 2 || path[end - 3] == u'\\' || path[end - 3] == u'/')));
        if (!dots) return true;
    }
    return false;
}

bool begins_with_drive(std::u16string_view path) {
    return path.size() >= 2 && path[1] == u':' &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

bool is_drive_relative(std::u16string_view path) {
    return begins_with_drive(path) && (path.size() == 2 || (path[2] != u'\\' && path[2] != u'/'));
}

std::size_t full_path_units(std::u16string_view path, std::size_t current_directory_units) {
    if (is_drive_relative(path)) return path.size() - 2 + current_directory_units + 1;
    auto separator = [&](std::size_t i) { return path.size() > i && (path[i] == u'\\' || path[i] == u'/'); };
    // "\x" is read below the current directory's root ("C:", or
    // "\\server\share"), whose units the caller gave; "\\server\..." is
    // whole.
    if (separator(0)) return path.size() + (separator(1) ? 0 : current_directory_units);
    return path.size() + (begins_with_drive(path) ? 0 : current_directory_units + 1);
}

bool needs_long_form(std::u16string_view path, std::size_t current_directory_units) {
    if (path.substr(0, 4) == u"\\\\?\\") return false;
    return full_path_units(path, current_directory_units) >= PLAIN_PATH_LIMIT || needs_long_form(path);
}

std::u16string long_form(std::u16string_view absolute) {
    if (absolute.substr(0, 4) == u"\\\\?\\") return std::u16string(absolute);
    // A device path (\\.\) is a form of its own, not a server's share.
    if (absolute.substr(0, 4) == u"\\\\.\\") return u"\\\\?\\" + std::u16string(absolute.substr(4));
    if (absolute.substr(0, 2) == u"\\\\") return u"\\\\?\\UNC\\" + std::u16string(absolute.substr(2));
    return u"\\\\?\\" + std::u16string(absolute);
}

char16_t* malloc_copy(std::u16string_view units) {
    auto* copy = static_cast<char16_t*>(std::malloc((units.size() + 1) * sizeof(char16_t)));
    if (copy == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    units.copy(copy, units.size());
    copy[units.size()] = u'\0';
    return copy;
}

}  // namespace text
