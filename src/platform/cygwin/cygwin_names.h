// How Cygwin writes a POSIX name in UTF-16: what the Cygwin build and the
// stand-in (which emulates it) share.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Where Cygwin carries a character or byte of a name that Windows refuses
// or that is not valid in the locale: U+F000 plus it.
inline constexpr char16_t PRIVATE_BASE = 0xF000;

// Appends one name (no separators) in UTF-16: characters of the locale as
// they are; characters Windows refuses in a name, control characters and
// bytes that are not valid in the locale in the private-use range, as
// U+F000 plus the character or byte.
void append_cygwin_name(std::u16string& out, std::string_view name);

// Whether a private-range character stands for a byte of a host name.
bool carries_byte(char32_t c);

}  // namespace platform
