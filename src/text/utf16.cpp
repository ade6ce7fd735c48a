#include "text/utf16.h"

#include <cerrno>
#include <cstdlib>

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
