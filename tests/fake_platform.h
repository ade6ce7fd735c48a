// The recording fake of the Windows operations and the POSIX file calls:
// a small in-memory file system, answers a test can script, and a log of
// every call with its arguments.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

// Windows matches names whatever their case.
struct ignoring_case {
    bool operator()(const std::string& a, const std::string& b) const;
};

struct entry {
    platform::file_status status;
    std::string symlink_target;  // set for a symbolic link, as it was given
    // A Cygwin shortcut, NAME.lnk on Windows (a symbolic link under
    // winsymlinks:lnk, a FIFO, a device node): Cygwin's calls find it as
    // NAME.
    bool shortcut = false;
    bool binary = false;  // an executable, as GetBinaryTypeW tells
};

struct state {
    std::vector<std::string> calls;
    std::map<std::string, entry, ignoring_case> files;

    // Per operation, the answers to give next, in order: a Win32 error code
    // (or an errno for the file calls) to fail with, or 0 to behave as usual.
    std::map<std::string, std::deque<unsigned>> script;

    // Per operation, what another process does just before each call.
    std::map<std::string, std::function<void()>> before;

    std::map<platform::DWORD, std::u16string> messages;  // system texts
    std::set<std::string> unconvertible;                  // paths the converter refuses
    bool load_library_fails = false;
    bool no_symbolic_links = false;
    bool privilege_held = true;
    bool developer_mode = false;
    bool drives = false;  // "D:" begins a path, as on the native build
    // Cygwin in its C locale: newlib's ASCII charset reads every byte as
    // the character of the same value, and back, while Cygwin's file calls
    // read names as UTF-8.
    bool newlib_c_locale = false;
    // Files another program holds open without sharing delete access, by
    // inode: how many more tries each refuses (-1: every try).
    std::map<std::uint64_t, int> held;
    platform::DWORD slept = 0;  // milliseconds asked for with Sleep
    platform::DWORD rename_win32_error = 0;  // Windows' code for a scripted rename failure
    // What a rename of one name of a file onto another name of the same
    // file does: nothing, keeping the source (POSIX, and Wine, whose rename
    // is the host's), or the source name goes.
    bool rename_keeps_source = true;
    // The current directory as a POSIX path, which is C: and the same names
    // on Windows; Windows counts it towards MAX_PATH for relative names.
    std::string current_directory = "/work";
    // Cygwin's mount table: POSIX prefix to Win32 prefix, which its
    // converter applies and Windows knows nothing of.
    std::map<std::string, std::u16string> mounts;
    // Each drive's current directory as Windows keeps it (where "D:x"
    // leads), in its Win32 form; a drive not named here is at its root.
    std::map<char16_t, std::u16string> drive_directories;
    // Entries below this POSIX path lie on a second volume, another device:
    // no hard link crosses to it.
    std::string second_volume = "/v";

    // What Cygwin's calls find at a POSIX path where Windows has no entry
    // of that name: a device (/dev/null), a mount point.
    std::map<std::string, platform::file_status> cygwin_only;
    // Directories in which Cygwin tells names apart by case (a posix=1
    // mount with obcaseinsensitive 0), while Windows' calls never do.
    std::set<std::string> case_sensitive;
    // Directories on a file system that keeps DOS names only: Windows
    // refuses a name there that begins with a space or ends in a dot or a
    // space (mount.cc, fs_info::update: such servers "allow" no other),
    // and Cygwin's converter carries those in the private range.
    std::set<std::string> dos_file_systems;
    // The native build's order: the link is asked for before LINKNAME is
    // examined, which Windows answers for the same name.
    bool native_order = false;

    int open_handles = 0;
    int allocated_texts = 0;
    std::uint64_t next_inode = 100;
};

state& fake();
// Non-zero while a fake operation runs: its own allocations are not the
// program's.
extern thread_local int busy;
// A fresh fake, and settings and getopt as at process start.
void reset();


// Each adds the directories on the way that are not there yet. A path of
// "/v/..." lies on a second volume (another device).
void add_file(const std::string& path, std::uint64_t links = 1);
void add_directory(const std::string& path);
void add_symlink(const std::string& path, const std::string& target);
// A Cygwin shortcut at PATH, which lies at PATH.lnk on Windows.
void add_shortcut(const std::string& path);
bool exists(const std::string& path);
// The calls whose log line starts with PREFIX.
std::vector<std::string> calls_of(const std::string& prefix);
// Whether a temporary name (.qk...) is left anywhere.
bool temporary_left();

}  // namespace fake
