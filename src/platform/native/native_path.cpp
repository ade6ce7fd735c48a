#include "platform/native/native_path.h"

#include <cerrno>
#include <cstdlib>
#include <new>

#include "platform/platform.h"
#include "text/utf16.h"

namespace platform {

std::optional<std::u16string> native_path(const char* path) {
    try {
        std::size_t length = std::mbstowcs(nullptr, path, 0);
        if (length == static_cast<std::size_t>(-1)) {
            errno = EILSEQ;
            return std::nullopt;
        }
        std::wstring wide(length, L'\0');
        std::mbstowcs(wide.data(), path, length + 1);
        auto units = text::encode_utf16(wide.data(), length);
        if (!units) {
            errno = EILSEQ;
            return std::nullopt;
        }
        for (auto& unit : *units)
            if (unit == u'/') unit = u'\\';
        return units;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return std::nullopt;
    }
}

// Takes the place of Cygwin's converter: the same contract, the native rules.
void* cygwin_create_path(unsigned what, const void* from) {
    const char* path = static_cast<const char*>(from);
    if ((what & ~CCP_RELATIVE) != CCP_POSIX_TO_WIN_W || path == nullptr || *path == '\0') {
        errno = EINVAL;
        return nullptr;
    }
    auto converted = native_path(path);
    if (!converted) return nullptr;
    return text::malloc_copy(*converted);
}

}  // namespace platform
