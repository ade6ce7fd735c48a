#include <gtest/gtest.h>

#include "fake_platform.h"
#include "link/link.h"
#include "run_quelk.h"

namespace {

using calls = std::vector<std::string>;

class CommandLine : public testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(CommandLine, InvocationFormsGiveTheirPairs) {
    struct case_ {
        std::vector<std::string> args;
        calls links;
    };
    const case_ cases[] = {
        {{"a", "b"}, {"CreateHardLinkW(b, a, null)"}},
        {{"a", "dir"}, {"CreateHardLinkW(dir\\a, a, null)"}},
        // Windows is given the directory as the converter resolves it.
        {{"a", "to_dir"}, {"CreateHardLinkW(dir\\a, a, null)"}},
        {{"a", "sub/c", "dir"}, {"CreateHardLinkW(dir\\a, a, null)", "CreateHardLinkW(dir\\c, sub\\c, null)"}},
        {{"sub/c"}, {"CreateHardLinkW(.\\c, sub\\c, null)"}},
        {{"-t", "d", "x/y"}, {"CreateHardLinkW(d\\y, x\\y, null)"}},
        {{"-t", "d", "-t", "dir", "a"}, {"CreateHardLinkW(dir\\a, a, null)"}},
        {{"-t", "dir", "-T", "a", "b"}, {"CreateHardLinkW(b, a, null)"}},
        // The final name: trailing slashes left out of it (the operand
        // stays as typed), a backslash a separator like a slash.
        {{"-s", "f/", "dir"}, {"CreateSymbolicLinkW(dir\\f, f\\, 0)"}},
        {{"sub\\c", "dir"}, {"CreateHardLinkW(dir\\c, sub\\c, null)"}},
        {{"a", "--", "-x", "dir"}, {"CreateHardLinkW(dir\\a, a, null)", "CreateHardLinkW(dir\\-x, -x, null)"}},
    };
    for (const auto& c : cases) {
        SetUp();
        fake::add_file("a");
        fake::add_file("sub/c");
        fake::add_file("x/y");
        fake::add_file("-x");
        fake::add_directory("sub");
        fake::add_directory("dir");
        fake::add_directory("d");
        fake::add_file("f");
        fake::add_symlink("to_dir", "dir");
        auto r = run_quelk(c.args);
        EXPECT_EQ(r.status, STATUS_OK) << testing::PrintToString(c.args) << r.err;
        EXPECT_EQ(fake::calls_of("Create"), c.links) << testing::PrintToString(c.args);
    }
}

TEST_F(CommandLine, ABareDriveAsTheDirectoryStaysDriveRelative) {
    // "D:" is drive D's current directory: "D:x" there, never "D:/x".
    fake::fake().drives = true;
    fake::add_file("a");
    EXPECT_EQ(run_quelk({"-t", "D:", "a", "D:x/b"}).status, STATUS_LINK_FAILED);
    EXPECT_EQ(fake::calls_of("CreateHardLinkW(D"), (calls{"CreateHardLinkW(D:a, a, null)", "CreateHardLinkW(D:b, D:x\\b, null)"}));
}

TEST_F(CommandLine, OperandCountMistakesAreUsageFailures) {
    struct case_ {
        std::vector<std::string> args;
        const char* err;
    };
    const case_ cases[] = {
        {{}, "quelk: no arguments. Use --help for usage\n"},
        {{"-T"}, "quelk: no arguments. Use --help for usage\n"},
        {{"-t", "dir"}, "quelk: no arguments. Use --help for usage\n"},
        {{"-T", "a"}, "quelk: must have exactly two args with -T\n"},
        {{"-T", "a", "b", "c"}, "quelk: must have exactly two args with -T\n"},
        {{"a", "b", "c"}, "quelk: `c': not a directory\n"},
        {{"a", "b", "missing"}, "quelk: `missing': not a directory\n"},
        {{"-T", "a", "dir"}, "quelk: could not create link `dir': file exists\n"},
        {{"a"}, "quelk: could not create link `./a': file exists\n"},
    };
    for (const auto& c : cases) {
        SetUp();
        fake::add_file("a");
        fake::add_file("b");
        fake::add_file("c");
        fake::add_directory("dir");
        auto before = fake::fake().files.size();
        auto r = run_quelk(c.args);
        EXPECT_EQ(r.status, STATUS_USAGE) << testing::PrintToString(c.args);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(fake::fake().files.size(), before);
    }
}

TEST_F(CommandLine, FirstFailureIsTheExitStatusAndEveryTargetIsTried) {
    fake::add_file("a");
    fake::add_file("c");
    fake::add_directory("d");
    fake::add_directory("d/c");
    auto r = run_quelk({"-f", "a", "missing", "c", "d"});
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err,
              "quelk: failed to create hard link `d/missing': [unknown error]\n"
              "quelk: cannot remove `d/c': Is a directory\n");
    EXPECT_TRUE(fake::exists("d/a"));
}

TEST_F(CommandLine, OptionsAreParsedTheGetoptWay) {
    auto r = run_quelk({"--help", "-x"});
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.out.size(), 600u);
    EXPECT_EQ(r.out.substr(0, 68), "quelk [OPTION] TARGET LINKNAME: like ln(1) for native Windows links\n");

    SetUp();
    r = run_quelk({"-V", "-x"});
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "quelk " QUELK_VERSION "\n");

    struct case_ {
        std::vector<std::string> args;
        const char* err;
    };
    const case_ rejected[] = {
        {{"-h"}, "quelk: invalid option -- 'h'\n"},
        {{"a", "-t"}, "quelk: option requires an argument -- 't'\n"},
        {{"-x", "-V"}, "quelk: invalid option -- 'x'\n"},
        {{"--ver"}, "quelk: option '--ver' is ambiguous; possibilities: '--verbose' '--version'\n"},
        {{"--f", "a"}, "quelk: option '--f' is ambiguous; possibilities: '--file' '--force'\n"},
        {{"--target"}, "quelk: option '--target-directory' requires an argument\n"},
    };
    for (const auto& c : rejected) {
        SetUp();
        r = run_quelk(c.args);
        EXPECT_EQ(r.status, STATUS_BAD_OPTION) << testing::PrintToString(c.args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string(c.err) + "quelk: use --help for usage\n");
    }

    SetUp();
    fake::add_file("a");
    r = run_quelk({"--dir", "-F", "--sym", "--no", "--verb", "a", "b"});
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.out, "`b' -> `a' [file]\n");
    EXPECT_TRUE(settings.no_target_directory);
}

TEST_F(CommandLine, SymbolicLinksNeedTheSystemEntry) {
    fake::fake().load_library_fails = true;
    fake::fake().messages[126] = u"The specified module could not be found.\r\n";
    auto r = run_quelk({"-s", "a", "b"});
    EXPECT_EQ(r.status, STATUS_USAGE);
    EXPECT_EQ(r.err, "quelk: could not load kernel32: The specified module could not be found.\r\n");

    SetUp();
    fake::fake().no_symbolic_links = true;
    r = run_quelk({"-s", "a", "b"});
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err, "quelk: symbolic links not supported on this OS\n");
    EXPECT_EQ(fake::fake().calls, (calls{"LoadLibraryW(kernel32)", "GetProcAddress(kernel32, CreateSymbolicLinkW)"}));

    SetUp();
    r = run_quelk({"-s", "--help"});
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_TRUE(fake::fake().calls.empty());
}

}  // namespace
