#include "cli/command_line.h"

int main(int argc, char** argv) { return finish_output(run_command_line(argc, argv)); }
