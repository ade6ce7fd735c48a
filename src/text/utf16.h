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

// UTF-8 of UTF-16 units, whatever the locale. An unpaired surrogate keeps
// its three-byte shape, which is not valid UTF-8: a strict conversion back
// refuses it rather than meeting another character.
std::string to_utf8(std::u16string_view units);
// The same, appended to BYTES: at most three bytes for each unit.
void append_utf8(std::string& bytes, std::u16string_view units);

// UTF-16 of UTF-8, or none for anything that is not UTF-8: a stray or
// missing continuation byte, an overlong form, a surrogate, a character
// beyond U+10FFFF. And UTF-8 of UTF-16, or none for an unpaired surrogate.
// Strict both ways, as Windows' converters with their strict flags. The
// UTF-16 is written into UNITS, whose storage is reused; false for what is
// not UTF-8.
bool from_utf8(std::string_view bytes, std::u16string& units);
// The strict UTF-8 character that BYTES begin with, into CHARACTER: its
// length, or 0 where they begin with none (cut short too).
std::size_t utf8_character(std::string_view bytes, char32_t& character);
std::optional<std::string> to_utf8_strict(std::u16string_view units);

// The locale's multibyte text in UTF-16 (mbstowcs), into UNITS, whose
// storage is reused; false when it is not valid in the locale. And back
// (wcstombs), or none when a character has no form in it. What the C
// library of a POSIX host offers.
bool locale_to_utf16(const char* text, std::u16string& units);
std::optional<std::string> locale_from_utf16(const char16_t* text);

// MAX_PATH: a plain Win32 path has fewer UTF-16 units than this (the last
// of the 260 is its terminator).
inline constexpr std::size_t PLAIN_PATH_LIMIT = 260;

// Whether Windows reads NAME, in a plain path, as a device (nul, con, aux,
// prn, com1-com9, lpt1-lpt9, conin$, conout$, whatever the case, also with
// an extension or a colon), not as the file of that name (ntdll's path.c
// tests: "AUX" is \??\AUX, "C:\nonexistent\nul" is \\.\nul).
bool is_device_name(std::u16string_view name);
// Whether Windows would change a name in this Win32 path, or refuse the
// path, in the plain form: MAX_PATH units or more, a name that ends in a
// dot or a space (other than "." and ".."), or a final name it reads as a
// device.
bool needs_long_form(std::u16string_view path);
// Whether a Win32 path begins with a drive letter and a colon ("D:").
bool begins_with_drive(std::u16string_view path);
// Whether it is relative to a drive's current directory ("D:x", "D:").
bool is_drive_relative(std::u16string_view path);
// The units Windows counts towards MAX_PATH for PATH: a relative path is
// read from the current directory (a drive-relative one from that drive's),
// whose form has CURRENT_DIRECTORY_UNITS, and a separator; a path rooted
// at the drive ("\x") from the current directory's root, whose form then
// has CURRENT_DIRECTORY_UNITS.
std::size_t full_path_units(std::u16string_view path, std::size_t current_directory_units);
// The same as needs_long_form, with the current directory counted.
bool needs_long_form(std::u16string_view path, std::size_t current_directory_units);
// An absolute Win32 path in the \\?\ form, which Windows takes as it stands
// (\\?\UNC\server\share\... for a UNC path, \\?\ in place of a device
// path's \\.\).
std::u16string long_form(std::u16string_view absolute);

// A zero-terminated copy allocated with malloc, as the platform hands out
// its wide strings; null with errno ENOMEM when there is no memory.
char16_t* malloc_copy(std::u16string_view units);

}  // namespace text
