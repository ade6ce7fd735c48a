// What Windows answers where POSIX would answer otherwise, against the
// fake's model of it: the links it refuses, and with which error, a
// relative symbolic link read from its own directory, a rename between two
// names of one file, a drive-relative name beyond MAX_PATH.
#include <gtest/gtest.h>

#include <utility>

#include "fake_platform.h"
#include "link/link.h"
#include "run_quelk.h"
#include "text/utf16.h"

namespace {

class WindowsAnswers : public testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        auto& messages = fake::fake().messages;
        messages[2] = u"The system cannot find the file specified.\r\n";
        messages[3] = u"The system cannot find the path specified.\r\n";
        messages[5] = u"Access is denied.\r\n";
        messages[17] = u"The system cannot move the file to a different disk drive.\r\n";
        messages[123] = u"The filename, directory name, or volume label syntax is incorrect.\r\n";
        messages[1142] = u"An attempt was made to create more links on a file than the file system supports.\r\n";
        messages[4392] = u"The data present in the reparse point buffer is invalid.\r\n";
        fake::add_file("a");
        fake::add_directory("d");
        create_symbolic_link_entry = reinterpret_cast<platform::create_symbolic_link_fn>(
            platform::GetProcAddress(nullptr, "CreateSymbolicLinkW"));
    }
    std::uint64_t inode(const std::string& path) { return fake::fake().files[path].status.inode; }
};

TEST_F(WindowsAnswers, LinksWindowsRefusesAreRefusedWithItsReasons) {
    fake::add_file("full", 1023);
    fake::add_file("/v/far");
    std::string long_target(8200, 't');
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"d", "h"}, "Access is denied."},
        {{"a", "nodir/h"}, "The system cannot find the path specified."},
        {{"nodir/a", "h"}, "The system cannot find the path specified."},
        {{"missing", "h"}, "The system cannot find the file specified."},
        {{"full", "h"}, "An attempt was made to create more links on a file than the file system supports."},
        {{"/v/far", "h"}, "The system cannot move the file to a different disk drive."},
        {{"-s", "a", "h/"}, "The filename, directory name, or volume label syntax is incorrect."},
        {{"-s", "a", "nodir/h"}, "The system cannot find the path specified."},
        {{"-s", long_target, "h"}, "The data present in the reparse point buffer is invalid."},
    };
    for (const auto& c : cases) {
        settings = run_settings{};
        optind = 0;
        auto r = run_quelk(c.args);
        bool symbolic = c.args[0] == "-s";
        EXPECT_EQ(r.status, STATUS_LINK_FAILED) << c.reason;
        EXPECT_EQ(r.err, std::string("quelk: failed to create ") + (symbolic ? "symbolic" : "hard") + " link `" +
                             c.args.back() + "': " + c.reason + "\r\n");
        EXPECT_FALSE(fake::exists("h")) << c.reason;
        EXPECT_FALSE(fake::exists("nodir/h")) << c.reason;
    }
    // A directory link may be named with a final separator.
    settings = run_settings{};
    optind = 0;
    EXPECT_EQ(run_quelk({"-s", "-d", "d", "h/"}).status, STATUS_OK);
    EXPECT_EQ(fake::fake().files["h"].symlink_target, "d");
}

TEST_F(WindowsAnswers, RelativeLinkLeadsFromItsOwnDirectory) {
    // sub/l leads to a, the only name of its file: it is not replaced by
    // a link of sub/l, which would be its end.
    fake::add_symlink("sub/l", "..\\a");
    auto r = run_quelk({"-f", "sub/l", "a"});
    EXPECT_EQ(r.status, STATUS_USAGE);
    EXPECT_EQ(r.err, "quelk: `sub/l' and `a' are the same file\n");
    EXPECT_TRUE(fake::fake().files["a"].symlink_target.empty());
    // Stored as given.
    settings = run_settings{};
    optind = 0;
    EXPECT_EQ(run_quelk({"-s", "../a", "d/l"}).status, STATUS_OK);
    EXPECT_EQ(fake::fake().files["d/l"].symlink_target, "..\\a");
}

TEST_F(WindowsAnswers, RenameBetweenTwoNamesOfOneFileLeavesNoTemporary) {
    // Just before the rename another process makes b a name of a's file:
    // the rename either keeps its source or removes it; either way b is
    // a's, and no temporary is left.
    for (bool keeps : {true, false}) {
        SetUp();
        fake::add_file("b");
        fake::fake().rename_keeps_source = keeps;
        bool done = false;
        fake::fake().before["rename"] = [&done] {
            if (!std::exchange(done, true)) fake::fake().files["b"] = fake::fake().files["a"];
        };
        auto r = run_quelk({"-f", "a", "b"});
        EXPECT_EQ(r.status, STATUS_OK) << keeps << r.err;
        EXPECT_EQ(inode("b"), inode("a")) << keeps;
        EXPECT_FALSE(fake::temporary_left()) << keeps;
    }
}

TEST_F(WindowsAnswers, DeviceNamesAreFilesOfThatName) {
    // Windows reads a plain final name nul, con, com1 (also with an
    // extension) as the device; the \\?\ form is a file of that name, for
    // the look, the link and the rename alike.
    for (const char* name : {"NUL", "con.txt", "d/Com1", "aux "}) {
        for (bool force : {false, true}) {
            SetUp();
            if (force) fake::add_file(name);
            settings = run_settings{};
            optind = 0;
            auto r = run_quelk(force ? std::vector<std::string>{"-fv", "a", name} : std::vector<std::string>{"-v", "a", name});
            EXPECT_EQ(r.status, STATUS_OK) << name << r.err;
            EXPECT_EQ(r.out, std::string("`") + name + "' => `a'\n");
            EXPECT_EQ(inode(name), inode("a")) << name;
            for (const auto& call : fake::calls_of("CreateHardLinkW")) {
                if (call.find(".qk") != std::string::npos) continue;
                EXPECT_EQ(call.substr(0, 23), "CreateHardLinkW(\\\\?\\C:\\") << call;
            }
            EXPECT_FALSE(fake::temporary_left()) << name;
        }
    }
}

// The fake's own answers, where POSIX would answer otherwise: a file
// named with a final separator, "." in a \\?\ name, a directory link on
// the way to another volume, a name renamed onto itself.
TEST_F(WindowsAnswers, NamesAreReadAsWindowsReadsThem) {
    fake::add_directory("/v/far");
    fake::add_symlink("to_far", "/v/far");
    const struct {
        const char16_t* link;
        platform::DWORD error;
    } cases[] = {
        {u"a\\", platform::ERROR_INVALID_NAME},
        {u"\\\\?\\C:\\work\\.\\h", platform::ERROR_INVALID_NAME},
        {u"to_far\\h", platform::ERROR_NOT_SAME_DEVICE},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(platform::CreateHardLinkW(c.link, u"a", nullptr));
        EXPECT_EQ(platform::GetLastError(), c.error) << text::to_utf8(c.link);
    }
    EXPECT_FALSE(platform::CreateHardLinkW(u"h", u"a\\", nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_INVALID_NAME);
    // -f a a/: a is kept, with Windows' reason.
    auto r = run_quelk({"-f", "d", "a/"});
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err, "quelk: failed to create hard link `a/': Access is denied.\r\n");
    EXPECT_FALSE(fake::fake().files["a"].status.is_directory);
    fake::fake().rename_keeps_source = false;
    platform::DWORD error = 0;
    EXPECT_EQ(platform::file_rename("a", "a", &error), 0);
    EXPECT_TRUE(fake::exists("a"));
}

TEST_F(WindowsAnswers, CurrentDirectoryWindowsReadsOtherwiseMakesNamesAbsolute) {
    // Cygwin's current directory /work/v1. beside /work/v1: Windows reads
    // a relative name against v1, so every name goes absolute.
    fake::fake().current_directory = "/work/v1.";
    fake::add_directory("/work/v1");
    fake::add_file("a");
    for (const auto& args : {std::vector<std::string>{"a", "b"}, {"-f", "a", "c"}, {"-s", "a", "s"}}) {
        settings = run_settings{};
        optind = 0;
        if (args[1] == "a") fake::add_file("c");
        auto r = run_quelk(args);
        EXPECT_EQ(r.status, STATUS_OK) << args.back() << r.err;
        EXPECT_TRUE(fake::exists(args.back())) << args.back();
        EXPECT_FALSE(fake::exists("/work/v1/" + args.back())) << args.back();
    }
    for (const auto& call : fake::calls_of("Create"))
        EXPECT_NE(call.find("(\\\\?\\C:\\work\\v1.\\"), std::string::npos) << call;
}

TEST_F(WindowsAnswers, RootedNameCountsTheCurrentDrive) {
    // "\\r...\x" is read as "C:\\r...\x": from 258 units on, MAX_PATH is
    // reached, and the absolute \\?\ form is given.
    fake::fake().drives = true;
    for (std::size_t units : {257u, 258u}) {
        std::string directory(units - 3, 'r');
        fake::add_directory("/" + directory);
        fake::fake().calls.clear();
        settings = run_settings{};
        optind = 0;
        auto r = run_quelk({"a", "/" + directory + "/x"});
        EXPECT_EQ(r.status, STATUS_OK) << r.err;
        std::string name = (units == 258 ? "\\\\?\\C:\\" : "\\") + directory + "\\x";
        EXPECT_EQ(fake::calls_of("CreateHardLinkW"), std::vector<std::string>{"CreateHardLinkW(" + name + ", a, null)"});
    }
}

TEST_F(WindowsAnswers, DriveRelativeNameCountsItsDrivesDirectory) {
    // "D:x" is x in drive D's current directory, 261 units deep: the plain
    // form would pass MAX_PATH, so the absolute \\?\ form is given.
    fake::fake().drives = true;
    std::string deep = std::string(200, 'n') + "\\" + std::string(60, 'm');
    fake::fake().drive_directories[u'D'] = u"D:\\" + std::u16string(deep.begin(), deep.end());
    fake::add_directory("D:/" + std::string(200, 'n') + "/" + std::string(60, 'm'));
    auto r = run_quelk({"a", "D:x"});
    EXPECT_EQ(r.status, STATUS_OK) << r.err;
    EXPECT_EQ(fake::calls_of("CreateHardLinkW"), std::vector<std::string>{"CreateHardLinkW(\\\\?\\D:\\" + deep + "\\x, a, null)"});
}

}  // namespace
