#include <gtest/gtest.h>

#include "fake_platform.h"
#include "link/link.h"
#include "run_quelk.h"

namespace {

class MakeLink : public testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        fake::fake().messages[2] = u"The system cannot find the file specified.\r\n";
        fake::fake().messages[5] = u"Access is denied.\r\n";
        create_symbolic_link_entry = reinterpret_cast<platform::create_symbolic_link_fn>(
            platform::GetProcAddress(nullptr, "CreateSymbolicLinkW"));
        fake::fake().calls.clear();
    }

    run_result link(const char* target, const char* linkname) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = make_link(target, linkname);
        std::fflush(stdout);
        std::string out = testing::internal::GetCapturedStdout();
        return {status, out, testing::internal::GetCapturedStderr()};
    }
};

TEST_F(MakeLink, HardLinkGivesWindowsTheNewNameFirst) {
    fake::add_file("a");
    settings.verbose = true;
    auto r = link("a", "sub/b");
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.out, "`sub/b' => `a'\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(fake::calls_of("Create"), std::vector<std::string>{"CreateHardLinkW(sub\\b, a, null)"});
}

TEST_F(MakeLink, SymbolicLinkKindFollowsTheLinkTypeAndTheTarget) {
    struct case_ {
        int link_type;
        const char* target;
        const char* flag;
        const char* kind;
    };
    const case_ cases[] = {
        {LINK_TYPE_AUTO, "dir", "1", "dir"},       {LINK_TYPE_AUTO, "file", "0", "file"},
        {LINK_TYPE_AUTO, "missing", "0", "file"},  {LINK_TYPE_AUTO, "to_dir", "1", "dir"},
        {LINK_TYPE_FILE, "dir", "0", "file"},      {LINK_TYPE_DIRECTORY, "missing", "1", "dir"},
    };
    for (const auto& c : cases) {
        SetUp();
        fake::add_directory("dir");
        fake::add_file("file");
        fake::add_symlink("to_dir", "dir");
        settings.symbolic = settings.verbose = true;
        settings.link_type = c.link_type;
        auto r = link(c.target, "l");
        EXPECT_EQ(r.status, STATUS_OK);
        EXPECT_EQ(r.out, std::string("`l' -> `") + c.target + "' [" + c.kind + "]\n");
        EXPECT_EQ(fake::calls_of("Create"),
                  std::vector<std::string>{std::string("CreateSymbolicLinkW(l, ") + c.target + ", " + c.flag + ")"});
    }
}

TEST_F(MakeLink, RelativeTargetIsLookedUpHereAndStoredAsGiven) {
    fake::add_directory("../x");
    settings.symbolic = true;
    EXPECT_EQ(link("../x", "sub/l").status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("stat"), std::vector<std::string>{"stat(../x)"});
    EXPECT_EQ(fake::calls_of("Create"), std::vector<std::string>{"CreateSymbolicLinkW(sub\\l, ..\\x, 1)"});
}

TEST_F(MakeLink, RefusalsCarryTheSystemTextAndNoReport) {
    settings.verbose = true;
    fake::fake().script["CreateHardLinkW"] = {5};
    auto r = link("a", "b");
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quelk: failed to create hard link `b': Access is denied.\r\n");

    r = link("missing", "b");
    EXPECT_EQ(r.err, "quelk: failed to create hard link `b': The system cannot find the file specified.\r\n");

    settings.symbolic = true;
    fake::fake().script["CreateSymbolicLinkW"] = {1314};
    r = link("a", "c");
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quelk: failed to create symbolic link `c': [unknown error]\n");
    EXPECT_EQ(fake::fake().allocated_texts, 0);
}

TEST_F(MakeLink, ExistingNameWithoutForceIsLeftAlone) {
    fake::add_file("a");
    fake::add_file("b");
    fake::add_symlink("dangling", "nowhere");
    for (const char* name : {"b", "dangling"}) {
        auto r = link("a", name);
        EXPECT_EQ(r.status, STATUS_USAGE);
        EXPECT_EQ(r.err, std::string("quelk: could not create link `") + name + "': file exists\n");
    }
    EXPECT_TRUE(fake::calls_of("unlink").empty());
    EXPECT_TRUE(fake::exists("b"));
    EXPECT_TRUE(fake::exists("dangling"));
}

TEST_F(MakeLink, UnconvertibleNamesAreReportedLinkNameFirst) {
    fake::fake().unconvertible = {"/bad/link", "/bad/target"};
    auto r = link("/bad/target", "/bad/link");
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err, "quelk: could not convert `/bad/link' to win32 path\n");

    r = link("/bad/target", "l");
    EXPECT_EQ(r.err, "quelk: could not convert `/bad/target' to win32 path\n");

    r = link("a", "");
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err, "quelk: could not convert `' to win32 path\n");
    r = link("", "l");
    EXPECT_EQ(r.err, "quelk: could not convert `' to win32 path\n");
    EXPECT_TRUE(fake::calls_of("Create").empty());
}

}  // namespace
