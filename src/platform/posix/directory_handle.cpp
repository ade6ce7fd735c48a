#include "platform/posix/directory_handle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace platform {

namespace {

// The last few directories opened (one directory may be spelled two ways
// in a run: as typed, and as the stand-in maps a Win32 name back); quelk
// never changes its own directory, so a relative one means the same for
// the whole run.
struct opened_directory {
    std::string path;
    int handle = -1;
};
opened_directory opened[4];
std::size_t next_slot = 0;

}  // namespace

at_path directory_of(const char* path) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return {AT_FDCWD, path};
    std::string_view name(slash + 1);
    // A final separator, "." or "..": the whole path, as typed.
    if (name.empty() || name == "." || name == "..") return {AT_FDCWD, path};
    std::string_view directory(path, static_cast<std::size_t>(slash - path) + 1);
    for (const auto& entry : opened)
        if (entry.handle >= 0 && directory == entry.path) return {entry.handle, slash + 1};
    int saved = errno;
    std::string wanted(directory);
    int handle = ::open(wanted.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    errno = saved;
    if (handle < 0) return {AT_FDCWD, path};
    auto& slot = opened[next_slot];
    next_slot = (next_slot + 1) % (sizeof opened / sizeof opened[0]);
    if (slot.handle >= 0) ::close(slot.handle);
    slot.handle = handle;
    slot.path = std::move(wanted);
    return {handle, slash + 1};
}

at_path alongside(const char* path, const char* other, at_path at) {
    if (at.directory == AT_FDCWD) return {AT_FDCWD, path};
    std::size_t prefix = static_cast<std::size_t>(at.name - other);
    const char* slash = std::strrchr(path, '/');
    std::string_view name(slash ? slash + 1 : path);
    if (slash == nullptr || static_cast<std::size_t>(slash - path) + 1 != prefix || std::strncmp(path, other, prefix) != 0 ||
        name.empty() || name == "." || name == "..")
        return {AT_FDCWD, path};
    return {at.directory, slash + 1};
}

}  // namespace platform
