#include "link/link_steps.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "link/link.h"

run_settings settings;
platform::create_symbolic_link_fn create_symbolic_link_entry = nullptr;
platform::DWORD symbolic_link_flags = 0;
std::unordered_set<std::u16string> links_made;
bool output_written = false;
int output_error = 0;

void note_output(int result) {
    output_written = true;
    // Windows' C runtime reports a write that failed only through the
    // stream's error flag, and errno set then (a full disk: printf counts
    // its bytes all the same).
    if ((result < 0 || std::ferror(stdout)) && output_error == 0) output_error = errno != 0 ? errno : EIO;
}

void read_linkname(const char* path, link_name& name) {
    name.path = path;
    name.parts = split_path(path);
    auto directory = name.parts.directory;
    static const std::optional<std::string> none;
    const auto& physical = directory.empty() ? none : physical_directory_of(directory);
    if (!physical) {
        name.calls_directory.assign(directory);
        name.calls.assign(path);
        return;
    }
    name.calls_directory.assign(*physical);
    if (name.calls_directory.back() != '/') name.calls_directory.push_back('/');
    name.calls.assign(name.calls_directory).append(path + directory.size());
}

std::string seen_from_link(const char* target, const link_name& linkname) {
    if (is_absolute_path(target)) return target;
    // Windows reads a relative target from where the link lies, every
    // link on the way to it followed, and takes "." and ".." in the target
    // as text; read by Cygwin's Win32-path rules (a backslash anywhere), a
    // joined name would take the directory's ".." as text too. So the
    // target's own names are joined with slashes to the directory's
    // physical path, with "name/.." taken away as Windows would.
    auto physical = physical_directory_of(linkname.parts.directory);
    if (!physical) return std::string(linkname.parts.directory) + target;
    std::vector<std::string_view> names;
    std::string_view rest(target);
    for (std::size_t start = 0; start <= rest.size();) {
        std::size_t end = start;
        while (end < rest.size() && !platform::is_path_separator(rest[end])) ++end;
        auto name = rest.substr(start, end - start);
        if (name == ".." && !names.empty() && names.back() != "..")
            names.pop_back();
        else if (!name.empty() && name != ".")
            names.push_back(name);
        start = end + 1;
    }
    // The current directory is where relative names are read anyway.
    std::string seen = *physical == "." ? std::string() : *physical;
    for (auto name : names) seen.append(seen.empty() ? "" : "/").append(name);
    return seen.empty() ? std::string(".") : seen;
}

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
            note_output(std::printf("`%s' -> `%s' [%s]\n", linkname, target, directory ? "dir" : "file"));
        else
            note_output(std::printf("`%s' => `%s'\n", linkname, target));
    }
    return STATUS_OK;
}

int report_unconvertible(const char* name) {
    std::fprintf(stderr, "quelk: could not convert `%s' to win32 path\n", name);
    return STATUS_LINK_FAILED;
}

int report_failure(const char* target, const char* linkname, const attempt& tried) {
    if (!tried.win32_linkname || !tried.win32_target)
        return report_unconvertible(tried.win32_linkname ? target : linkname);
    std::fprintf(stderr, "quelk: failed to create %s link `%s': %s\n", settings.symbolic ? "symbolic" : "hard",
                 linkname, win32_error_text(tried.error).c_str());
    return STATUS_LINK_FAILED;
}

namespace {

// Windows' own words where it gave a reason, else the system's text for
// errno.
std::string reason(int error, platform::DWORD win32_error) {
    return win32_error != 0 ? win32_error_text(win32_error) : std::strerror(error);
}

}  // namespace

int report_cannot_remove(const char* linkname, int error, platform::DWORD win32_error) {
    std::fprintf(stderr, "quelk: cannot remove `%s': %s\n", linkname, reason(error, win32_error).c_str());
    return STATUS_CANNOT_REMOVE;
}

int report_temporary_left(const char* temporary, int error, platform::DWORD win32_error) {
    std::fprintf(stderr, "quelk: cannot remove temporary `%s': %s\n", temporary, reason(error, win32_error).c_str());
    return STATUS_CANNOT_REMOVE;
}

std::u16string name_key(std::string_view name) {
    // Most names are ASCII, their own UTF-16 already. Others are written
    // as the platform writes them for Windows; where that fails (no such
    // name can be linked then), their bytes stand apart in the private-use
    // range.
    std::u16string key;
    bool ascii = true;
    for (char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    std::optional<std::u16string> written;
    if (!ascii) written = platform::relative_path_to_win32(std::string(name).c_str());
    if (written) {
        key = std::move(*written);
    } else {
        key.reserve(name.size());
        for (char c : name) {
            auto byte = static_cast<unsigned char>(c);
            key.push_back(platform::is_path_separator(c) ? u'\\' : byte < 0x80 ? char16_t(byte) : char16_t(0xF000 + byte));
        }
    }
    platform::fold_name_case(key);
    return key;
}
