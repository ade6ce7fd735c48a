// Any command line of up to 8 arguments from a small alphabet of options and
// names, against the fake with scripted failures: no crash, a status from 0
// to 5, every line on stderr one of quelk's, nothing leaked, b never lost.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "fake_platform.h"

namespace {

const char* const alphabet[] = {
    "-s", "-f", "-v", "-d", "-F", "-A", "-T", "-t", "-V", "--help", "--", "-h", "--ver", "--force", "--no",
    "--target-directory", "--target-directory=dir", "-sf", "-fT", "-tdir", "a", "b", "dir", "missing", "",
    "/abs/a", "sub/", "a?b", "./a", "dir/../a", "b/", "-x", "dir/a", "sub",
};
constexpr std::size_t alphabet_size = sizeof alphabet / sizeof alphabet[0];

const unsigned errors[] = {0, 2, 3, 5, 87, 183, 206, 1314};

std::string captured(FILE* stream, char* buffer) {
    std::fflush(stream);
    return std::string(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    fake::reset();
    fake::add_file("a");
    fake::add_file("b");
    fake::add_file("/abs/a");
    fake::add_directory("dir");
    fake::add_directory("sub");
    auto& f = fake::fake();
    std::uint8_t faults = data[0];
    f.privilege_held = faults & 1;
    f.developer_mode = faults & 2;
    f.no_symbolic_links = (faults & 0x1c) == 0x1c;
    f.load_library_fails = (faults & 0x1c) == 0x18;
    unsigned error = errors[(faults >> 5) & 7];
    if (error != 0) {
        f.script["CreateHardLinkW"] = {error};
        f.script["CreateSymbolicLinkW"] = {error};
    }
    f.script["rename"] = {data[1] & 1 ? 0u : unsigned(EPERM)};

    std::vector<std::string> args{"quelk"};
    for (std::size_t i = 2; i < size && args.size() <= 8; ++i) args.push_back(alphabet[data[i] % alphabet_size]);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    static char out_buffer[1 << 16], err_buffer[1 << 16];
    std::memset(out_buffer, 0, sizeof out_buffer);
    std::memset(err_buffer, 0, sizeof err_buffer);
    FILE* saved_out = stdout;
    FILE* saved_err = stderr;
    stdout = fmemopen(out_buffer, sizeof out_buffer - 1, "w");
    stderr = fmemopen(err_buffer, sizeof err_buffer - 1, "w");
    int status = run_command_line(int(args.size()), argv.data());
    std::string err = captured(stderr, err_buffer);
    std::fclose(stdout);
    std::fclose(stderr);
    stdout = saved_out;
    stderr = saved_err;

    if (status < 0 || status > 5) std::abort();
    if (status == 0 && !err.empty()) std::abort();
    std::size_t lines = 0;
    for (std::size_t start = 0; start < err.size(); ++lines) {
        if (err.compare(start, 7, "quelk: ") != 0) std::abort();
        std::size_t end = err.find('\n', start);
        if (end == std::string::npos) std::abort();
        start = end + 1;
    }
    // At most one message for each operand that failed, and two for the
    // option parser or the privilege advice.
    if (lines > args.size() + 1) std::abort();
    if (f.open_handles != 0 || f.allocated_texts != 0) std::abort();
    if (!fake::exists("b") || !fake::exists("a")) std::abort();
    return 0;
}
