// Making symbolic links possible in this process.
#pragma once

// Resolves the system's CreateSymbolicLinkW into create_symbolic_link_entry.
// Returns 0, or the status of a failure it has reported.
int prepare_symbolic_links();
