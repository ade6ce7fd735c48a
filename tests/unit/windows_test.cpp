// The native Windows build's own conversions, with the real FormatMessageW.
#include <gtest/gtest.h>

#include <clocale>

#include "link/convert.h"

// After the platform header, whose constants its macros would rewrite.
#include <windows.h>

namespace {

TEST(WindowsConversion, PathsKeepTheirWindowsMeaning) {
    std::setlocale(LC_ALL, "");
    EXPECT_EQ(to_win32_path("dir/file"), u"dir\\file");
    EXPECT_EQ(to_win32_path("C:/Users/me/x"), u"C:\\Users\\me\\x");
    EXPECT_EQ(to_win32_path("..\\x"), u"..\\x");
    EXPECT_EQ(to_win32_path("."), u".");
    EXPECT_EQ(to_win32_path("/x/y"), u"\\x\\y");
    EXPECT_EQ(to_win32_path("//server/share/x"), u"\\\\server\\share\\x");
    EXPECT_FALSE(to_win32_path(""));
}

TEST(WindowsConversion, NamesWindowsWouldChangeTakeTheLongForm) {
    wchar_t directory[1024];
    ASSERT_GT(GetCurrentDirectoryW(1024, directory), 0u);
    std::u16string here(reinterpret_cast<const char16_t*>(directory));
    if (here.back() == u'\\') here.pop_back();
    EXPECT_EQ(to_win32_file_name("dot."), u"\\\\?\\" + here + u"\\dot.");
    EXPECT_EQ(to_win32_file_name("./sub/../x/trail "), u"\\\\?\\" + here + u"\\x\\trail ");
    EXPECT_EQ(to_win32_file_name("C:/a/./b/../c."), u"\\\\?\\C:\\a\\c.");
    EXPECT_EQ(to_win32_file_name("/top."), u"\\\\?\\" + here.substr(0, 2) + u"\\top.");
    EXPECT_EQ(to_win32_file_name("//server/share/x."), u"\\\\?\\UNC\\server\\share\\x.");
    EXPECT_EQ(to_win32_file_name("\\\\?\\C:\\kept."), u"\\\\?\\C:\\kept.");
    std::string long_name(300, 'n');
    EXPECT_EQ(to_win32_file_name(long_name.c_str()), u"\\\\?\\" + here + u"\\" + std::u16string(300, u'n'));
    // Text stored in a symbolic link stays as typed.
    EXPECT_EQ(to_win32_path("dot."), u"dot.");
}

TEST(WindowsConversion, TextIsUtf8WhateverTheCodePage) {
    EXPECT_EQ(to_wide("\xc5\x82\xd0\xb6\xe4\xb8\xad\xf0\x9f\x98\x80"), (std::u16string{0x142, 0x436, 0x4E2D, 0xD83D, 0xDE00}));
    EXPECT_EQ(to_multibyte(u"\u0142\u0436"), "\xc5\x82\xd0\xb6");
    // An unpaired surrogate has no UTF-8 form; its three-byte shape is refused.
    EXPECT_FALSE(to_multibyte(u"\xd800x"));
    EXPECT_FALSE(to_wide("\xed\xa0\x80x"));
    EXPECT_FALSE(to_win32_path("\xed\xa0\x80x"));
}

TEST(WindowsConversion, SystemTextsLoseOnlyTheirLineFeed) {
    std::setlocale(LC_ALL, "");
    for (platform::DWORD code : {2u, 3u, 5u, 183u, 1314u}) {
        std::string text = win32_error_text(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_NE(text, "[unknown error]") << code;
        EXPECT_EQ(text.find('\n'), std::string::npos) << code;
        EXPECT_EQ(text.back(), '\r') << code;
    }
    EXPECT_EQ(win32_error_text(0x2badc0deu), "[unknown error]");
}

}  // namespace
