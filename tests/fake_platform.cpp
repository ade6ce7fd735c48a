#include "fake_platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <optional>

#include "link/link.h"
#include "text/utf16.h"

namespace fake {

thread_local int busy = 0;

namespace {

struct scope {
    scope() { ++busy; }
    ~scope() { --busy; }
};

state current;
platform::DWORD last_error = 0;
char kernel32_module;
char process_token;

std::string narrow(const char16_t* text) {
    std::string out;
    if (text == nullptr) return "null";
    for (; *text; ++text) out.push_back(*text < 0x80 ? char(*text) : '?');
    return out;
}

// The file system's key for a path: slashes, no leading "./".
std::string key(std::string path) {
    for (auto& c : path)
        if (c == '\\') c = '/';
    if (path.rfind("C:/", 0) == 0) path.erase(0, 2);
    while (path.rfind("./", 0) == 0) path.erase(0, 2);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path.empty() ? "." : path;
}

std::optional<unsigned> scripted(const std::string& operation) {
    if (auto hook = current.before.find(operation); hook != current.before.end()) hook->second();
    auto found = current.script.find(operation);
    if (found == current.script.end() || found->second.empty()) return std::nullopt;
    unsigned answer = found->second.front();
    found->second.pop_front();
    if (answer == 0) return std::nullopt;
    return answer;
}

void log(std::string line) { current.calls.push_back(std::move(line)); }

void set_links(std::uint64_t inode, std::uint64_t links) {
    for (auto& [path, e] : current.files)
        if (e.status.inode == inode) e.status.links = links;
}

platform::BOOLEAN QUELK_WINAPI create_symbolic_link(const char16_t* link, const char16_t* target,
                                                    platform::DWORD flags) {
    scope busy_here;
    log("CreateSymbolicLinkW(" + narrow(link) + ", " + narrow(target) + ", " + std::to_string(flags) + ")");
    if (auto error = scripted("CreateSymbolicLinkW")) {
        last_error = *error;
        return 0;
    }
    if (exists(key(narrow(link)))) {
        last_error = platform::ERROR_ALREADY_EXISTS;
        return 0;
    }
    add_symlink(key(narrow(link)), key(narrow(target)));
    return 1;
}

}  // namespace

state& fake() { return current; }

void reset() {
    current = state{};
    last_error = 0;
    settings = run_settings{};
    create_symbolic_link_entry = nullptr;
    symbolic_link_flags = 0;
    optind = 0;
    add_directory(".");
}

void add_file(const std::string& path, std::uint64_t links) {
    current.files[path] = entry{{1, current.next_inode++, links, false}, {}};
}

void add_directory(const std::string& path) {
    current.files[path] = entry{{1, current.next_inode++, 2, true}, {}};
}

void add_symlink(const std::string& path, const std::string& target) {
    current.files[path] = entry{{1, current.next_inode++, 1, false}, target};
}

bool exists(const std::string& path) { return current.files.count(path) != 0; }

std::vector<std::string> calls_of(const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& call : current.calls)
        if (call.rfind(prefix, 0) == 0) found.push_back(call);
    return found;
}

}  // namespace fake

namespace platform {

using fake::current;
using fake::last_error;
using fake::log;
using fake::narrow;
using fake::scripted;

HMODULE LoadLibraryW(const char16_t* file_name) {
    fake::scope busy_here;
    log("LoadLibraryW(" + narrow(file_name) + ")");
    if (current.load_library_fails) {
        last_error = 126;
        return nullptr;
    }
    return &fake::kernel32_module;
}

farproc GetProcAddress(HMODULE module, const char* proc_name) {
    fake::scope busy_here;
    log(std::string("GetProcAddress(") + (module == &fake::kernel32_module ? "kernel32" : "?") + ", " +
        proc_name + ")");
    if (current.no_symbolic_links) return nullptr;
    return reinterpret_cast<farproc>(&fake::create_symbolic_link);
}

BOOL CreateHardLinkW(const char16_t* file_name, const char16_t* existing_file_name, void* security_attributes) {
    fake::scope busy_here;
    log("CreateHardLinkW(" + narrow(file_name) + ", " + narrow(existing_file_name) + ", " +
        (security_attributes ? "attributes" : "null") + ")");
    if (auto error = scripted("CreateHardLinkW")) {
        last_error = *error;
        return 0;
    }
    std::string link = fake::key(narrow(file_name));
    std::string existing = fake::key(narrow(existing_file_name));
    if (fake::exists(link)) {
        last_error = ERROR_ALREADY_EXISTS;
        return 0;
    }
    if (!fake::exists(existing)) {
        last_error = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    current.files[link] = current.files[existing];
    fake::set_links(current.files[link].status.inode, current.files[link].status.links + 1);
    return 1;
}

HANDLE GetCurrentProcess() {
    fake::scope busy_here;
    log("GetCurrentProcess()");
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

BOOL CloseHandle(HANDLE object) {
    fake::scope busy_here;
    log(std::string("CloseHandle(") + (object == &fake::process_token ? "token" : "?") + ")");
    --current.open_handles;
    return 1;
}

DWORD GetLastError() { return last_error; }

DWORD FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id, char16_t** buffer,
                     DWORD size, void* arguments) {
    fake::scope busy_here;
    char line[160];
    std::snprintf(line, sizeof line, "FormatMessageW(0x%x, %s, %u, %u, %u, %s)", unsigned(flags),
                  source ? "source" : "null", unsigned(message_id), unsigned(language_id), unsigned(size),
                  arguments ? "arguments" : "null");
    log(line);
    auto found = current.messages.find(message_id);
    if (scripted("FormatMessageW") || found == current.messages.end()) return 0;
    *buffer = text::malloc_copy(found->second);
    ++current.allocated_texts;
    return DWORD(found->second.size());
}

void* LocalFree(void* memory) {
    fake::scope busy_here;
    log("LocalFree()");
    if (memory != nullptr) --current.allocated_texts;
    std::free(memory);
    return nullptr;
}

BOOL OpenProcessToken(HANDLE, DWORD desired_access, HANDLE* token) {
    fake::scope busy_here;
    char line[64];
    std::snprintf(line, sizeof line, "OpenProcessToken(process, 0x%x)", unsigned(desired_access));
    log(line);
    if (auto error = scripted("OpenProcessToken")) {
        last_error = *error;
        return 0;
    }
    *token = &fake::process_token;
    ++current.open_handles;
    return 1;
}

BOOL LookupPrivilegeValueW(const char16_t* system_name, const char16_t* name, LUID* luid) {
    fake::scope busy_here;
    log("LookupPrivilegeValueW(" + narrow(system_name) + ", " + narrow(name) + ")");
    if (auto error = scripted("LookupPrivilegeValueW")) {
        last_error = *error;
        return 0;
    }
    *luid = LUID{35, 0};
    return 1;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state, DWORD buffer_length,
                           TOKEN_PRIVILEGES* previous_state, DWORD* return_length) {
    fake::scope busy_here;
    char line[160];
    std::snprintf(line, sizeof line, "AdjustTokenPrivileges(%s, %d, count %u luid %u attributes %u, %u, %s, %s)",
                  token == &fake::process_token ? "token" : "?", disable_all, unsigned(new_state->PrivilegeCount),
                  unsigned(new_state->Privileges[0].Luid.LowPart), unsigned(new_state->Privileges[0].Attributes),
                  unsigned(buffer_length), previous_state ? "previous" : "null", return_length ? "length" : "null");
    log(line);
    if (auto error = scripted("AdjustTokenPrivileges")) {
        last_error = *error;
        return 0;
    }
    last_error = current.privilege_held ? 0 : ERROR_NOT_ALL_ASSIGNED;
    return 1;
}

bool unprivileged_symbolic_links_allowed() {
    fake::scope busy_here;
    log("unprivileged_symbolic_links_allowed()");
    return current.developer_mode;
}

// Absolute paths get a drive; separators become backslashes.
void* cygwin_create_path(unsigned what, const void* from) {
    fake::scope busy_here;
    std::string path = static_cast<const char*>(from);
    char code[16];
    std::snprintf(code, sizeof code, "0x%x", what);
    log(std::string("cygwin_create_path(") + code + ", " + path + ")");
    if (auto error = scripted("cygwin_create_path")) {
        errno = int(*error);
        return nullptr;
    }
    if (path.empty() || current.unconvertible.count(path)) {
        errno = path.empty() ? EINVAL : ENAMETOOLONG;
        return nullptr;
    }
    std::u16string converted = path[0] == '/' ? u"C:" : u"";
    for (char c : path) converted.push_back(c == '/' ? u'\\' : char16_t(static_cast<unsigned char>(c)));
    return text::malloc_copy(converted);
}

int file_lstat(const char* path, file_status* status) {
    fake::scope busy_here;
    log(std::string("lstat(") + path + ")");
    if (auto error = scripted("lstat")) {
        errno = int(*error);
        return -1;
    }
    auto found = current.files.find(fake::key(path));
    if (*path == '\0' || found == current.files.end()) {
        errno = ENOENT;
        return -1;
    }
    *status = found->second.status;
    return 0;
}

int file_stat(const char* path, file_status* status) {
    fake::scope busy_here;
    log(std::string("stat(") + path + ")");
    std::string name = fake::key(path);
    for (int depth = 0; *path != '\0' && depth < 8; ++depth) {
        auto found = current.files.find(name);
        if (found == current.files.end()) break;
        if (found->second.symlink_target.empty()) {
            *status = found->second.status;
            return 0;
        }
        name = found->second.symlink_target;
    }
    errno = ENOENT;
    return -1;
}

int file_unlink(const char* path) {
    fake::scope busy_here;
    log(std::string("unlink(") + path + ")");
    if (auto error = scripted("unlink")) {
        errno = int(*error);
        return -1;
    }
    auto found = current.files.find(fake::key(path));
    if (found == current.files.end()) {
        errno = ENOENT;
        return -1;
    }
    if (found->second.status.is_directory) {
        errno = EISDIR;
        return -1;
    }
    auto status = found->second.status;
    current.files.erase(found);
    fake::set_links(status.inode, status.links - 1);
    return 0;
}

int file_rename(const char* from, const char* to) {
    fake::scope busy_here;
    log(std::string("rename(") + from + ", " + to + ")");
    if (auto error = scripted("rename")) {
        errno = int(*error);
        return -1;
    }
    auto source = current.files.find(fake::key(from));
    if (source == current.files.end()) {
        errno = ENOENT;
        return -1;
    }
    auto destination = current.files.find(fake::key(to));
    if (destination != current.files.end()) {
        if (destination->second.status.is_directory) {
            errno = EISDIR;
            return -1;
        }
        // Two names of one file: rename does nothing.
        if (destination->second.status.inode == source->second.status.inode) return 0;
        auto replaced = destination->second.status;
        current.files.erase(destination);
        fake::set_links(replaced.inode, replaced.links - 1);
    }
    auto moved = source->second;
    current.files.erase(fake::key(from));
    current.files[fake::key(to)] = moved;
    return 0;
}

int file_directory_writable(const char* path) {
    fake::scope busy_here;
    log(std::string("writable(") + path + ")");
    if (auto error = scripted("writable")) {
        errno = int(*error);
        return -1;
    }
    return 0;
}

}  // namespace platform
