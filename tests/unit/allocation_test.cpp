// Memory running out at each allocation in turn: the conversions yield no
// result, the run ends in a documented line, and nothing is lost or leaked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "cli/command_line.h"
#include "fake_platform.h"
#include "link/convert.h"
#include "link/link.h"

namespace {

// The program's allocation that fails: the countdown's last. The fake's
// own allocations do not count.
thread_local long countdown = 0;

void arm(long allocation) { countdown = allocation; }
// True when the armed allocation was reached.
bool disarm() {
    bool reached = countdown == 0;
    countdown = 0;
    return reached;
}

}  // namespace

void* operator new(std::size_t size) {
    if (countdown > 0 && fake::busy == 0 && --countdown == 0) throw std::bad_alloc();
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}
// This operator new allocates with malloc, so free is its match; GCC,
// which sees only that operator new was called, would warn otherwise.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace {

TEST(OutOfMemory, ConversionsYieldNoResultInstead) {
    fake::reset();
    fake::fake().messages[2] = u"The system cannot find the file specified.\r\n";
    for (long n = 1;; ++n) {
        arm(n);
        auto relative = to_win32_path("dir/name");
        auto absolute = to_win32_path("/abs/name");
        auto wide = to_wide("text");
        auto narrow = to_multibyte(u"text");
        auto text = win32_error_text(2);
        bool reached = disarm();
        EXPECT_TRUE(!relative || *relative == u"dir\\name") << n;
        EXPECT_TRUE(!absolute || *absolute == u"C:\\abs\\name") << n;
        EXPECT_TRUE(!wide || *wide == u"text") << n;
        EXPECT_TRUE(!narrow || *narrow == "text") << n;
        EXPECT_TRUE(text == "[unknown error]" || text == "The system cannot find the file specified.\r") << n;
        EXPECT_EQ(fake::fake().allocated_texts, 0) << n;
        if (!reached) {
            EXPECT_GT(n, 5) << "too few allocations were tried";
            break;
        }
    }
}

TEST(OutOfMemory, RunEndsInADocumentedLineAndLosesNothing) {
    for (auto force : {false, true}) {
        for (long n = 1;; ++n) {
            fake::reset();
            // Names too long to fit inside a string object, so they allocate.
            fake::add_file("target_number_one");
            fake::add_file("target_number_three");
            fake::add_file("destination/target_number_three");
            fake::add_directory("destination");
            auto old = fake::fake().files["destination/target_number_three"].status.inode;
            std::string args[] = {"quelk",         force ? "-f" : "-v",    "-t", "destination", "target_number_one",
                                  "/abs/target_two", "target_number_three"};
            char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                            args[4].data(), args[5].data(), args[6].data(), nullptr};
            testing::internal::CaptureStderr();
            testing::internal::CaptureStdout();
            arm(n);
            int status = run_command_line(7, argv);
            bool reached = disarm();
            std::fflush(stdout);
            testing::internal::GetCapturedStdout();
            std::string err = testing::internal::GetCapturedStderr();

            EXPECT_TRUE(status == STATUS_OK || status == STATUS_USAGE || status == STATUS_LINK_FAILED) << n;
            if (reached && status == STATUS_USAGE && !force) {
                EXPECT_TRUE(err.find("file exists") != std::string::npos ||
                            err.find("quelk: asprintf: Cannot allocate memory\n") != std::string::npos ||
                            err.find("quelk: Cannot allocate memory\n") != std::string::npos)
                    << n << err;
            }
            ASSERT_TRUE(fake::exists("destination/target_number_three")) << n;
            if (!force) {
                EXPECT_EQ(fake::fake().files["destination/target_number_three"].status.inode, old) << n;
            }
            EXPECT_EQ(fake::fake().open_handles, 0) << n;
            EXPECT_EQ(fake::fake().allocated_texts, 0) << n;
            if (!reached) {
                // Converted names reuse their storage from pair to pair,
                // so a run allocates only a few times.
                EXPECT_GT(n, 6) << "too few allocations were tried";
                break;
            }
        }
    }
}

}  // namespace
