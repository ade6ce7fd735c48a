// Runs run_command_line in this process against the fake, as the program
// would run, and catches what it writes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_line.h"

struct run_result {
    int status;
    std::string out;
    std::string err;
};

inline run_result run_quelk(std::vector<std::string> args) {
    args.insert(args.begin(), "quelk");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = run_command_line(int(args.size()), argv.data());
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    return {status, out, err};
}
