// Cygwin keeps every POSIX name on Windows: what Windows refuses in a name,
// and bytes that are not valid in the locale, are carried in the private-use
// range U+F000 + c, which Cygwin maps back when it reads the name.
#include "platform/cygwin/cygwin_names.h"

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <new>

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

void append_cygwin_name(std::u16string& out, std::string_view name) {
    std::mbstate_t state{};
    std::size_t i = 0;
    while (i < name.size()) {
        auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            out.push_back(is_reserved(byte) ? char16_t(PRIVATE_BASE + byte) : char16_t(byte));
            ++i;
            continue;
        }
        wchar_t wide;
        std::size_t used = std::mbrtowc(&wide, name.data() + i, name.size() - i, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2) || used == 0) {
            out.push_back(char16_t(PRIVATE_BASE + byte));
            state = std::mbstate_t{};
            ++i;
            continue;
        }
        if (carries_byte(static_cast<char32_t>(wide))) {
            // A character of the private range itself would come back as a
            // byte: carry its bytes one by one instead.
            for (std::size_t b = 0; b < used; ++b)
                out.push_back(char16_t(PRIVATE_BASE + static_cast<unsigned char>(name[i + b])));
        } else if (auto units = text::encode_utf16(&wide, 1)) {
            out += *units;
        } else {
            out.push_back(char16_t(PRIVATE_BASE + byte));
            used = 1;
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
            std::size_t end = rest.find_first_of("/\\");
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
