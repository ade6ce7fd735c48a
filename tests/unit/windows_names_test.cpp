// Names as Windows takes them, against the fake's model of its rules: the
// plain form loses a final dot or space and stops at MAX_PATH, the \\?\ form
// takes a name as it stands, and some characters are never part of a name.
#include <gtest/gtest.h>

#include <clocale>

#include "fake_platform.h"
#include "link/convert.h"
#include "link/link.h"
#include "run_quelk.h"

namespace {

class WindowsNames : public testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        fake::add_file("a");
        fake::add_directory("sub");
    }
};

TEST_F(WindowsNames, WhatWindowsWouldRefuseOrChangeIsCarriedAsThePlatformDoes) {
    bool by_platform;
    // Refused characters in the private-use range, a final dot or space
    // kept by the \\?\ form, a backslash a separator.
    const std::pair<const char*, std::u16string> names[] = {
        {"a\"b", u"a\uf022b"},
        {"tab\tname", u"tab\uf009name"},
        {"trailing ", u"\\\\?\\C:\\work\\trailing "},
        {"name.", u"\\\\?\\C:\\work\\name."},
        {"a\\b", u"a\\b"},
    };
    for (const auto& [path, form] : names) {
        fake::reset();
        EXPECT_EQ(to_win32_file_name(path, &by_platform), form) << path;
        EXPECT_FALSE(by_platform) << path;
    }
    // A name Windows opens may not reach MAX_PATH in the plain form; text
    // stored in a symbolic link may.
    std::string long_name(300, 'n');
    fake::reset();
    EXPECT_EQ(to_win32_path(long_name.c_str()), std::u16string(300, u'n'));
    EXPECT_EQ(to_win32_file_name(long_name.c_str(), &by_platform),
              u"\\\\?\\C:\\work\\" + std::u16string(300, u'n'));
    EXPECT_EQ(to_win32_file_name("sub/dot."), u"\\\\?\\C:\\work\\sub\\dot.");
    EXPECT_EQ(to_win32_file_name("//server/share/x "), u"\\\\?\\UNC\\server\\share\\x ");
    EXPECT_EQ(to_win32_file_name("sub/.."), u"sub\\..");
    EXPECT_EQ(to_win32_file_name("plain", &by_platform), u"plain");
    EXPECT_FALSE(by_platform);
}

TEST_F(WindowsNames, LinksGetExactlyTheNamesTyped) {
    fake::fake().messages[123] = u"The filename, directory name, or volume label syntax is incorrect.\r\n";
    // Beyond MAX_PATH, each name within NTFS's 255 units.
    std::string long_name = "sub/" + std::string(200, 'n') + "/" + std::string(100, 'm');
    for (std::string name : {"dot.", "space ", "quote\"d", "sub/x.", long_name.c_str()}) {
        for (bool symbolic : {false, true}) {
            SetUp();
            fake::add_directory("sub/" + std::string(200, 'n'));
            settings.symbolic = symbolic;
            auto r = run_quelk({symbolic ? "-sv" : "-v", "a", name});
            EXPECT_EQ(r.status, STATUS_OK) << name << r.err;
            EXPECT_EQ(r.out, "`" + name + (symbolic ? "' -> `a' [file]\n" : "' => `a'\n")) << name;
            EXPECT_TRUE(fake::exists(name)) << name;
        }
    }
    // NTFS takes no name of more than 255 units, in whatever form.
    SetUp();
    fake::fake().messages[123] = u"The filename, directory name, or volume label syntax is incorrect.\r\n";
    auto r = run_quelk({"a", std::string(256, 'n')});
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err, "quelk: failed to create hard link `" + std::string(256, 'n') +
                         "': The filename, directory name, or volume label syntax is incorrect.\r\n");
    // The stored target of a symbolic link is the text typed.
    SetUp();
    EXPECT_EQ(run_quelk({"-s", "dot.", "l"}).status, STATUS_OK);
    EXPECT_EQ(fake::fake().files["l"].symlink_target, "dot.");
    // A hard link's target is a name Windows opens, in the same form.
    SetUp();
    fake::add_file("held.");
    EXPECT_EQ(run_quelk({"held.", "h"}).status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("CreateHardLinkW(h"), std::vector<std::string>{"CreateHardLinkW(h, \\\\?\\C:\\work\\held., null)"});
}

TEST_F(WindowsNames, ForceMakesItsTemporaryInLinkNamesDirectory) {
    fake::add_file("sub/l");
    fake::add_file("D:/x/l");
    fake::add_file("D:l");
    fake::fake().drives = true;
    struct case_ {
        const char* linkname;
        const char* directory;
    };
    for (const case_& c : {case_{"sub\\l", "sub\\"}, {"D:\\x\\l", "D:\\x\\"}, {"D:l", "D:"}}) {
        fake::fake().calls.clear();
        auto r = run_quelk({"-f", "a", c.linkname});
        EXPECT_EQ(r.status, STATUS_OK) << c.linkname << r.err;
        EXPECT_EQ(fake::calls_of(std::string("CreateHardLinkW(") + c.directory + ".qk").size(), 1u) << c.linkname;
        EXPECT_EQ(fake::calls_of("rename(" + std::string(c.directory) + ".qk").size(), 1u) << c.linkname;
    }
}

}  // namespace
