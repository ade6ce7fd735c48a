#include "link/replace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "link/convert.h"
#include "link/link.h"

namespace {

// Why a name could not be changed: Windows' own words where it gave a
// reason, else the system's text for errno.
std::string reason(int error, platform::DWORD win32_error) {
    return win32_error != 0 ? win32_error_text(win32_error) : std::strerror(error);
}

// Removes the temporary link, where it is still there; one that stays is
// named, never left unsaid.
bool remove_temporary(const std::string& temporary) {
    platform::DWORD win32_error;
    if (platform::file_unlink(temporary.c_str(), &win32_error) == 0 || errno == ENOENT) return true;
    std::fprintf(stderr, "quelk: cannot remove temporary `%s': %s\n", temporary.c_str(),
                 reason(errno, win32_error).c_str());
    return false;
}

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

bool same_file(const platform::file_status& a, const platform::file_status& b) {
    return a.device == b.device && a.inode == b.inode && a.inode_high == b.inode_high;
}

bool same_directory(std::string_view a, std::string_view b) {
    platform::file_status first, second;
    std::string one(a.empty() ? "." : a), other(b.empty() ? "." : b);
    return platform::file_stat(one.c_str(), &first) == 0 && platform::file_stat(other.c_str(), &second) == 0 &&
           same_file(first, second);
}

// Whether LINKNAME's entry is TARGET itself, or its only name, so that
// replacing it would destroy the file. Two names of one file are fine
// while another name keeps it.
bool would_destroy(const char* target, const char* linkname, const platform::file_status& existing) {
    platform::file_status entry, file;
    bool found = platform::file_lstat(target, &entry) == 0;
    bool entry_matches = found && same_file(entry, existing);
    // stat differs from lstat only for a link.
    bool file_matches =
        found && (entry.is_link ? platform::file_stat(target, &file) == 0 && same_file(file, existing) : entry_matches);
    if (!entry_matches && !file_matches) return false;
    if (existing.links == 1) return true;
    auto link_parts = split_path(linkname);
    auto target_parts = split_path(target);
    return name_key(link_parts.name) == name_key(target_parts.name) &&
           same_directory(link_parts.directory, target_parts.directory);
}

// A fresh name beside LINKNAME, into NAME: in the same directory, so that
// a relative symbolic-link target means the same from both. Eight bytes,
// no longer than most names, so that it fits wherever LINKNAME does; lower
// case, as Windows tells no case apart.
void temporary_name(std::string_view directory, std::string& name) {
    static std::mt19937_64 random{std::random_device{}()};
    constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    name.assign(directory);
    name.append(".qk");
    auto bits = random();
    for (int i = 0; i < 5; ++i, bits /= 36) name.push_back(letters[bits % 36]);
}

// Makes the link under a temporary name, into NAME; false after a failure
// (the error is left in tried.error).
bool make_temporary_link(std::string_view directory, attempt& tried, std::string& name) {
    // A link never replaces an existing name, so the link call itself tells
    // whether a name is free; a taken one is simply passed over.
    constexpr int attempts = 100;
    static std::u16string win32_name;  // its storage kept from link to link
    for (int i = 0; i < attempts; ++i) {
        temporary_name(directory, name);
        if (!to_win32_file_name(name.c_str(), win32_name)) {
            tried.win32_linkname.reset();
            return false;
        }
        if (create_link(win32_name, *tried.win32_target, tried.directory)) return true;
        tried.error = platform::GetLastError();
        if (tried.error != platform::ERROR_ALREADY_EXISTS && tried.error != platform::ERROR_FILE_EXISTS) break;
    }
    return false;
}

}  // namespace

int report_cannot_remove(const char* linkname, int error, platform::DWORD win32_error) {
    std::fprintf(stderr, "quelk: cannot remove `%s': %s\n", linkname, reason(error, win32_error).c_str());
    return STATUS_CANNOT_REMOVE;
}

int replace_existing(const char* target, const char* linkname, const platform::file_status& existing,
                     attempt& tried) {
    // unlink would refuse a directory; say so in its words.
    if (existing.is_directory) return report_cannot_remove(linkname, EISDIR);

    if (would_destroy(target, linkname, existing)) {
        std::fprintf(stderr, "quelk: `%s' and `%s' are the same file\n", target, linkname);
        return STATUS_USAGE;
    }

    // What would keep unlink from removing LINKNAME keeps it here too. A
    // run that replaces many names in one directory asks once.
    auto directory = split_path(linkname).directory;
    if (!directory_found_writable(directory)) {
        std::string path(directory.empty() ? "." : directory);
        if (platform::file_directory_writable(path.c_str()) != 0) return report_cannot_remove(linkname, errno);
        note_directory_writable(directory);
    }

    if (!tried.win32_linkname || !tried.win32_target) return report_failure(target, linkname, tried);

    // A hard link's temporary is a name of TARGET's file, which cannot be
    // renamed, nor removed, while another program holds that file: wait
    // for it before making one.
    sharing_wait wait;
    if (!settings.symbolic) {
        while (platform::file_held_open(tried.win32_target->c_str()))
            if (!wait.again(platform::ERROR_SHARING_VIOLATION))
                return report_cannot_remove(linkname, EACCES, platform::ERROR_SHARING_VIOLATION);
    }

    interrupts_held held;
    static std::string temporary;  // its storage kept from link to link
    if (!make_temporary_link(directory, tried, temporary)) return report_failure(target, linkname, tried);

    // Whatever stands at LINKNAME now is replaced, also when another
    // process replaced it after it was examined: --force asks for that, as
    // ln -f does. Only a directory is refused, by the rename itself.
    platform::DWORD win32_error;
    bool was_held = false;
    while (platform::file_rename(temporary.c_str(), linkname, &win32_error) != 0) {
        int error = errno;
        // Windows refuses a rename onto a file that another program holds
        // open as access denied: a held LINKNAME is waited for like a held
        // TARGET, one let go meanwhile is tried again at once, and any other
        // refusal is told at once.
        if (win32_error == platform::ERROR_ACCESS_DENIED) {
            if (platform::file_held_open(tried.win32_linkname->c_str())) {
                win32_error = platform::ERROR_SHARING_VIOLATION;
                was_held = true;
            } else if (was_held) {
                was_held = false;
                continue;
            }
        }
        if (wait.again(win32_error)) continue;
        report_cannot_remove(linkname, error, win32_error);
        remove_temporary(temporary);
        return STATUS_CANNOT_REMOVE;
    }
    // POSIX rename of one name of a file onto another does nothing and
    // leaves the temporary hard link: where LINKNAME was a name of TARGET's
    // file already, or another process made it one meanwhile.
    platform::file_status left;
    if (!settings.symbolic && platform::rename_may_keep_source() && platform::file_lstat(temporary.c_str(), &left) == 0 &&
        !remove_temporary(temporary))
        return STATUS_CANNOT_REMOVE;
    return report_made(target, linkname, tried.directory);
}
