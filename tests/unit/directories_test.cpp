// Names Windows opens are the entries the POSIX calls examine: their
// directory as the platform's converter resolves it (Cygwin's mount points
// and symbolic links, a current directory beyond MAX_PATH), their final
// name as typed. Against the fake's model of those rules.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "link/link.h"
#include "run_quelk.h"
#include "text/utf16.h"

namespace {

using calls = std::vector<std::string>;

class Directories : public testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        fake::add_file("a");
    }
};

TEST_F(Directories, MountPointsAndCygwinLinksLeadWhereTheConverterSays) {
    // In Cygwin, /work/usr/bin is C:\cygwin64\bin, and cyglink a Cygwin
    // symbolic link, which Windows itself would not follow.
    fake::fake().mounts["/work/usr/bin"] = u"C:\\cygwin64\\bin";
    fake::add_symlink("cyglink", "/real");
    fake::add_directory("/cygwin64/bin");
    fake::add_directory("/real");
    EXPECT_EQ(run_quelk({"a", "usr/bin/x"}).status, STATUS_OK);
    EXPECT_EQ(run_quelk({"a", "cyglink/x"}).status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("Create"),
              (calls{"CreateHardLinkW(C:\\cygwin64\\bin\\x, a, null)", "CreateHardLinkW(C:\\real\\x, a, null)"}));
}

TEST_F(Directories, EachDirectoryIsResolvedOncePerRun) {
    fake::add_file("b");
    fake::add_file("c");
    fake::add_directory("dir");
    EXPECT_EQ(run_quelk({"-t", "dir", "a", "b", "c"}).status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("cygwin_create_path"), calls{"cygwin_create_path(0x101, dir/)"});
}

TEST_F(Directories, DeepCurrentDirectoryGetsAbsoluteNames) {
    // Relative Win32 names count the current directory towards MAX_PATH.
    fake::fake().current_directory = "/" + std::string(150, 'd') + "/" + std::string(150, 'd');
    auto r = run_quelk({"a", "b"});
    EXPECT_EQ(r.status, STATUS_OK) << r.err;
    std::string here = "\\\\?\\C:\\" + std::string(150, 'd') + "\\" + std::string(150, 'd') + "\\";
    EXPECT_EQ(fake::calls_of("Create"), calls{"CreateHardLinkW(" + here + "b, " + here + "a, null)"});
    EXPECT_TRUE(fake::exists("b"));
}

TEST_F(Directories, DeepCurrentDirectoryGetsAbsoluteNamesInEveryCallAboutThem) {
    // --force over b while another program holds a for a moment: the looks
    // that find it held and the links all name the files as the link call
    // does.
    fake::fake().current_directory = "/" + std::string(150, 'd') + "/" + std::string(150, 'd');
    fake::add_file("b");
    fake::fake().held[fake::fake().files["a"].status.inode] = 2;
    auto r = run_quelk({"-f", "a", "b"});
    EXPECT_EQ(r.status, STATUS_OK) << r.err;
    EXPECT_EQ(fake::fake().files["b"].status.inode, fake::fake().files["a"].status.inode);
    EXPECT_EQ(fake::fake().slept, 50u);
    auto win32_calls = fake::calls_of("file_held_open(");
    auto links = fake::calls_of("CreateHardLinkW(");
    win32_calls.insert(win32_calls.end(), links.begin(), links.end());
    EXPECT_EQ(win32_calls.size(), 3u);
    std::string here = "\\\\?\\C:\\" + std::string(150, 'd') + "\\" + std::string(150, 'd') + "\\";
    for (const auto& call : win32_calls)
        EXPECT_EQ(call.substr(call.find('(') + 1, here.size()), here) << call;
}

TEST_F(Directories, FinalNameIsNeverFollowedWhateverTheForm) {
    // v1./l needs the \\?\ form for its directory's final dot; the link
    // at l is Cygwin's own and must not be followed to its destination.
    fake::add_directory("v1.");
    fake::add_symlink("v1./l", "/elsewhere");
    auto r = run_quelk({"a", "v1./l"});
    EXPECT_EQ(r.status, STATUS_USAGE);
    EXPECT_EQ(r.err, "quelk: could not create link `v1./l': file exists\n");
    EXPECT_FALSE(fake::exists("/elsewhere"));
    EXPECT_EQ(fake::calls_of("Create"), calls{});
}

TEST(LongForm, DevicePathsKeepTheirForm) {
    EXPECT_EQ(text::long_form(u"\\\\.\\Z:\\t\\dot."), u"\\\\?\\Z:\\t\\dot.");
    EXPECT_EQ(text::long_form(u"\\\\server\\share\\x."), u"\\\\?\\UNC\\server\\share\\x.");
    EXPECT_EQ(text::long_form(u"C:\\x."), u"\\\\?\\C:\\x.");
}

}  // namespace
