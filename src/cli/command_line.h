// The program's main routine: options, invocation forms, the link loop.
#pragma once

// Runs quelk over the command line and returns the exit status. The
// operand that names the destination directory is cleared from argv.
int run_command_line(int argc, char** argv);

// Flushes and closes standard output at the end of the process; when
// writing it failed, says so and turns a status of 0 into 1.
int finish_output(int status);
