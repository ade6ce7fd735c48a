// The stand-in for Windows: paths convert as Cygwin's converter does and
// map back to the same host bytes; failures carry Windows' codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/stand_in/stand_in.h"

namespace {

std::u16string convert(const char* path) {
    std::unique_ptr<char16_t, platform::free_deleter> converted(static_cast<char16_t*>(
        platform::cygwin_create_path(platform::CCP_POSIX_TO_WIN_W | platform::CCP_RELATIVE, path)));
    return converted ? std::u16string(converted.get()) : u"<none>";
}

class StandIn : public testing::Test {
protected:
    void SetUp() override {
        std::setlocale(LC_ALL, "C.UTF-8");
        char pattern[] = "/tmp/quelk-stand-in-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        char* cwd = getcwd(nullptr, 0);
        previous_ = cwd;
        std::free(cwd);
        ASSERT_EQ(chdir(scratch_.c_str()), 0);
        ASSERT_EQ(mkdir("sub", 0755), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(previous_.c_str()), 0);
        std::string command = "rm -rf '" + scratch_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::setlocale(LC_ALL, "C");
    }
    std::string scratch_;
    std::string previous_;
};

TEST_F(StandIn, PathsConvertAsInACygwinInstall) {
    EXPECT_EQ(convert("/usr/bin"), u"C:\\cygwin64\\usr\\bin");
    EXPECT_EQ(convert("/"), u"C:\\cygwin64\\");
    EXPECT_EQ(convert("/cygdrive/d/x/y"), u"D:\\x\\y");
    EXPECT_EQ(convert("C:/x"), u"C:\\x");
    EXPECT_EQ(convert("."), u".");
    EXPECT_EQ(convert("name."), u"name.");
    EXPECT_EQ(convert("a\\b"), u"a\\b");
    EXPECT_EQ(convert("d/x"), u"d\\x");
    // A backslash or a drive makes a Win32 path, whose ".." is text.
    EXPECT_EQ(convert("sub\\..\\x"), u"x");
    EXPECT_EQ(convert("\\x"), u"C:\\x");
    EXPECT_EQ(convert("\\\\?\\C:\\cygwin64\\tmp"), u"C:\\cygwin64\\tmp");
    EXPECT_EQ(convert("//server/share/x"), u"\\\\server\\share\\x");
    // A typed private-range character stays itself; so does what Cygwin
    // writes with it.
    EXPECT_EQ(convert("x\xef\x82\xa0:"), u"x\uf0a0\uf03a");
    EXPECT_EQ(convert("a?b:c"), u"a\uf03fb\uf03ac");
    EXPECT_EQ(convert("tab\there"), u"tab\uf009here");
    EXPECT_EQ(convert("caf\xc3\xa9 \xff."), u"caf\u00e9 \uf0ff.");
    EXPECT_EQ(convert("s\xed\xa0\x80"), u"s\xd800");
    // Out of the current directory, a relative path comes back absolute.
    EXPECT_EQ(convert("sub/../.."), u"C:\\cygwin64\\tmp");
    EXPECT_EQ(convert(""), u"<none>");
    // The \\?\ form names the same host path.
    EXPECT_EQ(platform::host_path(u"\\\\?\\C:\\cygwin64\\tmp\\dot."), "/tmp/dot.");
    EXPECT_EQ(platform::host_path(u"\\\\?\\UNC\\server\\share\\x"), "//server/share/x");
    EXPECT_EQ(platform::host_path(u"\\\\?\\D:\\x"), "/cygdrive/d/x");
}

TEST_F(StandIn, ConvertedNamesMakeLinksUnderTheSameHostBytes) {
    const char* names[] = {"a?b", "trail. ", "bad\xff\xfe", "ctl\x01", "caf\xc3\xa9.", "x:y|z", "s\xed\xa0\x80"};
    for (const char* name : names) {
        int fd = open(name, O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << name;
        close(fd);
        std::string link = std::string("sub/") + name;
        std::string absolute = scratch_ + "/" + name;
        ASSERT_TRUE(platform::CreateHardLinkW(convert(link.c_str()).c_str(), convert(absolute.c_str()).c_str(), nullptr))
            << name << " " << platform::GetLastError();
        struct stat original, linked;
        ASSERT_EQ(stat(name, &original), 0);
        ASSERT_EQ(stat(link.c_str(), &linked), 0) << name;
        EXPECT_EQ(original.st_ino, linked.st_ino);
    }

    auto* entry = reinterpret_cast<platform::create_symbolic_link_fn>(
        platform::GetProcAddress(platform::LoadLibraryW(u"kernel32"), "CreateSymbolicLinkW"));
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry(u"sub\\l", convert("/etc/x?y").c_str(), 0));
    char stored[64] = {};
    ASSERT_GT(readlink("sub/l", stored, sizeof stored - 1), 0);
    EXPECT_STREQ(stored, "/etc/x?y");
}

// Each POSIX call reads its name once, as Cygwin does, before the host
// sees it: the host entry it reaches for each way of naming it.
TEST_F(StandIn, EveryCallReadsANameAsCygwinDoes) {
    for (const char* made : {"x\xa0", "y:", "prog.exe", "sub/d.exe"}) close(open(made, O_CREAT | O_WRONLY, 0644));
    ASSERT_EQ(mkdir("dir.exe", 0755), 0);
    std::string here = "C:\\cygwin64" + scratch_;
    std::replace(here.begin(), here.end(), '/', '\\');
    struct case_ {
        std::string given;
        const char* reached;  // none where nothing is found
    };
    const case_ cases[] = {
        {"sub\\d.exe", "sub/d.exe"},
        {here + "\\prog", "prog.exe"},
        {"/cygdrive/c/cygwin64" + scratch_ + "/y:", "y:"},
        {"x\xef\x82\xa0", "x\xa0"},
        {"y\xef\x80\xba", "y:"},
        {"prog", "prog.exe"},
        {"sub/d", "sub/d.exe"},
        {"dir", nullptr},
        {"sub\\..\\prog.exe", "prog.exe"},
    };
    for (const auto& c : cases) {
        platform::file_status status{};
        int found = platform::file_lstat(c.given.c_str(), &status);
        if (c.reached == nullptr) {
            EXPECT_NE(found, 0) << c.given;
            continue;
        }
        struct stat expected;
        ASSERT_EQ(lstat(c.reached, &expected), 0) << c.reached;
        ASSERT_EQ(found, 0) << c.given;
        EXPECT_EQ(status.inode, expected.st_ino) << c.given;
    }
    EXPECT_EQ(convert("prog"), u"prog.exe");
    EXPECT_EQ(convert("dir"), u"dir");
}

TEST_F(StandIn, FailuresCarryWindowsCodesAndTexts) {
    EXPECT_FALSE(platform::CreateHardLinkW(u"l", u"missing", nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_FILE_NOT_FOUND);
    close(open("a", O_CREAT | O_WRONLY, 0644));
    EXPECT_FALSE(platform::CreateHardLinkW(u"nodir\\l", u"a", nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(platform::CreateHardLinkW(u"sub", u"a", nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_ALREADY_EXISTS);

    char16_t* text = nullptr;
    platform::FormatMessageW(0x1300, nullptr, platform::ERROR_ALREADY_EXISTS, 0, &text, 0, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), u"Cannot create a file when that file already exists.\r\n");
    platform::LocalFree(text);
    text = nullptr;
    platform::FormatMessageW(0x1300, nullptr, 4242, 0, &text, 0, nullptr);
    EXPECT_EQ(text, nullptr);
}

}  // namespace
