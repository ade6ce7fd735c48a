#include <gtest/gtest.h>

#include "fake_platform.h"
#include "link/link.h"
#include "run_quelk.h"

namespace {

using calls = std::vector<std::string>;

const std::string advice =
    "quelk: you don't permission to create symbolic links. Run, as administrator,\n"
    "quelk:   editrights -a SeCreateSymbolicLinkPrivilege -a $YOUR_USER\n";

const calls token_calls = {
    "GetCurrentProcess()",
    "OpenProcessToken(process, 0x28)",
    "LookupPrivilegeValueW(null, SeCreateSymbolicLinkPrivilege)",
    "AdjustTokenPrivileges(token, 0, count 1 luid 35 attributes 2, 16, null, null)",
    "CloseHandle(token)",
};

class Privilege : public testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        fake::add_file("a");
        fake::add_file("l", 1);
    }
    // Everything after the entry point was resolved.
    calls token_steps() { return calls(fake::fake().calls.begin() + 2, fake::fake().calls.end()); }
};

TEST_F(Privilege, TokenWithoutItGetsTheAdviceAndNothingIsTouched) {
    fake::fake().privilege_held = false;
    for (auto args : std::vector<std::vector<std::string>>{{"-s", "a", "b"}, {"-sf", "a", "l"}, {"-s"}}) {
        fake::fake().calls.clear();
        optind = 0;
        auto r = run_quelk(args);
        EXPECT_EQ(r.status, STATUS_NO_PRIVILEGE);
        EXPECT_EQ(r.err, advice);
        EXPECT_EQ(r.err.size(), 144u);
        EXPECT_EQ(r.out, "");
        calls expected = token_calls;
        expected.push_back("unprivileged_symbolic_links_allowed()");
        EXPECT_EQ(token_steps(), expected) << testing::PrintToString(args);
    }
    EXPECT_TRUE(fake::exists("l"));
    EXPECT_EQ(fake::fake().open_handles, 0);
}

TEST_F(Privilege, EveryFailingStepClosesWhatWasOpened) {
    fake::fake().script["OpenProcessToken"] = {5};
    auto r = run_quelk({"-s", "a", "b"});
    EXPECT_EQ(r.status, STATUS_NO_PRIVILEGE);
    EXPECT_EQ(r.err, advice);
    EXPECT_EQ(token_steps(), (calls{token_calls[0], token_calls[1], "unprivileged_symbolic_links_allowed()"}));

    for (const char* step : {"LookupPrivilegeValueW", "AdjustTokenPrivileges"}) {
        SetUp();
        fake::fake().script[step] = {1313};
        r = run_quelk({"-s", "a", "b"});
        EXPECT_EQ(r.status, STATUS_NO_PRIVILEGE) << step;
        EXPECT_EQ(r.err, advice);
        EXPECT_EQ(fake::calls_of("CloseHandle").size(), 1u) << step;
        EXPECT_TRUE(fake::calls_of("Create").empty());
        EXPECT_EQ(fake::fake().open_handles, 0);
    }
}

TEST_F(Privilege, GrantedPrivilegeLetsTheRunGoOn) {
    auto r = run_quelk({"-s", "a", "b"});
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(calls(fake::fake().calls.begin() + 2, fake::fake().calls.begin() + 7), token_calls);
    EXPECT_EQ(fake::calls_of("Create"), calls{"CreateSymbolicLinkW(b, a, 0)"});

    // Without -s the token is never asked.
    SetUp();
    fake::fake().privilege_held = false;
    EXPECT_EQ(run_quelk({"a", "b"}).status, STATUS_OK);
    EXPECT_TRUE(fake::calls_of("OpenProcessToken").empty());

    // With the privilege, Developer Mode is never asked and the flags are plain.
    SetUp();
    fake::add_directory("dir");
    EXPECT_EQ(run_quelk({"-s", "dir", "d"}).status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("Create"), calls{"CreateSymbolicLinkW(d, dir, 1)"});
    EXPECT_TRUE(fake::calls_of("unprivileged").empty());
}

TEST_F(Privilege, DeveloperModeMakesLinksWithoutThePrivilege) {
    fake::fake().privilege_held = false;
    fake::fake().developer_mode = true;
    fake::add_directory("dir");
    fake::add_directory("x");
    auto r = run_quelk({"-s", "-t", "x", "a", "../dir"});
    EXPECT_EQ(r.status, STATUS_OK);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(fake::calls_of("Create"),
              (calls{"CreateSymbolicLinkW(x\\a, a, 2)", "CreateSymbolicLinkW(x\\dir, ..\\dir, 3)"}));
}

TEST_F(Privilege, AWindowsWithoutTheFlagIsAskedOnceMoreWithoutIt) {
    fake::fake().privilege_held = false;
    fake::fake().developer_mode = true;
    fake::fake().messages[1314] = u"A required privilege is not held by the client.\r\n";
    fake::add_directory("dir");
    fake::fake().script["CreateSymbolicLinkW"] = {87, 1314};
    auto r = run_quelk({"-s", "dir", "d"});
    EXPECT_EQ(r.status, STATUS_LINK_FAILED);
    EXPECT_EQ(r.err, "quelk: failed to create symbolic link `d': A required privilege is not held by the client.\r\n");
    EXPECT_EQ(fake::calls_of("Create"), (calls{"CreateSymbolicLinkW(d, dir, 3)", "CreateSymbolicLinkW(d, dir, 1)"}));

    // The retry's success is the link's.
    SetUp();
    fake::fake().privilege_held = false;
    fake::fake().developer_mode = true;
    fake::fake().script["CreateSymbolicLinkW"] = {87};
    EXPECT_EQ(run_quelk({"-s", "a", "b"}).status, STATUS_OK);
    EXPECT_EQ(fake::calls_of("Create"), (calls{"CreateSymbolicLinkW(b, a, 2)", "CreateSymbolicLinkW(b, a, 0)"}));
}

}  // namespace
