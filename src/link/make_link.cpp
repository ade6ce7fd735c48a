#include <cerrno>
#include <cstdio>
#include <string>

#include "link/convert.h"
#include "link/link.h"
#include "link/link_steps.h"
#include "link/replace.h"

int make_link(const char* target, const char* linkname_path) {
    // A name that the platform's own calls would read as another is never
    // looked at: whatever they found there would not be LINKNAME.
    if (!platform::name_reads_as_typed(linkname_path)) return report_unconvertible(linkname_path);
    static link_name read;  // its storage kept from pair to pair
    read_linkname(linkname_path, read);
    const link_name& linkname = read;
    // The converted names keep their storage from pair to pair: a run over
    // many names allocates for the longest, not for each.
    static attempt tried;
    tried.directory = false;
    tried.error = 0;
    // A symbolic link's TARGET as Windows will read it through the link: a
    // relative one from LINKNAME's directory. Asked where it is needed.
    std::string seen;
    bool read_where_cygwin_reads = settings.symbolic && platform::linkname_examined_first();
    if (settings.symbolic && (settings.link_type == LINK_TYPE_AUTO || read_where_cygwin_reads))
        seen = seen_from_link(target, linkname);
    if (settings.symbolic) {
        // TARGET's kind is judged where Windows will look through the link.
        tried.directory = settings.link_type == LINK_TYPE_DIRECTORY ||
                          (settings.link_type == LINK_TYPE_AUTO && platform::file_is_directory(seen.c_str()));
    }
    bool by_platform;
    if (!tried.win32_linkname) tried.win32_linkname.emplace();
    if (!to_win32_file_name(linkname.parts, *tried.win32_linkname, &by_platform)) tried.win32_linkname.reset();
    // A symbolic link's target is text that Windows stores; a hard link's
    // is a name it opens.
    if (!tried.win32_linkname) {
        tried.win32_target.reset();
    } else if (settings.symbolic) {
        tried.win32_target = to_win32_path(target);
        // Where the platform's own calls read names otherwise than Windows
        // (Cygwin), a relative target is stored so that Windows reaches
        // what they found, and one that Windows could read as another
        // entry, by its case, is refused.
        if (tried.win32_target && read_where_cygwin_reads) {
            if (!is_absolute_path(target)) reach_as_seen(*tried.win32_target, linkname.parts.directory, seen.c_str());
            if (reached_in_another_case(seen.c_str())) tried.win32_target.reset();
        }
    } else {
        if (!tried.win32_target) tried.win32_target.emplace();
        if (!to_win32_file_name(target, *tried.win32_target)) tried.win32_target.reset();
    }

    // Where Windows answers for the name quelk gives it (the native build),
    // the link is tried at once: usually nothing else is needed, and when
    // it fails LINKNAME is examined and the failure worded as if it had been
    // examined first. Elsewhere (Cygwin) LINKNAME is examined first: its
    // own calls find entries that Windows has under other names. So it is
    // where the platform's converter saw LINKNAME's final name, which it
    // may have followed as a symbolic link (the link must not land where
    // that one points), and under --force, where it is usually there to
    // replace and a link tried first would only fail. lstat, so that a
    // dangling symbolic link counts as existing.
    platform::file_status existing;
    int unexamined = 0;  // why lstat could not look at LINKNAME
    auto examine = [&] {
        if (platform::file_lstat(linkname.calls.c_str(), &existing) == 0) return true;
        unexamined = errno;
        return false;
    };
    bool examine_first =
        tried.win32_linkname && (by_platform || settings.force || platform::linkname_examined_first());
    bool exists = examine_first && examine();
    bool looked = examine_first, windows_found_it = false;
    for (int tries = 1; !exists && tried.win32_linkname && tried.win32_target; ++tries) {
        if (create_link(*tried.win32_linkname, *tried.win32_target, tried.directory)) {
            // Under --force a name made in this run is not replaced later.
            if (settings.force) links_made.insert(name_key(linkname.path));
            return report_made(target, linkname.path, tried.directory);
        }
        tried.error = platform::GetLastError();
        // A TARGET that Cygwin's calls find by a suffix (ls for ls.exe) is
        // linked as the entry they found: its converter names it.
        if (!settings.symbolic && tried.error == platform::ERROR_FILE_NOT_FOUND && platform::linkname_examined_first() &&
            as_found(target, *tried.win32_target))
            continue;
        windows_found_it = tried.error == platform::ERROR_ALREADY_EXISTS || tried.error == platform::ERROR_FILE_EXISTS;
        // Examined last, or made by another process since it was examined.
        if (looked && !windows_found_it) break;
        exists = examine();
        looked = true;
        // Gone again since Windows found it there: another process removes
        // and makes the name anew, and the link is asked for again, a few
        // times, as a rename in flight is.
        if (exists || !windows_found_it || unexamined != ENOENT || tries == 8) break;
    }
    if (!looked) exists = examine();
    if (!exists && (!windows_found_it || unexamined == ENOENT)) return report_failure(target, linkname.path, tried);
    // Windows has a name there that lstat cannot look at (a path too long
    // for the POSIX calls, say): it exists, and what was not examined is
    // not replaced.
    if (!exists && settings.force) return report_cannot_remove(linkname.path, unexamined);
    if (!settings.force) {
        std::fprintf(stderr, "quelk: could not create link `%s': file exists\n", linkname.path);
        return STATUS_USAGE;
    }
    // Nor is such a TARGET looked at to be compared with LINKNAME.
    if (!platform::name_reads_as_typed(target)) return report_unconvertible(target);
    // Replacing it would lose a link that was asked for in this same run.
    // The name is entered at once, as the usual outcome is a link made
    // there, and taken out again if none is.
    auto [entry, entered] = links_made.insert(name_key(linkname.path));
    if (!entered) {
        std::fprintf(stderr, "quelk: will not overwrite just-created `%s' with `%s'\n", linkname.path, target);
        return STATUS_USAGE;
    }
    int status = replace_existing(target, linkname, existing, tried);
    if (status != STATUS_OK) links_made.erase(entry);
    return status;
}
