// How Cygwin writes a POSIX name in UTF-16: what the Cygwin build and the
// stand-in (which emulates it) share.
#pragma once

#include <cstddef>
#include <cwchar>
#include <string>
#include <string_view>

namespace platform {

// Where Cygwin carries a character or byte of a name that Windows refuses
// or that is not valid in the locale: U+F000 plus it.
inline constexpr char16_t PRIVATE_BASE = 0xF000;

// Reads one character of the locale's text as mbrtowc does, into the
// host's wchar_t: the bytes it took, or (size_t) -1, -2 or 0. Where
// wchar_t has 16 bits (Cygwin), a character beyond U+FFFF comes as two
// UTF-16 units: the first after three of its four bytes, the second after
// the fourth.
using character_reader = std::size_t (*)(char32_t* character, const char* bytes, std::size_t size,
                                         std::mbstate_t* state);
std::size_t read_character(char32_t* character, const char* bytes, std::size_t size, std::mbstate_t* state);

// Appends one name (no separators) in UTF-16: characters of the locale as
// they are; characters Windows refuses in a name, control characters and
// bytes that are not valid in the locale in the private-use range, as
// U+F000 plus the character or byte. The first byte of a sequence that is
// not a whole character is carried alone, and reading starts afresh after
// it, as Cygwin's own converter does.
void append_cygwin_name(std::u16string& out, std::string_view name, character_reader read = read_character);

// Whether a private-range character stands for a byte of a host name.
bool carries_byte(char32_t c);

}  // namespace platform
