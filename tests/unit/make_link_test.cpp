#include <gtest/gtest.h>

#include <cstring>
#include <functional>

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
    fake::add_directory("sub");
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
        const char* stored = nullptr;  // where not the target as typed
    };
    const case_ cases[] = {
        {LINK_TYPE_AUTO, "dir", "1", "dir"},       {LINK_TYPE_AUTO, "file", "0", "file"},
        {LINK_TYPE_AUTO, "missing", "0", "file"},
        // Cygwin's own link, which Windows cannot follow: what it leads to.
        {LINK_TYPE_AUTO, "to_dir", "1", "dir", "C:\\work\\dir"},
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
        EXPECT_EQ(fake::calls_of("Create"), std::vector<std::string>{std::string("CreateSymbolicLinkW(l, ") +
                                                                      (c.stored ? c.stored : c.target) + ", " + c.flag + ")"});
    }
}

TEST_F(MakeLink, RelativeTargetIsJudgedFromTheLinksDirectoryAndStoredAsGiven) {
    // Windows reads ..\x from sub: x here, whatever ../x is from here.
    fake::add_directory("x");
    fake::add_directory("sub");
    fake::add_file("../x");
    settings.symbolic = true;
    EXPECT_EQ(link("../x", "sub/l").status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("stat"), std::vector<std::string>{"stat(sub/../x)"});
    EXPECT_EQ(link("../x", "l").status, STATUS_OK);
    EXPECT_EQ(link("/abs", "sub/abs").status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("stat"), (std::vector<std::string>{"stat(sub/../x)", "stat(../x)", "stat(/abs)"}));
    EXPECT_EQ(fake::calls_of("Create"), (std::vector<std::string>{"CreateSymbolicLinkW(sub\\l, ..\\x, 1)",
                                                                  "CreateSymbolicLinkW(l, ..\\x, 0)",
                                                                  "CreateSymbolicLinkW(sub\\abs, C:\\abs, 0)"}));
    EXPECT_TRUE(fake::calls_of("cygwin_create_path(0x101, ..").empty());
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
    // The converter refuses the directory of both names.
    fake::fake().unconvertible = {"/bad/"};
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

namespace {

// Nothing is asked but the link (natively) or LINKNAME's look and the
// link (on Cygwin, whose calls find entries Windows has under other names).
TEST_F(MakeLink, NothingElseIsAskedOnSuccess) {
    for (bool native : {true, false}) {
        SetUp();
        fake::fake().native_order = native;
        fake::add_file("a");
        EXPECT_EQ(link("a", "b").status, STATUS_OK);
        settings.symbolic = true;
        settings.link_type = LINK_TYPE_FILE;
        EXPECT_EQ(link("a", "c").status, STATUS_OK);
        settings.link_type = LINK_TYPE_AUTO;
        EXPECT_EQ(link("a", "d").status, STATUS_OK);
        std::vector<std::string> asked{"CreateHardLinkW(b, a, null)", "CreateSymbolicLinkW(c, a, 0)", "stat(a)",
                                       "CreateSymbolicLinkW(d, a, 0)"};
        // On Cygwin a relative target is also converted, to tell whether
        // Windows reaches it as typed (its directory once), and whether
        // Cygwin tells case apart there is asked once.
        if (!native)
            asked = {"pathconf(.)", "lstat(b)", "CreateHardLinkW(b, a, null)", "realpath()",
                     "cygwin_create_path(0x1, .)", "cygwin_create_path(0x1, a)", "lstat(c)",
                     "CreateSymbolicLinkW(c, a, 0)", "stat(a)", "cygwin_create_path(0x1, a)", "lstat(d)",
                     "CreateSymbolicLinkW(d, a, 0)"};
        EXPECT_EQ(fake::fake().calls, asked) << (native ? "native" : "Cygwin");
    }
}

// Where Cygwin tells case apart and Windows does not, a name that Windows
// would read as an entry of another case (LINKNAME, a hard link's TARGET,
// a symbolic link's, or a directory on the way) is refused before
// anything is asked of Windows, and that entry is kept, with or without
// --force; one of its own case goes ahead.
TEST_F(MakeLink, NameOfAnotherCaseWhereCygwinTellsCaseApartIsRefused) {
    const struct {
        bool symbolic;
        const char* target;
        const char* linkname;
        const char* refused;  // none where it goes ahead
    } cases[] = {
        {false, "x", "cs/foo", "cs/foo"},  {false, "cs/foo", "m", "cs/foo"},  {true, "foo", "cs/m", "foo"},
        {false, "x", "cs/sub/y", "cs/sub/y"}, {false, "cs/Foo", "n", nullptr}, {false, "x", "cs/Sub/y", nullptr},
        {true, "Foo", "cs/n", nullptr},
    };
    for (bool force : {false, true}) {
        for (const auto& c : cases) {
            SetUp();
            fake::add_file("x");
            fake::add_file("cs/Foo");
            fake::add_directory("cs/Sub");
            fake::fake().case_sensitive.insert("cs");
            fake::fake().case_sensitive.insert("cs/Sub");
            auto before = fake::fake().files["cs/Foo"];
            settings.symbolic = c.symbolic;
            settings.force = force;
            auto r = link(c.target, c.linkname);
            if (c.refused) {
                EXPECT_EQ(r.status, STATUS_LINK_FAILED) << c.linkname;
                EXPECT_EQ(r.err, std::string("quelk: could not convert `") + c.refused + "' to win32 path\n");
                EXPECT_TRUE(fake::calls_of("Create").empty()) << c.linkname;
            } else {
                EXPECT_EQ(r.status, STATUS_OK) << c.target << " " << c.linkname << r.err;
            }
            EXPECT_EQ(fake::fake().files["cs/Foo"].status.inode, before.status.inode) << force;
            EXPECT_EQ(fake::fake().files["cs/Foo"].symlink_target, "") << force;
        }
    }
}

// On a file system that keeps DOS names only, a leading space and a final
// dot or space are written as Cygwin writes them, in the private range:
// the link is where Cygwin's calls find it, and a TARGET so named is
// linked, with or without --force.
TEST_F(MakeLink, NamesOnADosFileSystemAreCygwins) {
    const struct {
        bool symbolic, force;
        const char* target;
        const char* linkname;
    } cases[] = {
        {false, false, "x", "dos/a."},      {true, false, "x", "dos/b "},  {false, false, "x", "dos/ c"},
        {false, false, "dos/t.", "l"},      {true, true, "x", "dos/ e."},
        {false, false, "x", "dos/d./f"},
        // A link there, which the converter follows: its own name is told
        // by one beside it.
        {true, true, "x", "dos/s."},
    };
    for (const auto& c : cases) {
        SetUp();
        fake::fake().dos_file_systems.insert("dos");
        fake::add_file("x");
        fake::add_file("dos/t.");
        fake::add_file("dos/ e.");
        fake::add_directory("dos/d.");
        fake::add_symlink("dos/s.", "../y");
        settings.symbolic = c.symbolic;
        settings.force = c.force;
        auto r = link(c.target, c.linkname);
        EXPECT_EQ(r.status, STATUS_OK) << c.linkname << r.err;
        const auto& made = fake::fake().files[c.linkname];
        EXPECT_EQ(made.status.inode, c.symbolic ? made.status.inode : fake::fake().files[c.target].status.inode)
            << c.linkname;
        EXPECT_EQ(made.symlink_target, c.symbolic ? c.target : "") << c.linkname;
        EXPECT_FALSE(fake::temporary_left());
        std::size_t probes = std::strcmp(c.linkname, "dos/s.") == 0 ? 1 : 0;
        EXPECT_EQ(fake::calls_of("cygwin_create_path(0x1, dos/s..)").size(), probes) << c.linkname;
    }
}

// A link into the NT namespace (Cygwin's /proc/sys), which Cygwin takes
// for a file: its rename and unlink would act on TARGET itself, so only
// Windows' calls are given the temporary. TARGET stays, LINKNAME is the
// link, nothing is left.
TEST_F(MakeLink, LinkCygwinTakesForAFileIsRenamedByWindows) {
    fake::add_file("t");
    fake::add_file("l");
    settings.symbolic = settings.force = true;
    auto r = link("/proc/sys/?\?/C:/work/t", "l");
    EXPECT_EQ(r.status, STATUS_OK) << r.err;
    EXPECT_TRUE(fake::exists("t"));
    EXPECT_EQ(fake::fake().files["l"].symlink_target, "\\\\?\\GLOBALROOT\\?\?\\C:\\work\\t");
    EXPECT_FALSE(fake::temporary_left());
    EXPECT_EQ(fake::calls_of("MoveFileExW").size(), 1u);
    EXPECT_TRUE(fake::calls_of("rename").empty());
}

// TARGET as Cygwin's calls find it, which Windows must reach: a name found
// with ".exe", a mount point's own place, linked or stored as such; one
// Windows reads as typed stays relative.
TEST_F(MakeLink, TargetIsTheEntryCygwinFinds) {
    const struct {
        bool symbolic;
        const char* target;
        const char* asked;  // what Windows was given for it last
    } cases[] = {
        {false, "prog", "C:\\work\\prog.exe"},
        {true, "prog", "C:\\work\\prog.exe"},
        {true, "mnt/x", "D:\\data\\x"},
        {true, "sub/../a", "sub\\..\\a"},
    };
    for (const auto& c : cases) {
        SetUp();
        fake::add_file("prog.exe");
        fake::add_file("a");
        fake::add_directory("sub");
        fake::fake().mounts["/work/mnt"] = u"D:\\data";
        settings.symbolic = c.symbolic;
        auto r = link(c.target, "l");
        EXPECT_EQ(r.status, STATUS_OK) << c.target << r.err;
        auto made = fake::calls_of("Create").back();
        EXPECT_EQ(made.substr(made.find(", ") + 2, std::strlen(c.asked)), c.asked) << made;
    }
}

// What Cygwin's own calls find at LINKNAME is there, whatever Windows has
// under that name: nothing is made beside it. --force over it ends with
// the link there, or says where Cygwin's rename put it, and fails.
TEST_F(MakeLink, WhatCygwinFindsAtLinknameExists) {
    const struct {
        const char* linkname;
        std::function<void()> make;
        int forced;
        const char* forced_err;
    } cases[] = {
        {"foo", [] { fake::add_file("foo.exe"); }, STATUS_OK, ""},
        {"p", [] { fake::add_shortcut("p"); }, STATUS_OK, ""},
        {"s", [] { fake::add_shortcut("s"); fake::fake().files["x"].binary = true; }, STATUS_LINK_FAILED,
         "quelk: `s': the link was made as `s.lnk'\n"},
        // /dev is also a real directory of the installation, where the
        // temporary is made.
        {"/dev/null",
         [] {
             fake::add_directory("/dev");
             fake::fake().cygwin_only["/dev/null"] = platform::file_status{9, 1, 1, false};
         },
         STATUS_CANNOT_REMOVE, "quelk: cannot remove `/dev/null': Read-only file system\n"},
        {"/usr/lib", [] { fake::fake().cygwin_only["/usr/lib"] = platform::file_status{1, 2, 1, true}; },
         STATUS_CANNOT_REMOVE, "quelk: cannot remove `/usr/lib': Is a directory\n"},
    };
    for (const auto& c : cases) {
        for (bool force : {false, true}) {
            SetUp();
            fake::add_file("x");
            c.make();
            auto files = fake::fake().files.size();
            settings.force = force;
            auto r = link("x", c.linkname);
            EXPECT_FALSE(fake::temporary_left()) << c.linkname;
            if (!force) {
                EXPECT_EQ(r.status, STATUS_USAGE) << c.linkname;
                EXPECT_EQ(r.err, std::string("quelk: could not create link `") + c.linkname + "': file exists\n");
                EXPECT_EQ(fake::fake().files.size(), files) << c.linkname;
                EXPECT_TRUE(fake::calls_of("Create").empty()) << c.linkname;
                continue;
            }
            EXPECT_EQ(r.status, c.forced) << c.linkname;
            EXPECT_EQ(r.err, c.forced_err) << c.linkname;
            platform::file_status there{};
            if (c.forced == STATUS_OK) {
                EXPECT_EQ(platform::file_lstat(c.linkname, &there), 0) << c.linkname;
                EXPECT_EQ(there.inode, fake::fake().files["x"].status.inode) << c.linkname;
            }
        }
    }
}

TEST_F(MakeLink, ForceReplacesOnlyWithALinkAlreadyMade) {
    fake::add_file("a");
    fake::add_file("sub/b");
    auto old = fake::fake().files["sub/b"].status.inode;

    // Windows refuses the new link: sub/b stays, and no temporary name.
    // (sub/b is examined first, so the first link asked for is the new one.)
    fake::fake().script["CreateHardLinkW"] = {5};
    settings.force = true;
    auto r = link("a", "sub/b");
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err, "quelk: failed to create hard link `sub/b': Access is denied.\r\n");
    EXPECT_EQ(fake::fake().files["sub/b"].status.inode, old);
    EXPECT_FALSE(fake::temporary_left());
    EXPECT_TRUE(fake::calls_of("unlink").empty());
    // The new link was tried beside sub/b.
    EXPECT_EQ(fake::calls_of("CreateHardLinkW")[0].substr(0, 23), "CreateHardLinkW(sub\\.qk");

    // A rename that fails takes its temporary link with it.
    fake::fake().calls.clear();
    fake::fake().script["rename"] = {EPERM};
    r = link("a", "sub/b");
    EXPECT_EQ(r.status, STATUS_CANNOT_REMOVE);
    EXPECT_EQ(r.err, "quelk: cannot remove `sub/b': Operation not permitted\n");
    EXPECT_EQ(fake::fake().files["sub/b"].status.inode, old);
    EXPECT_FALSE(fake::temporary_left());
    EXPECT_EQ(fake::calls_of("unlink").size(), 1u);

    // A taken temporary name is passed over; then sub/b is replaced.
    fake::fake().calls.clear();
    fake::fake().script["CreateHardLinkW"] = {183};
    settings.verbose = true;
    r = link("a", "sub/b");
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.out, "`sub/b' => `a'\n");
    auto tries = fake::calls_of("CreateHardLinkW");
    ASSERT_EQ(tries.size(), 2u);
    EXPECT_NE(tries[0], tries[1]);
    EXPECT_EQ(fake::fake().files["sub/b"].status.inode, fake::fake().files["a"].status.inode);
    EXPECT_FALSE(fake::temporary_left());
}

TEST_F(MakeLink, ForceKeepsTheOrderOfFailures) {
    fake::add_file("a");
    fake::add_file("b");
    fake::add_directory("d");
    settings.force = true;
    // A directory cannot be removed, whatever else is wrong.
    for (const char* target : {"a", "", "missing"}) {
        auto r = link(target, "d");
        EXPECT_EQ(r.status, STATUS_CANNOT_REMOVE) << target;
        EXPECT_EQ(r.err, "quelk: cannot remove `d': Is a directory\n");
    }
    // Nor can a name in a directory that may not be changed.
    fake::fake().script["writable"] = {EACCES};
    auto r = link("missing", "b");
    EXPECT_EQ(r.status, STATUS_CANNOT_REMOVE);
    EXPECT_EQ(r.err, "quelk: cannot remove `b': Permission denied\n");
    // An unconvertible name is reported, and b is kept.
    r = link("", "b");
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err, "quelk: could not convert `' to win32 path\n");
    EXPECT_TRUE(fake::exists("b"));
    EXPECT_TRUE(fake::calls_of("unlink").empty());
}

TEST_F(MakeLink, ForceNeverReplacesAFileByItself) {
    fake::add_file("a");
    fake::add_file("l");
    fake::add_symlink("t", "l");
    fake::add_file("two", 2);
    fake::fake().files["other"] = fake::fake().files["two"];
    settings.force = true;
    struct case_ {
        bool symbolic;
        const char* target;
        const char* linkname;
    };
    for (const case_& c : {case_{false, "a", "./a"}, {true, "a", "a"}, {true, "t", "l"}, {false, "two", "./two"}}) {
        settings.symbolic = c.symbolic;
        auto r = link(c.target, c.linkname);
        EXPECT_EQ(r.status, STATUS_USAGE) << c.target;
        EXPECT_EQ(r.err, std::string("quelk: `") + c.target + "' and `" + c.linkname + "' are the same file\n");
    }
    EXPECT_TRUE(fake::calls_of("rename").empty());

    // Another name of the same file is already what was asked for.
    settings.symbolic = false;
    auto r = link("two", "other");
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fake::exists("other"));
    EXPECT_FALSE(fake::temporary_left());
}


// Cygwin in its C locale reads every byte as the character of its value,
// but its file calls read names as UTF-8: a name is given to Windows as
// they read it, in every form, and the message keeps the bytes as typed.
TEST_F(MakeLink, CygwinCLocaleNamesAreUtf8) {
    fake::fake().newlib_c_locale = true;
    fake::add_file("caf\xc3\xa9");
    fake::add_directory("d");
    settings.verbose = true;
    auto r = link("caf\xc3\xa9", "d/\xc3\xbc");
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.out, "`d/\xc3\xbc' => `caf\xc3\xa9'\n");
    EXPECT_TRUE(fake::exists("d/\xc3\xbc"));
    settings.symbolic = true;
    EXPECT_EQ(link("../caf\xc3\xa9", "d/s\xc3\xa9.").status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("CreateSymbolicLinkW").back(),
              "CreateSymbolicLinkW(\\\\?\\C:\\work\\d\\s\xc3\xa9., ..\\caf\xc3\xa9, 0)");
    // Bytes that are not UTF-8 are carried, as Cygwin carries them.
    fake::add_file("x\xff");
    settings.symbolic = false;
    EXPECT_EQ(link("x\xff", "y\xff").status, STATUS_OK);
    EXPECT_TRUE(fake::exists("y\xff"));
}

}  // namespace
