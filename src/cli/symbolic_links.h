// Making symbolic links possible in this process.
#pragma once

// Resolves the system's CreateSymbolicLinkW into create_symbolic_link_entry
// and enables the symbolic-link privilege. Returns 0, or the status of a
// failure it has reported.
int prepare_symbolic_links();

// Enables SeCreateSymbolicLinkPrivilege in the process's own token; false
// when the token does not hold it or a step fails.
bool enable_symbolic_link_privilege();
