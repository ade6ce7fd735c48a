#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "link/convert.h"
#include "link/link.h"
#include "text/utf16.h"

run_settings settings;
platform::create_symbolic_link_fn create_symbolic_link_entry = nullptr;
platform::DWORD symbolic_link_flags = 0;
std::unordered_set<std::u16string> links_made;

namespace {

// What went wrong on the way to the link, kept until LINKNAME has been
// examined: an existing LINKNAME is reported before anything else.
struct attempt {
    std::optional<std::u16string> win32_linkname;
    std::optional<std::u16string> win32_target;
    bool directory = false;
    platform::DWORD error = 0;  // Windows' reason when it refused the link
};

bool create_link(const std::u16string& win32_linkname, const std::u16string& win32_target, bool directory) {
    if (settings.symbolic) {
        platform::DWORD kind = directory ? platform::SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
        // Only the low byte is the result: the entry returns a one-byte BOOLEAN.
        if ((create_symbolic_link_entry(win32_linkname.c_str(), win32_target.c_str(), kind | symbolic_link_flags) &
             0xff) != 0)
            return true;
        // A Windows older than the unprivileged flag refuses it as a bad
        // parameter: ask once more without it.
        if (symbolic_link_flags == 0 || platform::GetLastError() != platform::ERROR_INVALID_PARAMETER) return false;
        return (create_symbolic_link_entry(win32_linkname.c_str(), win32_target.c_str(), kind) & 0xff) != 0;
    }
    return platform::CreateHardLinkW(win32_linkname.c_str(), win32_target.c_str(), nullptr) != 0;
}

int report_made(const char* target, const char* linkname, bool directory) {
    if (settings.verbose) {
        if (settings.symbolic)
            std::printf("`%s' -> `%s' [%s]\n", linkname, target, directory ? "dir" : "file");
        else
            std::printf("`%s' => `%s'\n", linkname, target);
    }
    return STATUS_OK;
}

// The failure that stopped the link, LINKNAME's conversion first.
int report_failure(const char* target, const char* linkname, const attempt& tried) {
    if (!tried.win32_linkname || !tried.win32_target) {
        std::fprintf(stderr, "quelk: could not convert `%s' to win32 path\n",
                     tried.win32_linkname ? target : linkname);
        return STATUS_LINK_FAILED;
    }
    std::fprintf(stderr, "quelk: failed to create %s link `%s': %s\n", settings.symbolic ? "symbolic" : "hard",
                 linkname, win32_error_text(tried.error).c_str());
    return STATUS_LINK_FAILED;
}

// Why a name could not be changed: Windows' own words where it gave a
// reason, else the system's text for errno.
std::string reason(int error, platform::DWORD win32_error) {
    return win32_error != 0 ? win32_error_text(win32_error) : std::strerror(error);
}

int report_cannot_remove(const char* linkname, int error, platform::DWORD win32_error = 0) {
    std::fprintf(stderr, "quelk: cannot remove `%s': %s\n", linkname, reason(error, win32_error).c_str());
    return STATUS_CANNOT_REMOVE;
}

// Removes the temporary link; one that stays is named, never left unsaid.
bool remove_temporary(const std::string& temporary) {
    platform::DWORD win32_error;
    if (platform::file_unlink(temporary.c_str(), &win32_error) == 0 || errno == ENOENT) return true;
    std::fprintf(stderr, "quelk: cannot remove temporary `%s': %s\n", temporary.c_str(),
                 reason(errno, win32_error).c_str());
    return false;
}

// A name as the platform tells names apart: whatever their case on
// Windows, byte for byte on the stand-in.
std::u16string name_key(const std::string& name) {
    if (!platform::names_ignore_case()) return std::u16string(name.begin(), name.end());
    auto wide = to_wide(name.c_str());
    std::u16string key = wide ? std::move(*wide) : std::u16string(name.begin(), name.end());
    for (auto& unit : key) unit = text::upper_case(unit);
    return key;
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

// A path's directory as a prefix ("", "sub/", "/", "D:" on a platform
// with drives) and its final name, split where the platform splits.
struct path_parts {
    std::string directory;
    std::string name;
};

path_parts split_path(const char* path) {
    std::string whole(path);
    std::size_t drive = platform::drive_length(path);
    while (whole.size() > drive + 1 && platform::is_path_separator(whole.back())) whole.pop_back();
    for (std::size_t i = whole.size(); i > drive; --i)
        if (platform::is_path_separator(whole[i - 1])) return {whole.substr(0, i), whole.substr(i)};
    return {whole.substr(0, drive), whole.substr(drive)};
}

// TARGET as the link will reach it: a relative one read from LINKNAME's
// directory ("sub/" + "../x"; "D:" + "x" stays on drive D).
std::string seen_from_link(const char* target, const char* linkname) {
    if (is_absolute_path(target)) return target;
    return split_path(linkname).directory + target;
}

bool same_directory(const std::string& a, const std::string& b) {
    platform::file_status first, second;
    return platform::file_stat(a.empty() ? "." : a.c_str(), &first) == 0 &&
           platform::file_stat(b.empty() ? "." : b.c_str(), &second) == 0 && same_file(first, second);
}

// A fresh name beside LINKNAME, in the same directory so that a relative
// symbolic-link target means the same from both.
std::string temporary_name(const std::string& directory) {
    static std::mt19937_64 random{std::random_device{}()};
    char name[32];
    std::snprintf(name, sizeof name, ".quelk-%016llx", static_cast<unsigned long long>(random()));
    return directory + name;
}

// Makes the link under a temporary name; the name, or none after a
// failure (the error is left in tried.error).
std::optional<std::string> make_temporary_link(const std::string& directory, attempt& tried) {
    // A link never replaces an existing name, so the link call itself tells
    // whether a name is free; a taken one is simply passed over.
    constexpr int attempts = 100;
    for (int i = 0; i < attempts; ++i) {
        std::string name = temporary_name(directory);
        auto win32_name = to_win32_file_name(name.c_str());
        if (!win32_name) {
            tried.win32_linkname.reset();
            return std::nullopt;
        }
        if (create_link(*win32_name, *tried.win32_target, tried.directory)) return name;
        tried.error = platform::GetLastError();
        if (tried.error != platform::ERROR_ALREADY_EXISTS && tried.error != platform::ERROR_FILE_EXISTS) break;
    }
    return std::nullopt;
}

// --force over an existing LINKNAME: it is replaced only by a link that has
// already been made, so it is never lost when the new link cannot be.
int replace_existing(const char* target, const char* linkname, const platform::file_status& existing,
                     attempt& tried) {
    // unlink would refuse a directory; say so in its words.
    if (existing.is_directory) return report_cannot_remove(linkname, EISDIR);

    // Replacing a name by a link to itself would destroy the file. Two
    // names of one file are fine while another name keeps it.
    platform::file_status target_entry, target_file;
    bool entry_matches = platform::file_lstat(target, &target_entry) == 0 && same_file(target_entry, existing);
    bool file_matches = platform::file_stat(target, &target_file) == 0 && same_file(target_file, existing);
    auto link_parts = split_path(linkname);
    if (entry_matches || file_matches) {
        auto target_parts = split_path(target);
        if (existing.links == 1 || (name_key(link_parts.name) == name_key(target_parts.name) &&
                                    same_directory(link_parts.directory, target_parts.directory))) {
            std::fprintf(stderr, "quelk: `%s' and `%s' are the same file\n", target, linkname);
            return STATUS_USAGE;
        }
    }

    // What would keep unlink from removing LINKNAME keeps it here too.
    const char* directory = link_parts.directory.empty() ? "." : link_parts.directory.c_str();
    if (platform::file_directory_writable(directory) != 0) return report_cannot_remove(linkname, errno);

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
    auto temporary = make_temporary_link(link_parts.directory, tried);
    if (!temporary) return report_failure(target, linkname, tried);

    // Another process may have put a different file at LINKNAME since it
    // was examined; that one was not the user's to replace.
    platform::file_status current;
    if (platform::file_lstat(linkname, &current) == 0 && !same_file(current, existing)) {
        std::fprintf(stderr, "quelk: could not create link `%s': file exists\n", linkname);
        remove_temporary(*temporary);
        return STATUS_USAGE;
    }
    platform::DWORD win32_error;
    while (platform::file_rename(temporary->c_str(), linkname, &win32_error) != 0) {
        int error = errno;
        if (wait.again(win32_error)) continue;
        report_cannot_remove(linkname, error, win32_error);
        remove_temporary(*temporary);
        return STATUS_CANNOT_REMOVE;
    }
    // Renaming one name of a file onto another does nothing: the temporary
    // hard link is still there.
    if (!settings.symbolic && entry_matches && !remove_temporary(*temporary)) return STATUS_CANNOT_REMOVE;
    return report_made(target, linkname, tried.directory);
}

}  // namespace

int make_link(const char* target, const char* linkname) {
    attempt tried;
    if (settings.symbolic) {
        // TARGET's kind is judged where Windows will look through the link:
        // a relative TARGET from LINKNAME's directory.
        platform::file_status status;
        tried.directory = settings.link_type == LINK_TYPE_DIRECTORY ||
                          (settings.link_type == LINK_TYPE_AUTO &&
                           platform::file_stat(seen_from_link(target, linkname).c_str(), &status) == 0 &&
                           status.is_directory);
    }
    bool by_platform;
    tried.win32_linkname = to_win32_file_name(linkname, &by_platform);
    // A symbolic link's target is text that Windows stores; a hard link's
    // is a name it opens.
    if (tried.win32_linkname) tried.win32_target = settings.symbolic ? to_win32_path(target) : to_win32_file_name(target);

    // A plain relative name is tried at once: usually nothing else is
    // needed, and when it fails LINKNAME is examined and the failure worded
    // as if it had been examined first. The platform's converter may have
    // followed a symbolic link at LINKNAME (Cygwin's does), so a name it
    // made is examined first: the link must not land where that one points.
    // lstat, so that a dangling symbolic link counts as existing.
    platform::file_status existing;
    bool examine_first = tried.win32_linkname && by_platform;
    bool exists = examine_first && platform::file_lstat(linkname, &existing) == 0;
    if (!exists && tried.win32_linkname && tried.win32_target) {
        if (create_link(*tried.win32_linkname, *tried.win32_target, tried.directory)) {
            // Under --force a name made in this run is not replaced later.
            if (settings.force) links_made.insert(name_key(linkname));
            return report_made(target, linkname, tried.directory);
        }
        tried.error = platform::GetLastError();
    }
    if (!examine_first) exists = platform::file_lstat(linkname, &existing) == 0;
    if (!exists) return report_failure(target, linkname, tried);
    if (!settings.force) {
        std::fprintf(stderr, "quelk: could not create link `%s': file exists\n", linkname);
        return STATUS_USAGE;
    }
    // Replacing it would lose a link that was asked for in this same run.
    if (links_made.count(name_key(linkname)) != 0) {
        std::fprintf(stderr, "quelk: will not overwrite just-created `%s' with `%s'\n", linkname, target);
        return STATUS_USAGE;
    }
    int status = replace_existing(target, linkname, existing, tried);
    if (status == STATUS_OK) links_made.insert(name_key(linkname));
    return status;
}
