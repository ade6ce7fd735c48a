#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <cwchar>

#include "fake_platform.h"
#include "link/convert.h"
#include "platform/cygwin/cygwin_names.h"
#include "text/utf16.h"

namespace {

// Whose C library converts the locale's text: newlib's (Cygwin) and glibc's
// answer differently, and each is asserted where it runs.
#if defined(__CYGWIN__) || defined(__NEWLIB__)
constexpr bool newlib = true;
#else
constexpr bool newlib = false;
#endif

class Conversion : public testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        std::setlocale(LC_ALL, "C.UTF-8");
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(Conversion, RelativeNamesOfOrdinaryCharactersOnlySwapSeparators) {
    EXPECT_EQ(to_win32_path("a/b/c"), u"a\\b\\c");
    EXPECT_EQ(to_win32_path("./x"), u".\\x");
    EXPECT_EQ(to_win32_path("dir/"), u"dir\\");
    EXPECT_EQ(to_win32_path("../x"), u"..\\x");
    EXPECT_EQ(to_win32_path("caf\xc3\xa9"), u"caf\u00e9");
    EXPECT_TRUE(fake::calls_of("cygwin_create_path").empty());
}

TEST_F(Conversion, RelativeTargetsStayAsTypedAndOnlyAbsoluteOnesAreConverted) {
    // Read later from the link's directory, so never made absolute: dots,
    // final dots and spaces stay, and what Windows refuses in a name is
    // carried in the private-use range.
    const std::pair<const char*, std::u16string> relative[] = {
        {".", u"."},           {"..", u".."},          {"../..", u"..\\.."}, {"sub/../..", u"sub\\..\\.."},
        {"name.", u"name."},   {"x ", u"x "},          {"a\\b", u"a\\b"},  {"../a?b", u"..\\a\uf03fb"},
        {"ab:c", u"ab\uf03ac"}, {"bad\xff", u"bad\uf0ff"},
    };
    for (const auto& [path, stored] : relative) {
        fake::reset();
        EXPECT_EQ(to_win32_path(path), stored) << path;
        EXPECT_TRUE(fake::calls_of("cygwin_create_path").empty()) << path;
    }
    for (const char* path : {"/usr/bin", "C:/x", "\\x"}) {
        fake::reset();
        ASSERT_TRUE(to_win32_path(path)) << path;
        EXPECT_EQ(fake::calls_of("cygwin_create_path"),
                  std::vector<std::string>{std::string("cygwin_create_path(0x101, ") + path + ")"});
    }
}

TEST_F(Conversion, FailuresYieldNoPathWithErrno) {
    errno = 0;
    EXPECT_FALSE(to_win32_path(""));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(fake::fake().calls.empty());

    fake::fake().unconvertible.insert("/too/long");
    errno = 0;
    EXPECT_FALSE(to_win32_path("/too/long"));
    EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(Conversion, WideTextIsUtf16WithSurrogatePairs) {
    // U+1F600 is beyond the basic plane; U+00E9 and U+4E2D are not.
    auto wide = to_wide("\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, (std::u16string{0x00E9, 0x4E2D, 0xD83D, 0xDE00}));
    EXPECT_EQ(to_multibyte(wide->c_str()), "\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
    EXPECT_FALSE(to_wide("\xf0\x9f"));

    // The native command line's UTF-8: an unpaired surrogate keeps a shape
    // that no strict conversion takes back.
    EXPECT_EQ(text::to_utf8(*wide), "\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
    EXPECT_EQ(text::to_utf8(u"\xd800x"), "\xed\xa0\x80x");
    // Newlib's UTF-8 reader takes that shape for the lone surrogate itself;
    // glibc's refuses it.
    if (newlib)
        EXPECT_EQ(to_wide("\xed\xa0\x80x"), (std::u16string{0xD800, u'x'}));
    else
        EXPECT_FALSE(to_wide("\xed\xa0\x80x"));

    // In newlib's C locale (Cygwin 3.5.0 and later) every byte is the
    // character of its value, and back; glibc's C locale is ASCII alone.
    // Beyond U+00FF neither has a form.
    std::setlocale(LC_ALL, "C");
    if (newlib)
        EXPECT_EQ(to_multibyte(u"\u00e9"), "\xe9");
    else
        EXPECT_FALSE(to_multibyte(u"\u00e9"));
    EXPECT_FALSE(to_multibyte(u"\u0142"));
    EXPECT_EQ(to_wide("plain"), u"plain");
}

// Cygwin's UTF-8 mbrtowc, whose wchar_t has 16 bits: the first half of a
// pair after three bytes of a four-byte character, the second half after
// the fourth, which must be a continuation byte; a refused fourth byte
// leaves the state as it was.
std::size_t sixteen_bit_reader(char32_t* character, const char* bytes, std::size_t size, std::mbstate_t* state) {
    struct {
        unsigned char pending;
        unsigned char lead[3];
    } held;
    static_assert(sizeof held <= sizeof(std::mbstate_t));
    std::memcpy(&held, state, sizeof held);
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    auto continues = [&](std::size_t i) { return (byte(i) & 0xC0) == 0x80; };
    if (held.pending != 0) {
        if (size == 0) return static_cast<std::size_t>(-2);
        if (!continues(0)) return static_cast<std::size_t>(-1);
        *character = 0xDC00 | ((((held.lead[2] & 0x0Fu) << 6) | (byte(0) & 0x3Fu)) & 0x3FF);
        std::memset(state, 0, sizeof *state);
        return 1;
    }
    std::size_t length = byte(0) >= 0xF0 ? 4 : byte(0) >= 0xE0 ? 3 : byte(0) >= 0xC0 ? 2 : 0;
    if (length == 0) return static_cast<std::size_t>(-1);
    std::size_t needed = length == 4 ? 3 : length;
    for (std::size_t i = 1; i < needed; ++i) {
        if (i >= size) return static_cast<std::size_t>(-2);
        if (!continues(i)) return static_cast<std::size_t>(-1);
    }
    if (length == 2) {
        *character = ((byte(0) & 0x1Fu) << 6) | (byte(1) & 0x3Fu);
        return 2;
    }
    char32_t high = ((byte(0) & 0x0Fu) << 12) | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
    if (length == 3) {
        *character = high;
        return 3;
    }
    char32_t top = ((byte(0) & 0x07u) << 18) | ((byte(1) & 0x3Fu) << 12) | ((byte(2) & 0x3Fu) << 6);
    *character = 0xD800 | ((top - 0x10000) >> 10);
    held = {1, {byte(0), byte(1), byte(2)}};
    std::memcpy(state, &held, sizeof held);
    return 3;
}

TEST_F(Conversion, CygwinNamesCarryIncompleteCharactersByteForByteWhateverTheWideCharacter) {
    const std::pair<std::string, std::u16string> names[] = {
        {"\xf0\x9f\x98\x80", u"\U0001F600"},
        {"a\xf0\x9f\x98", u"a\uf0f0\uf09f\uf098"},
        {"\xf0\x9f\x98x\xc3\xa9", u"\uf0f0\uf09f\uf098x\u00e9"},
        {"\xf0\x9f\x98\xf0\x9f\x98\x80", u"\uf0f0\uf09f\uf098\U0001F600"},
    };
    for (auto read : {platform::read_character, sixteen_bit_reader}) {
        for (const auto& [name, units] : names) {
            std::u16string out;
            platform::append_cygwin_name(out, name, read);
            EXPECT_EQ(out, units) << (read == sixteen_bit_reader ? "16-bit " : "host ") << name;
        }
    }
}

// A typed private-range character is itself, as Cygwin reads it; outside
// UTF-8, CAN and a UTF-8 character is that character, and a CAN alone is
// carried.
TEST_F(Conversion, CygwinNamesKeepPrivateCharactersAndReadCanEscapes) {
    struct case_ {
        const char* locale;
        std::string name;
        std::u16string units;
    };
    const case_ cases[] = {
        {"C.UTF-8", "x\xef\x82\xa0:", u"x\uf0a0\uf03a"},
        {"C.UTF-8", "\x18\xc3\xa9", u"\uf018\u00e9"},
        {"C", "\x18\xc3\xa9x", u"\u00e9x"},
        // newlib's C locale reads a byte as the character of its value.
        {"C", "\x18\xc3", newlib ? u"\uf018\u00c3" : u"\uf018\uf0c3"},
        {"C", "\x18\x18\xe2\x82\xac", u"\uf018\u20ac"},
        // newlib reads an encoded surrogate as the unit, alone or not.
        {"C.UTF-8", "a\xed\xa0\x80", u"a\xd800"},
        {"C.UTF-8", "\xed\xa0\x80\xed\xb0\x81", u"\xd800\xdc01"},
        {"C.UTF-8", "\xed\x9f\xbf\xed\xa0", u"\ud7ff\uf0ed\uf0a0"},
        {"C", "\x18\xed\xbf\xbfx", u"\xdfffx"},
    };
    for (const auto& c : cases) {
        std::setlocale(LC_ALL, c.locale);
        std::u16string out;
        platform::append_cygwin_name(out, c.name, platform::read_character);
        EXPECT_EQ(out, c.units) << c.locale << " " << c.name;
    }
}

TEST_F(Conversion, ErrorTextCutsTheLineFeedAndKeepsTheCarriageReturn) {
    auto& messages = fake::fake().messages;
    messages[2] = u"The system cannot find the file specified.\r\n";
    messages[7] = u"\n";
    messages[8] = u"";
    messages[193] = u"%1 is not a valid Win32 application.\r\n";
    EXPECT_EQ(win32_error_text(2), "The system cannot find the file specified.\r");
    EXPECT_EQ(win32_error_text(7), "");
    EXPECT_EQ(win32_error_text(8), "");
    EXPECT_EQ(win32_error_text(193), "%1 is not a valid Win32 application.\r");
    EXPECT_EQ(win32_error_text(12345), "[unknown error]");

    // Inserts are never expanded, and every buffer is released.
    for (const auto& call : fake::calls_of("FormatMessageW"))
        EXPECT_EQ(call.substr(0, 27), "FormatMessageW(0x1300, null");
    EXPECT_EQ(fake::calls_of("LocalFree").size(), 4u);
    EXPECT_EQ(fake::fake().allocated_texts, 0);
}

TEST_F(Conversion, ErrorTextThatTheLocaleCannotShowFallsBack) {
    std::setlocale(LC_ALL, "C");
    fake::fake().messages[5] = u"Zugriff verweigert \u00fc\r\n";
    EXPECT_EQ(win32_error_text(5), newlib ? "Zugriff verweigert \xfc\r" : "[unknown error]");
    fake::fake().messages[5] = u"Odmowa dost\u0119pu\r\n";
    EXPECT_EQ(win32_error_text(5), "[unknown error]");
    EXPECT_EQ(fake::fake().allocated_texts, 0);
}

}  // namespace
