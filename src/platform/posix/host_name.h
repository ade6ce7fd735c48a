// The name that the host's own file calls are given for a POSIX name: on
// Cygwin the name itself, which Cygwin reads; on the stand-in the host
// path behind it, once read as Cygwin reads it.
#pragma once

#include <string>

namespace platform {

// Whether the final name is also looked for with ".exe" after it, as
// Cygwin's lstat, stat, unlink and path converter do.
enum class suffix_scan { none, stat };

// PATH, or the host path it stands for written into STORAGE; null, with
// errno set, where there is none.
const char* host_name(const char* path, suffix_scan scan, std::string& storage);

}  // namespace platform
