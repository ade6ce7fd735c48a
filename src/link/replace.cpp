#include "link/replace.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include "link/link.h"

namespace {

// Another program, or an antivirus scanner, may hold a file open for a
// moment: a sharing violation is tried again, for about a second in all.
struct sharing_wait {
    int waits_left = 20;
    bool again(platform::DWORD win32_error) {
        if ((win32_error != platform::ERROR_SHARING_VIOLATION && win32_error != platform::ERROR_LOCK_VIOLATION) ||
            waits_left == 0)
            return false;
        --waits_left;
        platform::Sleep(50);
        return true;
    }
};

// Interrupts wait while a temporary link exists, so that it is always
// either in place or gone.
struct interrupts_held {
    interrupts_held() { platform::hold_interrupts(); }
    ~interrupts_held() { platform::release_interrupts(); }
    interrupts_held(const interrupts_held&) = delete;
    interrupts_held& operator=(const interrupts_held&) = delete;
};

// Why a name could not be changed, kept to be told once interrupts are
// let go.
struct refusal {
    int error = 0;
    platform::DWORD win32_error = 0;
};

bool same_file(const platform::file_status& a, const platform::file_status& b) {
    return a.device == b.device && a.inode == b.inode && a.inode_high == b.inode_high;
}

bool same_directory(std::string_view a, std::string_view b) {
    platform::file_status first, second;
    std::string one(a.empty() ? "." : a), other(b.empty() ? "." : b);
    return platform::file_identity(one.c_str(), true, &first) == 0 &&
           platform::file_identity(other.c_str(), true, &second) == 0 &&
           same_file(first, second);
}

// What LINKNAME's entry is to TARGET.
enum class relation {
    other,
    // TARGET's own entry, or the only name of its file (or of the file it
    // leads to): replacing it would destroy the file.
    itself,
    // Another name of the file a hard link of TARGET would name: it is
    // that link already.
    linked,
    // Two names of a file with one link: a look caught in the middle of
    // another process's rename, to be made again.
    unsettled,
};

// ENTRY becomes TARGET's own entry, as far as it was found.
relation relation_once(const char* target, const link_name& linkname, const platform::file_status& existing,
                       platform::file_status& entry) {
    platform::file_status file;
    bool found = platform::file_identity(target, false, &entry) == 0;
    bool entry_matches = found && same_file(entry, existing);
    // stat differs from lstat only for a link.
    bool file_matches =
        found && (entry.is_link ? platform::file_identity(target, true, &file) == 0 && same_file(file, existing) : entry_matches);
    if (!entry_matches && !file_matches) return relation::other;
    auto target_parts = split_path(target);
    if (name_key(linkname.parts.name) == name_key(target_parts.name) &&
        same_directory(linkname.calls_directory, target_parts.directory))
        return relation::itself;
    // Two entries of one file have two links: one link counted is a look
    // that caught LINKNAME's file as another process renamed over it.
    if (entry_matches) {
        if (existing.links == 1) return relation::unsettled;
        // A hard link names TARGET's own entry, a symbolic link leads on.
        return settings.symbolic ? relation::other : relation::linked;
    }
    // TARGET leads through a symbolic link to LINKNAME's file, its only name.
    return existing.links == 1 ? relation::itself : relation::other;
}

// The relation, looked at again until two looks at LINKNAME agree, and
// agree with TARGET: while another process renames over LINKNAME, lstat can
// catch the file it is replacing with its links already fewer. A look that
// never settles is taken for TARGET itself, which is kept. EXISTING
// becomes the last look.
relation relation_to_target(const char* target, const link_name& linkname, platform::file_status& existing,
                            platform::file_status& entry) {
    constexpr int looks = 8;
    for (int look = 1;; ++look) {
        relation seen = relation_once(target, linkname, existing, entry);
        if (look == looks) return seen == relation::unsettled ? relation::itself : seen;
        if (seen == relation::other) return seen;
        platform::file_status again;
        // Gone meanwhile: the rename puts the link there.
        if (platform::file_lstat(linkname.calls.c_str(), &again) != 0) return relation::other;
        bool agree = same_file(again, existing) && again.links == existing.links &&
                     again.is_directory == existing.is_directory;
        existing = again;
        if (agree && seen != relation::unsettled) return seen;
        if (existing.is_directory) return relation::other;
    }
}

// A seed that differs between runs, also between runs started at the same
// moment: the clock, and where the system placed this run's stack and
// code. A taken name is passed over anyway, so nothing cryptographic is
// needed; asking Windows for that loads libraries.
std::uint64_t seed() {
    int here = 0;
    auto clock = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return clock ^ reinterpret_cast<std::uintptr_t>(&here) ^ (std::uint64_t(reinterpret_cast<std::uintptr_t>(&seed)) << 20);
}

// A fresh name beside LINKNAME, into NAME: in the same directory, so that
// a relative symbolic-link target means the same from both. Eight bytes,
// no longer than most names, so that it fits wherever LINKNAME does; lower
// case, as Windows tells no case apart.
void temporary_name(std::string_view directory, std::string& name) {
    static std::mt19937_64 random{seed()};
    constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    name.assign(directory);
    name.append(".qk");
    auto bits = random();
    for (int i = 0; i < 5; ++i, bits /= 36) name.push_back(letters[bits % 36]);
}

// The temporary, by the names each side knows it by.
struct temporary {
    std::string name;          // for the file calls
    std::u16string win32_name;  // as Windows made it
    std::string typed;         // beside LINKNAME as typed
    bool directory_link = false;
    // A symbolic link that the file calls do not take for one (Cygwin's, to
    // a \\?\GLOBALROOT\ target): their rename or unlink would act on what
    // it leads to, so only Windows' calls, which act on the link itself,
    // are given it.
    bool windows_only = false;
};

// Makes the link under a temporary name beside LINKNAME, into MADE; false
// after a failure (the error is left in tried.error).
bool make_temporary_link(const link_name& linkname, attempt& tried, temporary& made) {
    // A link never replaces an existing name, so the link call itself tells
    // whether a name is free; a taken one is simply passed over.
    constexpr int attempts = 100;
    auto directory = linkname.parts.directory;
    for (int i = 0; i < attempts; ++i) {
        temporary_name(directory, made.typed);
        path_parts parts{std::string_view(made.typed).substr(0, directory.size()),
                         std::string_view(made.typed).substr(directory.size())};
        if (!to_win32_file_name(parts, made.win32_name)) {
            tried.win32_linkname.reset();
            return false;
        }
        made.name.assign(linkname.calls_directory).append(parts.name);
        made.directory_link = settings.symbolic && tried.directory;
        if (create_link(made.win32_name, *tried.win32_target, tried.directory)) {
            platform::file_status seen;
            made.windows_only = settings.symbolic && !(platform::file_lstat(made.name.c_str(), &seen) == 0 && seen.is_link);
            return true;
        }
        tried.error = platform::GetLastError();
        if (tried.error != platform::ERROR_ALREADY_EXISTS && tried.error != platform::ERROR_FILE_EXISTS) break;
    }
    return false;
}

// Puts the temporary in LINKNAME's place; false, with the reason in WHY,
// when Windows keeps LINKNAME.
bool rename_over(const temporary& made, const link_name& linkname, const attempt& tried, sharing_wait& wait,
                 refusal& why) {
    bool was_held = false;
    // What LINKNAME was at the last refusal that nothing explained, and for
    // how many tries in a row it stayed that file.
    platform::file_status refused_at{};
    int same_refusals = 0;
    auto rename = [&] {
        if (!made.windows_only) return platform::file_rename(made.name.c_str(), linkname.calls.c_str(), &why.win32_error);
        if (platform::MoveFileExW(made.win32_name.c_str(), tried.win32_linkname->c_str(), platform::MOVEFILE_REPLACE_EXISTING))
            return 0;
        why.win32_error = platform::GetLastError();
        errno = EACCES;
        return -1;
    };
    while (rename() != 0) {
        why.error = errno;
        // Windows refuses a rename onto a file that another program holds
        // open as access denied: a held LINKNAME is waited for like a held
        // TARGET, and one let go meanwhile is tried again at once. So is it
        // while another program renames over the same name: nothing holds
        // it then, and what LINKNAME is changes as that rename ends. A
        // refusal that stays with the same file for a few tries is the
        // file's own (an immutable one, one an access list keeps), which no
        // wait cures: told at once in Windows' words.
        if (why.win32_error == platform::ERROR_ACCESS_DENIED) {
            platform::file_status now;
            if (platform::file_held_open(tried.win32_linkname->c_str())) {
                why.win32_error = platform::ERROR_SHARING_VIOLATION;
                was_held = true;
            } else if (was_held) {
                was_held = false;
                continue;
            } else {
                bool seen = platform::file_lstat(linkname.calls.c_str(), &now) == 0;
                // A directory that came since the refusal is the reason now.
                if (seen && now.is_directory) {
                    why = refusal{EISDIR, 0};
                    return false;
                }
                same_refusals = seen && same_refusals > 0 && same_file(now, refused_at) && now.links == refused_at.links
                                    ? same_refusals + 1
                                    : 1;
                refused_at = now;
                constexpr int refusals_of_its_own = 6;
                if (same_refusals >= refusals_of_its_own || !wait.again(platform::ERROR_SHARING_VIOLATION)) return false;
                continue;
            }
        }
        if (!wait.again(why.win32_error)) return false;
    }
    return true;
}

// Removes the temporary link, where it is still there; false, with the
// reason in WHY, when it stays. Not found by the file calls, it is asked of
// Windows by the name it was made under, and taken for gone only where
// Windows too finds nothing there.
bool remove_temporary(const temporary& made, refusal& why) {
    if (!made.windows_only) {
        if (platform::file_unlink(made.name.c_str(), &why.win32_error) == 0) return true;
        why.error = errno;
        if (why.error != ENOENT) return false;
    }
    const char16_t* name = made.win32_name.c_str();
    bool removed = made.directory_link ? platform::RemoveDirectoryW(name) : platform::DeleteFileW(name);
    platform::DWORD error = removed ? 0 : platform::GetLastError();
    if (removed || error == platform::ERROR_FILE_NOT_FOUND || error == platform::ERROR_PATH_NOT_FOUND) return true;
    why.win32_error = error;
    return false;
}

}  // namespace

int replace_existing(const char* target, const link_name& linkname, platform::file_status existing, attempt& tried) {
    platform::file_status entry{};  // TARGET's own, once looked at
    if (!existing.is_directory) {
        // A symbolic link's TARGET is the file it will lead to, read from
        // LINKNAME's directory: "-sf x d/x" would make d/x lead to itself.
        std::string seen = settings.symbolic ? seen_from_link(target, linkname) : std::string(target);
        relation found = relation_to_target(seen.c_str(), linkname, existing, entry);
        // Nor the file TARGET names as typed, from the current directory:
        // "-sf d/x d/x" would leave d/x a link to d/d/x, its file gone.
        if (found == relation::other && seen != target) {
            platform::file_status typed;
            if (relation_to_target(target, linkname, existing, typed) == relation::itself) found = relation::itself;
        }
        switch (found) {
            case relation::itself:
            case relation::unsettled:  // never left so: taken for itself
                std::fprintf(stderr, "quelk: `%s' and `%s' are the same file\n", target, linkname.path);
                return STATUS_USAGE;
            case relation::linked: return report_made(target, linkname.path, tried.directory);
            case relation::other: break;
        }
    }
    // unlink would refuse a directory; say so in its words.
    if (existing.is_directory) return report_cannot_remove(linkname.path, EISDIR);

    // What would keep unlink from removing LINKNAME keeps it here too. A
    // run that replaces many names in one directory asks once.
    auto directory = linkname.parts.directory;
    if (!directory_found_writable(directory)) {
        std::string path(linkname.calls_directory.empty() ? "." : linkname.calls_directory);
        if (platform::file_directory_writable(path.c_str()) != 0) return report_cannot_remove(linkname.path, errno);
        note_directory_writable(directory);
    }

    if (!tried.win32_linkname || !tried.win32_target) return report_failure(target, linkname.path, tried);

    // A hard link's temporary is a name of TARGET's file, which cannot be
    // renamed, nor removed, while another program holds that file: wait
    // for it before making one. Where the look at TARGET told it free,
    // nothing more is asked.
    sharing_wait wait;
    if (!settings.symbolic && entry.held != 0) {
        while (platform::file_held_open(tried.win32_target->c_str()))
            if (!wait.again(platform::ERROR_SHARING_VIOLATION))
                return report_cannot_remove(linkname.path, EACCES, platform::ERROR_SHARING_VIOLATION);
    }

    // Interrupts are held from the temporary's making to its end, and no
    // longer: the outcome is told after, so that a signal never waits for
    // a report, nor for a reader of it.
    static temporary beside;  // its storage kept from link to link
    bool made, renamed = false, left = false;
    refusal rename_refused, temporary_kept;
    {
        interrupts_held held;
        made = make_temporary_link(linkname, tried, beside);
        if (made) {
            // Whatever stands at LINKNAME now is replaced, also when another
            // process replaced it after it was examined: --force asks for
            // that, as ln -f does. Only a directory is refused, by the rename.
            renamed = rename_over(beside, linkname, tried, wait, rename_refused);
            // POSIX rename of one name of a file onto another does nothing and
            // leaves the temporary: where another process made LINKNAME a name
            // of TARGET's file meanwhile.
            platform::file_status kept;
            if (!renamed || (!settings.symbolic && platform::rename_may_keep_source() &&
                             platform::file_lstat(beside.name.c_str(), &kept) == 0))
                left = !remove_temporary(beside, temporary_kept);
        }
    }
    if (!made) return report_failure(target, linkname.path, tried);
    if (renamed && !left && platform::linkname_examined_first()) {
        // Cygwin's rename keeps a suffix it found at LINKNAME in some cases
        // (syscalls.cc, rename2): where LINKNAME is gone after it, the link
        // went there, which is said, and the run fails. Windows' own rename
        // (the native build) keeps no suffix, and is not asked.
        platform::file_status there;
        if (platform::file_lstat(linkname.calls.c_str(), &there) != 0 && errno == ENOENT) {
            std::string elsewhere;
            for (const char* suffix : {".lnk", ".exe"})
                if (platform::file_lstat((linkname.calls + suffix).c_str(), &there) == 0) {
                    elsewhere = std::string(linkname.path) + suffix;
                    break;
                }
            if (elsewhere.empty())
                std::fprintf(stderr, "quelk: `%s': the link was made under another name\n", linkname.path);
            else
                std::fprintf(stderr, "quelk: `%s': the link was made as `%s'\n", linkname.path, elsewhere.c_str());
            return STATUS_LINK_FAILED;
        }
    }
    int status = STATUS_OK;
    if (!renamed) status = report_cannot_remove(linkname.path, rename_refused.error, rename_refused.win32_error);
    if (left) status = report_temporary_left(beside.name.c_str(), temporary_kept.error, temporary_kept.win32_error);
    return status == STATUS_OK ? report_made(target, linkname.path, tried.directory) : status;
}
