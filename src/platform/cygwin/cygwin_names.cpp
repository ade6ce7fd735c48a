// Cygwin keeps every POSIX name on Windows: what Windows refuses in a name,
// and bytes that are not valid in the locale, are carried in the private-use
// range U+F000 + c, which Cygwin maps back when it reads the name.
#include "platform/cygwin/cygwin_names.h"

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <new>
#include <type_traits>

#include "platform/platform.h"
#include "text/utf16.h"

namespace platform {

namespace {

bool is_reserved(unsigned char c) { return (c >= 1 && c <= 31) || std::strchr("\"*:<>?|", c) != nullptr; }

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
    std::size_t used = name_reader()(&character, text, left, state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2) || used == 0) {
        *state = std::mbstate_t{};
        return 1;
    }
    // The first half of a pair from a 16-bit wchar_t: its last byte follows.
    if (character >= 0xD800 && character < 0xDC00 && used < left) {
        std::size_t more = name_reader()(&character, text + used, left - used, state);
        if (more != static_cast<std::size_t>(-1) && more != static_cast<std::size_t>(-2)) used += more;
    }
    return used;
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
    auto failed = [](std::size_t used) {
        return used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2) || used == 0;
    };
    auto carry = [&](std::size_t at) { out.push_back(char16_t(PRIVATE_BASE + static_cast<unsigned char>(name[at]))); };
    std::mbstate_t state{};
    std::size_t i = 0;
    while (i < name.size()) {
        auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            out.push_back(is_reserved(byte) ? char16_t(PRIVATE_BASE + byte) : char16_t(byte));
            ++i;
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
        if (second != 0) {
            out.push_back(char16_t(character));
            out.push_back(char16_t(second));
        } else if (carries_byte(character)) {
            // A character of the private range itself would come back as a
            // byte: carry its bytes one by one instead.
            for (std::size_t b = 0; b < used; ++b) carry(i + b);
        } else if (character < 0x10000) {
            out.push_back(char16_t(character));
        } else {
            out.push_back(char16_t(0xD800 + ((character - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((character - 0x10000) & 0x3FF)));
        }
        i += used;
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
