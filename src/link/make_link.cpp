#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "link/convert.h"
#include "link/link.h"

run_settings settings;
platform::create_symbolic_link_fn create_symbolic_link_entry = nullptr;
platform::DWORD symbolic_link_flags = 0;

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

int report_cannot_remove(const char* linkname, int error) {
    std::fprintf(stderr, "quelk: cannot remove `%s': %s\n", linkname, std::strerror(error));
    return STATUS_CANNOT_REMOVE;
}

bool same_file(const platform::file_status& a, const platform::file_status& b) {
    return a.device == b.device && a.inode == b.inode;
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
        bool by_platform;
        auto win32_name = to_win32_file_name(name.c_str(), &by_platform);
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
        if (existing.links == 1 ||
            (link_parts.name == target_parts.name && same_directory(link_parts.directory, target_parts.directory))) {
            std::fprintf(stderr, "quelk: `%s' and `%s' are the same file\n", target, linkname);
            return STATUS_USAGE;
        }
    }

    // What would keep unlink from removing LINKNAME keeps it here too.
    const char* directory = link_parts.directory.empty() ? "." : link_parts.directory.c_str();
    if (platform::file_directory_writable(directory) != 0) return report_cannot_remove(linkname, errno);

    if (!tried.win32_linkname || !tried.win32_target) return report_failure(target, linkname, tried);
    auto temporary = make_temporary_link(link_parts.directory, tried);
    if (!temporary) return report_failure(target, linkname, tried);

    // Another process may have put a different file at LINKNAME since it
    // was examined; that one was not the user's to replace.
    platform::file_status current;
    if (platform::file_lstat(linkname, &current) == 0 && !same_file(current, existing)) {
        platform::file_unlink(temporary->c_str());
        std::fprintf(stderr, "quelk: could not create link `%s': file exists\n", linkname);
        return STATUS_USAGE;
    }
    if (platform::file_rename(temporary->c_str(), linkname) != 0) {
        int error = errno;
        platform::file_unlink(temporary->c_str());
        return report_cannot_remove(linkname, error);
    }
    // Renaming one name of a file onto another does nothing: the temporary
    // hard link is still there.
    if (!settings.symbolic && entry_matches) platform::file_unlink(temporary->c_str());
    return report_made(target, linkname, tried.directory);
}

}  // namespace

int make_link(const char* target, const char* linkname) {
    // The link is tried at once: usually nothing else is needed. Only when
    // it fails is LINKNAME examined, and the failure worded as if it had
    // been examined first.
    attempt tried;
    if (settings.symbolic) {
        // TARGET's type is looked up from the current directory, not from
        // LINKNAME's, just as it is handed to Windows.
        platform::file_status status;
        tried.directory = settings.link_type == LINK_TYPE_DIRECTORY ||
                          (settings.link_type == LINK_TYPE_AUTO && platform::file_stat(target, &status) == 0 &&
                           status.is_directory);
    }
    bool by_platform;
    tried.win32_linkname = to_win32_file_name(linkname, &by_platform);
    // A symbolic link's target is text that Windows stores; a hard link's
    // is a name it opens.
    bool target_by_platform;
    if (tried.win32_linkname)
        tried.win32_target =
            settings.symbolic ? to_win32_path(target) : to_win32_file_name(target, &target_by_platform);
    if (tried.win32_linkname && tried.win32_target) {
        if (create_link(*tried.win32_linkname, *tried.win32_target, tried.directory))
            return report_made(target, linkname, tried.directory);
        tried.error = platform::GetLastError();
    }

    // lstat, so that a dangling symbolic link counts as existing.
    platform::file_status existing;
    if (platform::file_lstat(linkname, &existing) == 0) {
        if (!settings.force) {
            std::fprintf(stderr, "quelk: could not create link `%s': file exists\n", linkname);
            return STATUS_USAGE;
        }
        return replace_existing(target, linkname, existing, tried);
    }
    return report_failure(target, linkname, tried);
}
