// Between the locale's wide characters (what mbstowcs and wcstombs speak)
// and Windows' UTF-16. Where wchar_t is itself 16 bits they are the same
// units; where it is 32 bits, characters beyond U+FFFF become surrogate
// pairs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// UTF-16 for wide characters; none when one lies beyond U+10FFFF.
std::optional<std::u16string> encode_utf16(const wchar_t* wide, std::size_t length);

// Wide characters for UTF-16; an unpaired surrogate is kept as it stands,
// for the locale's converter to accept or refuse.
std::wstring decode_utf16(const char16_t* units, std::size_t length);

// A zero-terminated copy allocated with malloc, as the platform hands out
// its wide strings; null with errno ENOMEM when there is no memory.
char16_t* malloc_copy(std::u16string_view units);

}  // namespace text
