// --force where Windows differs from POSIX, against the fake's model: a
// converter that follows symbolic links, files held open by other
// programs, names that match whatever their case, and interrupts.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "fake_platform.h"
#include "link/link.h"
#include "run_quelk.h"

namespace {

constexpr char sharing_text[] = "The process cannot access the file because it is being used by another process.";

class ForceOnWindows : public testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        fake::fake().messages[32] = std::u16string(sharing_text, sharing_text + sizeof sharing_text - 1) + u"\r\n";
        fake::add_file("a");
        fake::add_file("b");
    }
    std::uint64_t inode(const std::string& path) { return fake::fake().files[path].status.inode; }
};

TEST_F(ForceOnWindows, NameFromTheConverterIsExaminedBeforeTheLink) {
    // The converter would follow /dangling to /nowhere.
    fake::add_symlink("/dangling", "/nowhere");
    auto r = run_quelk({"a", "/dangling"});
    EXPECT_EQ(r.status, STATUS_USAGE);
    EXPECT_EQ(r.err, "quelk: could not create link `/dangling': file exists\n");
    EXPECT_TRUE(fake::calls_of("CreateHardLinkW(C:\\nowhere").empty());
    EXPECT_FALSE(fake::exists("/nowhere"));

    r = run_quelk({"-f", "a", "/dangling"});
    EXPECT_EQ(r.status, STATUS_OK) << r.err;
    EXPECT_EQ(inode("/dangling"), inode("a"));
    EXPECT_FALSE(fake::exists("/nowhere"));
    EXPECT_FALSE(fake::temporary_left());
}

TEST_F(ForceOnWindows, HeldFileIsWaitedForThenLeftAsItWas) {
    struct case_ {
        const char* held;
        int tries;  // refusals before it is let go; -1 for ever
        int status;
    };
    for (const case_& c : {case_{"a", -1, STATUS_CANNOT_REMOVE}, {"a", 3, STATUS_OK}, {"b", -1, STATUS_CANNOT_REMOVE},
                           {"b", 5, STATUS_OK}}) {
        SetUp();
        auto b = inode("b");
        fake::fake().held[inode(c.held)] = c.tries;
        auto r = run_quelk({"-f", "a", "b"});
        std::string what = std::string(c.held) + " " + std::to_string(c.tries);
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_FALSE(fake::temporary_left()) << what;
        // A TARGET found free when it is looked at is not asked about again.
        if (std::string(c.held) == "b") {
            EXPECT_TRUE(fake::calls_of("file_held_open(a").empty()) << what;
        }
        if (c.status == STATUS_OK) {
            EXPECT_EQ(r.err, "") << what;
            EXPECT_EQ(inode("b"), inode("a")) << what;
        } else {
            EXPECT_EQ(r.err, std::string("quelk: cannot remove `b': ") + sharing_text + "\r\n") << what;
            EXPECT_EQ(inode("b"), b) << what;
            EXPECT_GE(fake::fake().slept, 900u) << what;
            EXPECT_LE(fake::fake().slept, 1100u) << what;
        }
    }
}

TEST_F(ForceOnWindows, RenameRefusedWithNothingHoldingIsTriedAgainWhileBChanges) {
    // Access denied with nothing holding b: another run's rename over b in
    // flight, which changes what b is; tried again, for as long as a held
    // file is waited for. A refusal that stays with one file six tries is
    // that file's own (immutable, say), which no wait cures: told at once,
    // in Windows' words. Counted in sleeps, not timed.
    const struct {
        std::size_t refusals;
        bool b_changes;
        int status;
        platform::DWORD slept;
        std::size_t renames;
    } cases[] = {
        {2, false, STATUS_OK, 100, 3},
        {30, false, STATUS_CANNOT_REMOVE, 250, 6},
        {30, true, STATUS_CANNOT_REMOVE, 1000, 21},
    };
    for (const auto& c : cases) {
        SetUp();
        auto b = inode("b");
        fake::fake().messages[5] = u"Access is denied.\r\n";
        fake::fake().rename_win32_error = 5;
        fake::fake().script["rename"] = std::deque<unsigned>(c.refusals, EACCES);
        if (c.b_changes) fake::fake().before["rename"] = [] { fake::fake().files["b"].status.inode += 1000; };
        auto r = run_quelk({"-f", "a", "b"});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(fake::fake().slept, c.slept) << c.refusals << c.b_changes;
        EXPECT_EQ(fake::calls_of("rename").size(), c.renames) << c.refusals << c.b_changes;
        EXPECT_EQ(inode("b") == inode("a"), c.status == STATUS_OK);
        if (c.status != STATUS_OK) {
            EXPECT_EQ(r.err, "quelk: cannot remove `b': Access is denied.\r\n");
            EXPECT_TRUE(c.b_changes || inode("b") == b);
        }
        EXPECT_FALSE(fake::temporary_left());
    }
}

TEST_F(ForceOnWindows, DirectoryThatComesAfterARefusalIsTheReason) {
    // Refused as access denied, and by the time the refusal is looked into
    // a directory stands at b: it is named, and stays.
    fake::fake().messages[5] = u"Access is denied.\r\n";
    fake::fake().script["rename"] = {EACCES};
    fake::fake().rename_win32_error = 5;
    fake::fake().before["file_held_open"] = [] {
        fake::fake().files.erase("b");
        fake::add_directory("b");
    };
    auto r = run_quelk({"-f", "a", "b"});
    EXPECT_EQ(r.status, STATUS_CANNOT_REMOVE);
    EXPECT_EQ(r.err, "quelk: cannot remove `b': Is a directory\n");
    EXPECT_TRUE(fake::fake().files["b"].status.is_directory);
    EXPECT_FALSE(fake::temporary_left());
}

TEST_F(ForceOnWindows, TemporaryThatCannotBeRemovedIsNamed) {
    // a is taken hold of after quelk looked, before it could rename.
    fake::fake().before["rename"] = [this] { fake::fake().held[inode("a")] = -1; };
    auto b = inode("b");
    auto r = run_quelk({"-f", "a", "b"});
    EXPECT_EQ(r.status, STATUS_CANNOT_REMOVE);
    auto temporary = fake::calls_of("CreateHardLinkW(.qk")[0].substr(16, 8);
    EXPECT_EQ(r.err, std::string("quelk: cannot remove `b': ") + sharing_text + "\r\n" +
                         "quelk: cannot remove temporary `" + temporary + "': " + sharing_text + "\r\n");
    EXPECT_EQ(inode("b"), b);
}

TEST_F(ForceOnWindows, NamesMatchWhateverTheirCase) {
    fake::add_file("A", 2);
    fake::fake().files["other"] = fake::fake().files["A"];
    auto r = run_quelk({"-sf", "A", "a"});
    EXPECT_EQ(r.status, STATUS_USAGE);
    EXPECT_EQ(r.err, "quelk: `A' and `a' are the same file\n");
    EXPECT_TRUE(fake::fake().files["A"].symlink_target.empty());
    EXPECT_TRUE(fake::calls_of("rename").empty());
}

TEST_F(ForceOnWindows, LinkMadeInThisRunIsNotReplaced) {
    fake::add_file("x/f");
    fake::add_file("y/f");
    fake::add_file("z/F");
    fake::add_directory("c");
    auto r = run_quelk({"-f", "x/f", "y/f", "a", "z/F", "c"});
    EXPECT_EQ(r.status, STATUS_USAGE);
    EXPECT_EQ(r.err,
              "quelk: will not overwrite just-created `c/f' with `y/f'\n"
              "quelk: will not overwrite just-created `c/F' with `z/F'\n");
    EXPECT_EQ(inode("c/f"), inode("x/f"));
    EXPECT_EQ(inode("c/a"), inode("a"));
}

TEST_F(ForceOnWindows, LinkMadeInThisRunIsNotReplacedByOneWindowsTakesForIt) {
    // Names that Windows' upper case makes one, beyond Latin, Greek and
    // Cyrillic letters: fullwidth, Armenian, Latin Extended-B, Roman
    // numerals, circled letters, final sigma.
    setenv("LC_ALL", "C.UTF-8", 1);
    for (const char* pair : {"\uff41 \uff21", "\u0561 \u0531", "\u0180 \u0243", "\u2170 \u2160", "\u24d0 \u24b6",
                             "\u03c2 \u03c3"}) {
        SetUp();
        // Newlib's strchr gives a char* even for a const text.
        const char* space = std::strchr(pair, ' ');
        std::string first(pair, space), second(space + 1);
        fake::add_file("x/" + first);
        fake::add_file("y/" + second);
        fake::add_directory("dst");
        auto r = run_quelk({"-f", "-t", "dst", "x/" + first, "y/" + second});
        EXPECT_EQ(r.status, STATUS_USAGE) << pair;
        EXPECT_EQ(r.err, "quelk: will not overwrite just-created `dst/" + second + "' with `y/" + second + "'\n") << pair;
        EXPECT_EQ(inode("dst/" + first), inode("x/" + first)) << pair;
    }
    unsetenv("LC_ALL");
}

TEST_F(ForceOnWindows, NameLeftAsItWasMayBeReplacedLaterInTheRun) {
    fake::add_file("x/f");
    fake::add_file("y/f");
    fake::add_directory("c");
    fake::add_file("c/f");
    fake::fake().messages[5] = u"Access is denied.\r\n";
    fake::fake().script["rename"] = std::deque<unsigned>(6, EACCES);
    fake::fake().rename_win32_error = 5;
    auto r = run_quelk({"-f", "x/f", "y/f", "c"});
    EXPECT_EQ(r.status, STATUS_CANNOT_REMOVE);
    EXPECT_EQ(r.err, "quelk: cannot remove `c/f': Access is denied.\r\n");
    EXPECT_EQ(inode("c/f"), inode("y/f"));
}

volatile std::sig_atomic_t interrupted = 0;
bool temporary_at_interrupt = true;
bool replaced_at_interrupt = false;

// Each case runs in a process of its own, started afresh, where quelk has
// not held interrupts yet: what it finds set for a signal is the action
// that signal has when it is let go.
class InterruptsHeld : public ForceOnWindows {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        ForceOnWindows::SetUp();
    }
};

TEST_F(InterruptsHeld, SignalEndsQuelkOnlyOnceTheReplacementIsDone) {
    // The signal's own action, ending the program, comes after the rename;
    // what the program writes is captured, so the rename tells of itself
    // on a copy of standard error made before.
    static int error_output = dup(2);
    EXPECT_EXIT(
        {
            fake::fake().before["rename"] = [] {
                std::raise(SIGTERM);
                constexpr char renamed[] = "renaming after SIGTERM\n";
                [[maybe_unused]] auto written = write(error_output, renamed, sizeof renamed - 1);
            };
            run_quelk({"-f", "a", "b"});
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGTERM), "renaming after SIGTERM");
    // A signal quelk was started ignoring stays ignored.
    EXPECT_EXIT(
        {
            std::signal(SIGHUP, SIG_IGN);
            fake::fake().before["rename"] = [] { std::raise(SIGHUP); };
            auto r = run_quelk({"-f", "a", "b"});
            std::raise(SIGHUP);
            std::_Exit(r.status == STATUS_OK && inode("b") == inode("a") ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(InterruptsHeld, RunThatReplacesManyNamesHoldsThemAlike) {
    // Past its first few dozen replacements a run holds signals by a
    // handler of its own rather than by blocking them: a signal still waits
    // for the rename, and one that was ignored stays ignored.
    static int error_output = dup(2);
    auto run_many = [](int signal) {
        fake::add_directory("d");
        std::vector<std::string> args{"-f", "-t", "d"};
        for (int i = 0; i < 60; ++i) {
            args.emplace_back(1, 'f');
            args.back() += std::to_string(i);
            fake::add_file(args.back());
            fake::add_file("d/" + args.back());
        }
        static int renames = 0, raised = 0;
        raised = signal;
        fake::fake().before["rename"] = [] {
            if (++renames != 55) return;
            std::raise(raised);
            constexpr char renamed[] = "renaming after the signal\n";
            [[maybe_unused]] auto written = write(error_output, renamed, sizeof renamed - 1);
        };
        return run_quelk(args);
    };
    EXPECT_EXIT(
        {
            run_many(SIGTERM);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGTERM), "renaming after the signal");
    EXPECT_EXIT(
        {
            std::signal(SIGHUP, SIG_IGN);
            auto r = run_many(SIGHUP);
            std::_Exit(r.status == STATUS_OK && inode("d/f59") == inode("f59") ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(InterruptsHeld, HandlerRunsWhenTheTemporaryIsGoneOrInPlace) {
    EXPECT_EXIT(
        {
            struct sigaction action {};
            action.sa_handler = [](int) {
                interrupted = 1;
                temporary_at_interrupt = fake::temporary_left();
                replaced_at_interrupt = fake::fake().files["b"].status.inode == fake::fake().files["a"].status.inode;
            };
            sigemptyset(&action.sa_mask);
            sigaction(SIGINT, &action, nullptr);
            for (bool rename_fails : {false, true}) {
                ForceOnWindows::SetUp();
                interrupted = 0;
                fake::fake().before["rename"] = [] { std::raise(SIGINT); };
                if (rename_fails) fake::fake().script["rename"] = {EACCES};
                auto r = run_quelk({"-f", "a", "b"});
                EXPECT_EQ(interrupted, 1) << rename_fails;
                EXPECT_FALSE(temporary_at_interrupt) << rename_fails;
                EXPECT_EQ(replaced_at_interrupt, !rename_fails) << rename_fails;
                EXPECT_EQ(r.status, rename_fails ? STATUS_CANNOT_REMOVE : STATUS_OK) << r.err;
            }
            std::_Exit(testing::Test::HasFailure() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
