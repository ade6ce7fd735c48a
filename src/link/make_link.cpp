#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/convert.h"
#include "link/link.h"

run_settings settings;
platform::create_symbolic_link_fn create_symbolic_link_entry = nullptr;

int make_link(const char* target, const char* linkname) {
    platform::file_status status;
    // lstat, so that a dangling symbolic link counts as existing.
    if (platform::file_lstat(linkname, &status) == 0) {
        if (!settings.force) {
            std::fprintf(stderr, "quelk: could not create link `%s': file exists\n", linkname);
            return STATUS_USAGE;
        }
        if (platform::file_unlink(linkname) != 0) {
            std::fprintf(stderr, "quelk: cannot remove `%s': %s\n", linkname, std::strerror(errno));
            return STATUS_CANNOT_REMOVE;
        }
    }

    // TARGET's type is looked up from the current directory, not from
    // LINKNAME's, just as it is handed to Windows.
    platform::file_status target_status;
    bool target_is_directory =
        platform::file_stat(target, &target_status) == 0 && target_status.is_directory;

    auto win32_linkname = to_win32_path(linkname);
    if (!win32_linkname) {
        std::fprintf(stderr, "quelk: could not convert `%s' to win32 path\n", linkname);
        return STATUS_LINK_FAILED;
    }
    auto win32_target = to_win32_path(target);
    if (!win32_target) {
        std::fprintf(stderr, "quelk: could not convert `%s' to win32 path\n", target);
        return STATUS_LINK_FAILED;
    }

    bool directory = settings.link_type == LINK_TYPE_DIRECTORY ||
                     (settings.link_type == LINK_TYPE_AUTO && target_is_directory);

    if (settings.symbolic) {
        platform::DWORD flags = directory ? platform::SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
        // Only the low byte is the result: the entry returns a one-byte BOOLEAN.
        if ((create_symbolic_link_entry(win32_linkname->c_str(), win32_target->c_str(), flags) & 0xff) == 0) {
            platform::DWORD error = platform::GetLastError();
            std::fprintf(stderr, "quelk: failed to create symbolic link `%s': %s\n", linkname,
                         win32_error_text(error).c_str());
            return STATUS_LINK_FAILED;
        }
        if (settings.verbose)
            std::printf("`%s' -> `%s' [%s]\n", linkname, target, directory ? "dir" : "file");
        return STATUS_OK;
    }

    if (!platform::CreateHardLinkW(win32_linkname->c_str(), win32_target->c_str(), nullptr)) {
        platform::DWORD error = platform::GetLastError();
        std::fprintf(stderr, "quelk: failed to create hard link `%s': %s\n", linkname,
                     win32_error_text(error).c_str());
        return STATUS_LINK_FAILED;
    }
    if (settings.verbose) std::printf("`%s' => `%s'\n", linkname, target);
    return STATUS_OK;
}
