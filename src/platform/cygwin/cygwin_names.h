// How Cygwin writes a POSIX name in UTF-16: what the Cygwin build and the
// stand-in (which emulates it) share.
#pragma once

#include <cstddef>
#include <cwchar>
#include <string>
#include <string_view>

#include "text/utf16.h"

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

// Reads one character of UTF-8 in the same way: the bytes it took, or
// (size_t) -1 for what is not UTF-8 (a character cut short too). STATE is
// not used.
std::size_t read_utf8_character(char32_t* character, const char* bytes, std::size_t size, std::mbstate_t* state);

// Whether Cygwin reads file names as UTF-8 whatever the locale says: where
// the adopted locale's charset is ASCII (the C and POSIX locales), its
// file calls still read names as UTF-8. The Cygwin build asks its C
// library; the stand-in reads names as its host does, in the locale.
bool names_read_as_utf8();
// The reader of the characters of names: UTF-8 where names are read so,
// else the locale's.
character_reader name_reader();
// A name's text in UTF-16 as Cygwin's file calls read it, into OUT: UTF-8
// where names are read so, else the locale's text as READ_LOCALE reads it;
// false where it has no such form.
using text_reader = bool (*)(const char* text, std::u16string& out);
bool name_to_utf16(const char* text, std::u16string& out, text_reader read_locale = text::locale_to_utf16);

// Appends one name (no separators) in UTF-16: characters of the locale as
// they are; characters Windows refuses in a name, control characters and
// bytes that are not valid in the locale in the private-use range, as
// U+F000 plus the character or byte. The first byte of a sequence that is
// not a whole character is carried alone, and reading starts afresh after
// it, as Cygwin's own converter does.
void append_cygwin_name(std::u16string& out, std::string_view name, character_reader read = name_reader());

// Where the next separator of PATH stands from FROM on, read character by
// character, so that a separator byte inside a character (the second byte
// of many Big5, GBK or Shift_JIS characters is a backslash) is part of it;
// npos where there is none.
std::size_t next_separator(std::string_view path, std::size_t from = 0);

// Whether a private-range character stands for a byte of a host name.
bool carries_byte(char32_t c);

}  // namespace platform
