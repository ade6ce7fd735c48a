#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "link/convert.h"
#include "link/link.h"
#include "link/link_steps.h"
#include "link/replace.h"
#include "text/utf16.h"

run_settings settings;
platform::create_symbolic_link_fn create_symbolic_link_entry = nullptr;
platform::DWORD symbolic_link_flags = 0;
std::unordered_set<std::u16string> links_made;

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

std::u16string name_key(std::string_view name) {
    std::u16string key(name.begin(), name.end());
    if (!platform::names_ignore_case()) return key;
    // An ASCII name is its own UTF-16 already.
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        if (auto wide = to_wide(std::string(name).c_str())) key = std::move(*wide);
    for (auto& unit : key) unit = text::upper_case(unit);
    return key;
}

namespace {

// TARGET as the link will reach it: a relative one read from LINKNAME's
// directory ("sub/" + "../x"; "D:" + "x" stays on drive D).
std::string seen_from_link(const char* target, const char* linkname) {
    if (is_absolute_path(target)) return target;
    return std::string(split_path(linkname).directory) + target;
}

}  // namespace

int make_link(const char* target, const char* linkname) {
    // The converted names keep their storage from pair to pair: a run over
    // many names allocates for the longest, not for each.
    static attempt tried;
    tried.directory = false;
    tried.error = 0;
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
    auto convert_into = [](std::optional<std::u16string>& name, const char* path, bool* by_platform) {
        if (!name) name.emplace();
        if (!to_win32_file_name(path, *name, by_platform)) name.reset();
    };
    convert_into(tried.win32_linkname, linkname, &by_platform);
    // A symbolic link's target is text that Windows stores; a hard link's
    // is a name it opens.
    if (!tried.win32_linkname)
        tried.win32_target.reset();
    else if (settings.symbolic)
        tried.win32_target = to_win32_path(target);
    else
        convert_into(tried.win32_target, target, nullptr);

    // The link is tried at once: usually nothing else is needed, and when
    // it fails LINKNAME is examined and the failure worded as if it had been
    // examined first. Where the platform's converter saw LINKNAME's final
    // name, it may have followed a symbolic link there (Cygwin's does), so
    // LINKNAME is examined first: the link must not land where that one
    // points. lstat, so that a dangling symbolic link counts as existing.
    platform::file_status existing;
    int unexamined = 0;  // why lstat could not look at LINKNAME
    auto examine = [&] {
        if (platform::file_lstat(linkname, &existing) == 0) return true;
        unexamined = errno;
        return false;
    };
    bool examine_first = tried.win32_linkname && by_platform;
    bool exists = examine_first && examine();
    if (!exists && tried.win32_linkname && tried.win32_target) {
        if (create_link(*tried.win32_linkname, *tried.win32_target, tried.directory)) {
            // Under --force a name made in this run is not replaced later.
            if (settings.force) links_made.insert(name_key(linkname));
            return report_made(target, linkname, tried.directory);
        }
        tried.error = platform::GetLastError();
    }
    if (!examine_first) exists = examine();
    bool windows_found_it = tried.error == platform::ERROR_ALREADY_EXISTS || tried.error == platform::ERROR_FILE_EXISTS;
    if (!exists && (!windows_found_it || unexamined == ENOENT)) return report_failure(target, linkname, tried);
    // Windows has a name there that lstat cannot look at (a path too long
    // for the POSIX calls, say): it exists, and what was not examined is
    // not replaced.
    if (!exists && settings.force) return report_cannot_remove(linkname, unexamined);
    if (!settings.force) {
        std::fprintf(stderr, "quelk: could not create link `%s': file exists\n", linkname);
        return STATUS_USAGE;
    }
    // Replacing it would lose a link that was asked for in this same run.
    // The name is entered at once, as the usual outcome is a link made
    // there, and taken out again if none is.
    auto [entry, entered] = links_made.insert(name_key(linkname));
    if (!entered) {
        std::fprintf(stderr, "quelk: will not overwrite just-created `%s' with `%s'\n", linkname, target);
        return STATUS_USAGE;
    }
    int status = replace_existing(target, linkname, existing, tried);
    if (status != STATUS_OK) links_made.erase(entry);
    return status;
}
