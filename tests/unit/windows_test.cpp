// The native Windows build's own conversions, with the real FormatMessageW.
#include <gtest/gtest.h>

#include <clocale>

#include "link/convert.h"

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
