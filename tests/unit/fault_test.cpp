// Every operation failing in turn, and another process changing LINKNAME
// under quelk: always a documented outcome, nothing leaked, nothing lost.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string_view>

#include "fake_platform.h"
#include "link/link.h"
#include "run_quelk.h"

namespace {

struct fault {
    const char* operation;
    std::vector<unsigned> errors;
};

const fault faults[] = {
    {"CreateHardLinkW", {2, 3, 5, 17, 19, 31, 112, 183, 206, 1142, 1921}},
    {"CreateSymbolicLinkW", {2, 3, 5, 19, 31, 87, 112, 183, 206, 1314, 1921}},
    {"OpenProcessToken", {5}},
    {"LookupPrivilegeValueW", {1313}},
    {"AdjustTokenPrivileges", {5, 87}},
    {"FormatMessageW", {1}},
    {"cygwin_create_path", {ENOMEM, ENAMETOOLONG, EINVAL}},
    {"lstat", {EACCES, ENOENT, EIO, ENAMETOOLONG}},
    {"unlink", {EACCES, EPERM, EBUSY, EROFS}},
    {"rename", {EACCES, EPERM, EBUSY, EROFS, EXDEV, ENOENT}},
    {"writable", {EACCES, EROFS}},
};

const std::vector<std::vector<std::string>> commands = {
    {"a", "n"},          {"-f", "a", "b"},           {"-s", "a", "n"},          {"-sf", "a", "b"},
    {"-v", "-t", "d", "a", "b"}, {"-f", "/w/a", "/w/b"}, {"-sf", "-T", "d", "b"},
};

// The lines each failing status may be told with; a star stands for any
// text.
const std::multimap<int, std::string> messages = {
    {1, "quelk: could not create link `*': file exists"},
    {1, "quelk: `*' and `*' are the same file"},
    {2, "quelk: could not convert `*' to win32 path"},
    {2, "quelk: failed to create hard link `*': *"},
    {2, "quelk: failed to create symbolic link `*': *"},
    {3, "quelk: you don't permission to create symbolic links. Run, as administrator,"},
    {3, "quelk:   editrights -a SeCreateSymbolicLinkPrivilege -a $YOUR_USER"},
    {5, "quelk: cannot remove `*': *"},
};

bool matches(std::string_view text, std::string_view pattern) {
    std::size_t star = pattern.find('*');
    if (star == std::string_view::npos) return text == pattern;
    if (text.substr(0, star) != pattern.substr(0, star)) return false;
    for (std::size_t from = star; from <= text.size(); ++from)
        if (matches(text.substr(from), pattern.substr(star + 1))) return true;
    return false;
}

// Every line is one of the documented ones, and one of them goes with STATUS.
bool documented(const std::string& err, int status) {
    bool status_told = false;
    std::size_t start = 0;
    while (start < err.size()) {
        std::size_t end = err.find('\n', start);
        if (end == std::string::npos) return false;
        std::string line = err.substr(start, end - start);
        bool known = false;
        for (const auto& [code, pattern] : messages) {
            if (!matches(line, pattern)) continue;
            known = true;
            status_told = status_told || code == status;
        }
        if (!known) return false;
        start = end + 1;
    }
    return status_told;
}

void make_files() {
    fake::add_file("a");
    fake::add_file("b");
    fake::add_file("/w/a");
    fake::add_file("/w/b");
    fake::add_directory("d");
    fake::fake().messages[5] = u"Access is denied.\r\n";
}

TEST(Faults, EveryFailureEndsInItsMessageAndLosesNothing) {
    for (const auto& f : faults) {
        for (unsigned error : f.errors) {
            for (bool every_call : {false, true}) {
                for (const auto& args : commands) {
                    fake::reset();
                    make_files();
                    auto b = fake::fake().files["b"].status.inode;
                    fake::fake().script[f.operation] =
                        std::deque<unsigned>(every_call ? 8 : 1, error);
                    auto r = run_quelk(args);
                    std::string what = std::string(f.operation) + " " + std::to_string(error) + " " +
                                       testing::PrintToString(args);

                    if (r.status != STATUS_OK)
                        EXPECT_TRUE(documented(r.err, r.status)) << what << ": " << r.status << " " << r.err;
                    else
                        EXPECT_EQ(r.err, "") << what;
                    EXPECT_EQ(fake::fake().open_handles, 0) << what;
                    EXPECT_EQ(fake::fake().allocated_texts, 0) << what;
                    // b is kept, or is the link that was asked for.
                    ASSERT_TRUE(fake::exists("b")) << what;
                    const auto& now = fake::fake().files["b"];
                    EXPECT_TRUE(now.status.inode == b || now.status.inode == fake::fake().files["a"].status.inode ||
                                now.symlink_target == "a" || now.symlink_target == "d")
                        << what;
                    EXPECT_TRUE(fake::exists("a") && fake::exists("/w/b")) << what;
                    if (std::string(f.operation) != "unlink") {
                        EXPECT_FALSE(fake::temporary_left()) << what;
                    }
                }
            }
        }
    }
}

class Race : public testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        fake::add_file("a");
        fake::add_file("b");
        settings.force = true;
    }
    // Another process writes its own file at b.
    static void other_writer() { fake::add_file("b"); }
};

TEST_F(Race, ForceReplacesWhatAnotherProcessPutThereMeanwhile) {
    // As ln -f: what stands at b when the rename comes is replaced, be it
    // another process's file or, for a hard link, already a name of a.
    for (auto writer : {other_writer, +[] { fake::fake().files["b"] = fake::fake().files["a"]; }}) {
        SetUp();
        fake::fake().before["writable"] = writer;
        auto r = run_quelk({"a", "b"});
        EXPECT_EQ(r.status, STATUS_OK) << r.err;
        EXPECT_EQ(fake::fake().files["b"].status.inode, fake::fake().files["a"].status.inode);
        EXPECT_FALSE(fake::temporary_left());
    }
}

TEST_F(Race, NameRemovedMeanwhileGetsTheLink) {
    fake::fake().before["writable"] = [] { fake::fake().files.erase("b"); };
    auto r = run_quelk({"a", "b"});
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(fake::fake().files["b"].status.inode, fake::fake().files["a"].status.inode);
    EXPECT_FALSE(fake::temporary_left());

    // Removed before it could be examined, after the link was tried (as
    // the native build tries it first without --force): the link is asked
    // for again, and made. Removed and made anew each time: after a few
    // tries, the link's own failure is told.
    for (bool made_anew : {false, true}) {
        SetUp();
        settings.force = false;
        fake::fake().native_order = true;
        fake::fake().messages[183] = u"Cannot create a file when that file already exists.\r\n";
        fake::fake().before["lstat"] = [] { fake::fake().files.erase("b"); };
        if (made_anew) fake::fake().before["CreateHardLinkW"] = [] { fake::add_file("b"); };
        r = run_quelk({"a", "b"});
        EXPECT_EQ(r.status, made_anew ? STATUS_LINK_FAILED : STATUS_OK);
        EXPECT_EQ(fake::calls_of("CreateHardLinkW").size(), made_anew ? 8u : 2u);
        if (made_anew)
            EXPECT_EQ(r.err, "quelk: failed to create hard link `b': Cannot create a file when that file already exists.\r\n");
        else
            EXPECT_EQ(fake::fake().files["b"].status.inode, fake::fake().files["a"].status.inode);
    }
}

TEST_F(Race, NameCaughtMidRenameIsLookedAtAgainBeforeItIsRefused) {
    // b is a name of a's file when another process renames c over b: the
    // look at b catches a's file with that name already taken from it, one
    // link left, as if b were a itself. A second look sees c there.
    fake::add_file("c");
    fake::fake().files["b"] = fake::fake().files["a"];
    auto a = fake::fake().files["a"].status;
    static int looks;
    looks = 0;
    fake::fake().before["lstat"] = [a] {
        ++looks;
        if (looks == 1) {
            fake::fake().files["b"].status = a;
            fake::fake().files["b"].status.links = 1;
        } else if (looks == 3) {
            fake::fake().files["b"] = fake::fake().files["c"];
        }
    };
    auto r = run_quelk({"a", "b"});
    EXPECT_EQ(r.status, STATUS_OK) << r.err;
    EXPECT_EQ(fake::fake().files["b"].status.inode, a.inode);
    EXPECT_FALSE(fake::temporary_left());
}

TEST_F(Race, NameCaughtMidRenameTwiceIsNeverTargetItself) {
    // b, a name of a's file, is caught by two looks in a row with one link
    // counted (two renames over it, each caught mid-way): two entries of
    // one file never have one link, so it is looked at again until a look
    // agrees with itself, which finds b a name of a's file already.
    fake::fake().files["a"].status.links = 2;
    fake::fake().files["b"] = fake::fake().files["a"];
    static int looks;
    looks = 0;
    fake::fake().before["lstat"] = [] {
        if (fake::fake().calls.back() == "lstat(b)") fake::fake().files["b"].status.links = ++looks <= 2 ? 1 : 2;
    };
    auto r = run_quelk({"-v", "a", "b"});
    EXPECT_EQ(r.status, STATUS_OK) << r.err;
    EXPECT_EQ(r.out, "`b' => `a'\n");
    EXPECT_GE(looks, 3);
    EXPECT_FALSE(fake::temporary_left());
}

TEST_F(Race, TemporaryLinkTakenAwayLeavesTheNameAlone) {
    auto b = fake::fake().files["b"].status.inode;
    fake::fake().before["rename"] = [] {
        for (auto it = fake::fake().files.begin(); it != fake::fake().files.end(); ++it)
            if (it->first.find(".qk") != std::string::npos) {
                fake::fake().files.erase(it);
                break;
            }
    };
    auto r = run_quelk({"a", "b"});
    EXPECT_EQ(r.status, STATUS_CANNOT_REMOVE);
    EXPECT_EQ(r.err, "quelk: cannot remove `b': No such file or directory\n");
    EXPECT_EQ(fake::fake().files["b"].status.inode, b);
}

}  // namespace
