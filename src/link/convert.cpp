#include "link/convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "text/utf16.h"

namespace {

// Characters that Windows reads differently from POSIX: a name holding any
// of them is left to the platform's converter.
constexpr const char* win32_special_characters = "?<>\\:*|";

}  // namespace

std::optional<std::u16string> to_wide(const char* text) {
    try {
        std::size_t length = std::mbstowcs(nullptr, text, 0);
        if (length == static_cast<std::size_t>(-1)) return std::nullopt;
        std::wstring wide(length, L'\0');
        if (std::mbstowcs(wide.data(), text, length + 1) == static_cast<std::size_t>(-1))
            return std::nullopt;
        return text::encode_utf16(wide.data(), length);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::string> to_multibyte(const char16_t* text) {
    try {
        std::wstring wide = text::decode_utf16(text, std::char_traits<char16_t>::length(text));
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

std::optional<std::u16string> to_win32_path(const char* path) {
    std::size_t length = std::strlen(path);
    if (length == 0) {
        errno = EINVAL;
        return std::nullopt;
    }
    try {
        // A relative name of ordinary characters needs only its separators
        // swapped, and stays relative. A final dot ("." or "name.") is left
        // to the platform, which knows what Windows makes of it.
        if (path[0] != '/' && path[length - 1] != '.' &&
            std::strcspn(path, win32_special_characters) == length) {
            std::string copy(path, length);
            std::replace(copy.begin(), copy.end(), '/', '\\');
            if (auto wide = to_wide(copy.c_str())) return wide;
        }
        std::unique_ptr<char16_t, platform::free_deleter> converted(static_cast<char16_t*>(
            platform::cygwin_create_path(platform::CCP_POSIX_TO_WIN_W | platform::CCP_RELATIVE, path)));
        if (!converted) return std::nullopt;
        return std::u16string(converted.get());
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return std::nullopt;
    }
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
