// The console of the native Windows program.
#pragma once

namespace platform {

// Output in UTF-8 for the run, the console's own code page put back at
// the end; Ctrl-C and the like held while interrupts are held.
void prepare_console();

}  // namespace platform
