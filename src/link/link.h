// The link maker: the run settings, the statuses and make_link.
#pragma once

#include <string>
#include <unordered_set>

#include "platform/platform.h"

inline constexpr int LINK_TYPE_FILE = 0;
inline constexpr int LINK_TYPE_DIRECTORY = 1;
inline constexpr int LINK_TYPE_AUTO = 2;

// Exit statuses, also the result of make_link.
inline constexpr int STATUS_OK = 0;
inline constexpr int STATUS_USAGE = 1;          // bad operands, name exists, no system library
inline constexpr int STATUS_LINK_FAILED = 2;    // unconvertible name, Windows refused, no symbolic links
inline constexpr int STATUS_NO_PRIVILEGE = 3;   // the symbolic-link privilege cannot be enabled
inline constexpr int STATUS_BAD_OPTION = 4;     // the option parser rejected an option
inline constexpr int STATUS_CANNOT_REMOVE = 5;  // an existing name cannot be replaced under --force

struct run_settings {
    int link_type = LINK_TYPE_AUTO;
    bool verbose = false;
    bool force = false;
    bool symbolic = false;
    bool no_target_directory = false;
};

// Written while the options are read and when symbolic links are prepared,
// only read afterwards.
extern run_settings settings;
extern platform::create_symbolic_link_fn create_symbolic_link_entry;
// Added to the kind flag of every symbolic link: what lets an unprivileged
// user make them where Windows allows it.
extern platform::DWORD symbolic_link_flags;
// The names this run has made links at under --force, as the platform
// tells names apart, so that a later pair does not replace one of them.
extern std::unordered_set<std::u16string> links_made;

// Whether anything was written to standard output: only then can a
// standard output that cannot be written be a failure.
extern bool output_written;
// Why the first write to standard output failed (errno), 0 while none
// has: by the end, the stream may only know that one did.
extern int output_error;
// Notes a write to standard output, which gave RESULT (negative: failed).
void note_output(int result);

// Gives LINKNAME to TARGET, both POSIX names relative to the current
// directory; reports any failure on standard error and returns its status.
int make_link(const char* target, const char* linkname);
