// Cygwin keeps every POSIX name on Windows: what Windows refuses in a name,
// and bytes that are not valid in the locale, are carried in the private-use
// range U+F000 + c, which Cygwin maps back when it reads the name.
#include "platform/cygwin/cygwin_names.h"

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <langinfo.h>
#include <new>
#include <type_traits>

#include "platform/platform.h"
#include "text/utf16.h"

namespace platform {

namespace {

bool is_reserved(unsigned char c) { return (c >= 1 && c <= 31) || std::strchr("\"*:<>?|", c) != nullptr; }

// Whether READ takes text as UTF-8: names read so, or a UTF-8 locale.
bool reads_utf8(character_reader read) {
    if (read == read_utf8_character) return true;
    const char* charset = ::nl_langinfo(CODESET);
    return charset != nullptr && std::strcmp(charset, "UTF-8") == 0;
}

bool failed(std::size_t used) {
    return used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2) || used == 0;
}

// Hands ADD the code points a character read last still owes, where one
// character reads as two (glibc's Big5-HKSCS gives the second on the
// next call, from no bytes, as a result of 0). REST is the text after it.
template <typename Add>
void next_code_points(character_reader read, std::string_view rest, std::mbstate_t* state, Add add) {
    static const char nothing[1] = {'\0'};
    while (!std::mbsinit(state)) {
        char32_t more = 0;
        std::size_t used = rest.empty() ? read(&more, nothing, 1, state) : read(&more, rest.data(), rest.size(), state);
        if (used != 0 || more == 0) {
            *state = std::mbstate_t{};
            return;
        }
        add(more);
    }
}

// newlib reads a three-byte UTF-8 sequence for a surrogate (0xED, then
// 0xA0-0xBF, then a continuation byte) as that surrogate, as it reads any
// other of three bytes (newlib/libc/stdlib/mbtowc_r.c, __utf8_mbtowc, whose
// only three-byte check is for overlong forms); Cygwin writes the unit it
// gives, alone, into the name (strfuncs.cc, _sys_mbstowcs), and writes such
// a unit back so (wctomb_r.c, __utf8_wctomb: "CESU-8"). The unit, or 0 where
// TEXT does not begin with one.
char16_t newlib_surrogate(std::string_view text) {
    if (text.size() < 3 || static_cast<unsigned char>(text[0]) != 0xED) return 0;
    auto second = static_cast<unsigned char>(text[1]), third = static_cast<unsigned char>(text[2]);
    if (second < 0xA0 || second > 0xBF || third < 0x80 || third > 0xBF) return 0;
    return char16_t(0xD000 | ((second & 0x3F) << 6) | (third & 0x3F));
}

}  // namespace

bool carries_byte(char32_t c) {
    if (c < PRIVATE_BASE || c >= PRIVATE_BASE + 0x100) return false;
    auto byte = static_cast<unsigned char>(c - PRIVATE_BASE);
    return byte >= 0x80 || is_reserved(byte);
}

std::size_t read_character(char32_t* character, const char* bytes, std::size_t size, std::mbstate_t* state) {
    wchar_t wide = 0;
    std::size_t used = std::mbrtowc(&wide, bytes, size, state);
    *character = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide));
    return used;
}

std::size_t read_utf8_character(char32_t* character, const char* bytes, std::size_t size, std::mbstate_t*) {
    std::size_t length = text::utf8_character(std::string_view(bytes, size), *character);
    if (length == 0) return static_cast<std::size_t>(-1);
    return *character == 0 ? 0 : length;
}

character_reader name_reader() { return names_read_as_utf8() ? read_utf8_character : read_character; }

bool name_to_utf16(const char* text, std::u16string& out, text_reader read_locale) {
    if (!names_read_as_utf8()) return read_locale(text, out);
    try {
        return text::from_utf8(text, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::size_t name_character_length(const char* text, std::size_t left, std::mbstate_t* state) {
    char32_t character;
    auto read = name_reader();
    std::size_t used = read(&character, text, left, state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2) || used == 0) {
        *state = std::mbstate_t{};
        return 1;
    }
    // The first half of a pair from a 16-bit wchar_t: its last byte follows.
    if (character >= 0xD800 && character < 0xDC00 && used < left) {
        std::size_t more = read(&character, text + used, left - used, state);
        if (more != static_cast<std::size_t>(-1) && more != static_cast<std::size_t>(-2)) used += more;
    }
    next_code_points(read, std::string_view(text + used, left - used), state, [](char32_t) {});
    return used;
}

bool name_reads_as_typed(const char* path) {
    auto read = name_reader();
    std::string_view name(path);
    std::mbstate_t state{};
    for (std::size_t i = 0; i < name.size();) {
        if (static_cast<unsigned char>(name[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t character;
        std::size_t used = read(&character, name.data() + i, name.size() - i, &state);
        if (used != static_cast<std::size_t>(-1) && used != static_cast<std::size_t>(-2) && used != 0) {
            // Cygwin splits a path at every backslash byte before it reads
            // a character (path.cc, normalize_posix_path and
            // normalize_win32_path): one inside a character splits it.
            if (name.substr(i + 1, used - 1).find('\\') != std::string_view::npos) return false;
            next_code_points(read, name.substr(i + used), &state, [](char32_t) {});
            i += used;
            continue;
        }
        // A byte that begins a character of two, right before a separator:
        // the separator ends the name there, for Cygwin, where the reader
        // here may take both.
        std::mbstate_t alone{};
        bool lead = read(&character, name.data() + i, 1, &alone) == static_cast<std::size_t>(-2);
        if (lead && i + 1 < name.size() && (name[i + 1] == '/' || name[i + 1] == '\\')) return false;
        state = std::mbstate_t{};
        ++i;
    }
    return true;
}

std::size_t next_separator(std::string_view path, std::size_t from) {
    std::mbstate_t state{};
    for (std::size_t i = from; i < path.size();) {
        auto byte = static_cast<unsigned char>(path[i]);
        if (byte == '/' || byte == '\\') return i;
        i += byte < 0x80 ? 1 : name_character_length(path.data() + i, path.size() - i, &state);
    }
    return std::string_view::npos;
}

void append_cygwin_name(std::u16string& out, std::string_view name, character_reader read) {
    auto carry = [&](std::size_t at) { out.push_back(char16_t(PRIVATE_BASE + static_cast<unsigned char>(name[at]))); };
    auto append = [&](char32_t character) {
        if (character < 0x10000) {
            out.push_back(char16_t(character));
        } else {
            out.push_back(char16_t(0xD800 + ((character - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((character - 0x10000) & 0x3FF)));
        }
    };
    bool utf8 = reads_utf8(read);
    std::mbstate_t state{};
    std::size_t i = 0;
    while (i < name.size()) {
        auto byte = static_cast<unsigned char>(name[i]);
        // Outside UTF-8, CAN (0x18) followed by a character in UTF-8 stands
        // for that character, which the charset has no form for: Cygwin
        // writes names so and reads them back (strfuncs.cc, _sys_wcstombs
        // and _sys_mbstowcs).
        if (byte == 0x18 && !utf8 && name.size() - i > 2 && static_cast<unsigned char>(name[i + 1]) >= 0xC2 &&
            static_cast<unsigned char>(name[i + 1]) <= 0xF4) {
            if (char16_t unit = newlib_surrogate(name.substr(i + 1))) {
                out.push_back(unit);
                i += 4;
                continue;
            }
            char32_t character = 0;
            std::size_t used = text::utf8_character(name.substr(i + 1), character);
            if (used != 0) {
                append(character);
                i += 1 + used;
                continue;
            }
        }
        if (byte < 0x80) {
            out.push_back(is_reserved(byte) ? char16_t(PRIVATE_BASE + byte) : char16_t(byte));
            ++i;
            continue;
        }
        if (char16_t unit = utf8 ? newlib_surrogate(name.substr(i)) : 0) {
            out.push_back(unit);
            i += 3;
            continue;
        }
        char32_t character = 0, second = 0;
        std::size_t used = read(&character, name.data() + i, name.size() - i, &state);
        bool whole = !failed(used) && !(character >= 0xD800 && character < 0xE000) && character <= 0x10FFFF;
        if (!failed(used) && character >= 0xD800 && character < 0xDC00) {
            // The first half of a pair, from a 16-bit wchar_t: the second
            // must follow from the sequence's last byte.
            std::size_t more = read(&second, name.data() + i + used, name.size() - i - used, &state);
            whole = !failed(more) && second >= 0xDC00 && second < 0xE000;
            if (whole) used += more;
        }
        if (!whole) {
            carry(i);
            state = std::mbstate_t{};
            ++i;
            continue;
        }
        // A character of the private range stays itself, as Cygwin reads
        // it (strfuncs.cc, _sys_mbstowcs): the same unit as a carried byte
        // or character, so the same name on Windows.
        if (second != 0) {
            out.push_back(char16_t(character));
            out.push_back(char16_t(second));
        } else {
            append(character);
        }
        i += used;
        next_code_points(read, name.substr(i), &state, append);
    }
}

// A relative path as Cygwin stores it in a symbolic link: name for name,
// with backslashes for separators (Cygwin reads either).
std::optional<std::u16string> relative_path_to_win32(const char* path) {
    try {
        std::u16string out;
        std::string_view rest(path);
        for (;;) {
            std::size_t end = next_separator(rest);
            append_cygwin_name(out, rest.substr(0, end));
            if (end == std::string_view::npos) return out;
            out.push_back(u'\\');
            rest.remove_prefix(end + 1);
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return std::nullopt;
    }
}

}  // namespace platform
