// The real Windows operations, for the builds that run on Windows.
//
// platform.h comes first: <windows.h> defines the ERROR_ and flag names as
// macros, which would rewrite the header's own constants.
// Windows 10's declarations (LCMapStringEx among them), whatever the
// headers' own default.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#include "platform/platform.h"

#include <windows.h>

#include <cstddef>
#include <string>

// Not in every MinGW-w64 header yet: read the key's 64-bit view.
#ifndef RRF_SUBKEY_WOW6464KEY
#define RRF_SUBKEY_WOW6464KEY 0x00010000
#endif

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");
static_assert(sizeof(::TOKEN_PRIVILEGES) == sizeof(TOKEN_PRIVILEGES));
static_assert(offsetof(::TOKEN_PRIVILEGES, Privileges) == offsetof(TOKEN_PRIVILEGES, Privileges));
static_assert(sizeof(::DWORD) == sizeof(DWORD));

namespace {

const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// advapi32 is loaded when the first of its calls is made, only with -s: a
// run of hard links does not pay for loading it (and what it loads).
template <typename Function>
Function* advapi32(const char* name) {
    static ::HMODULE module = ::LoadLibraryW(L"advapi32.dll");
    if (module == nullptr) return nullptr;
    auto entry = reinterpret_cast<void (*)()>(::GetProcAddress(module, name));
    if (entry == nullptr) ::SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<Function*>(entry);
}

}  // namespace

HMODULE LoadLibraryW(const char16_t* file_name) { return ::LoadLibraryW(wide(file_name)); }

farproc GetProcAddress(HMODULE module, const char* proc_name) {
    return reinterpret_cast<farproc>(::GetProcAddress(static_cast<::HMODULE>(module), proc_name));
}

BOOL CreateHardLinkW(const char16_t* file_name, const char16_t* existing_file_name,
                     void* security_attributes) {
    return ::CreateHardLinkW(wide(file_name), wide(existing_file_name),
                             static_cast<LPSECURITY_ATTRIBUTES>(security_attributes));
}

BOOL DeleteFileW(const char16_t* file_name) { return ::DeleteFileW(wide(file_name)); }

BOOL RemoveDirectoryW(const char16_t* path_name) { return ::RemoveDirectoryW(wide(path_name)); }

BOOL MoveFileExW(const char16_t* existing_file_name, const char16_t* new_file_name, DWORD flags) {
    return ::MoveFileExW(wide(existing_file_name), wide(new_file_name), flags);
}

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

DWORD GetLastError() { return ::GetLastError(); }

DWORD FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                     char16_t** buffer, DWORD size, void* arguments) {
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is really the
    // address of the pointer that receives the text.
    return ::FormatMessageW(flags, source, message_id, language_id, reinterpret_cast<LPWSTR>(buffer),
                            size, static_cast<va_list*>(arguments));
}

void* LocalFree(void* memory) { return ::LocalFree(static_cast<HLOCAL>(memory)); }

BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) {
    static auto entry = advapi32<decltype(::OpenProcessToken)>("OpenProcessToken");
    return entry != nullptr && entry(process, desired_access, token);
}

BOOL LookupPrivilegeValueW(const char16_t* system_name, const char16_t* name, LUID* luid) {
    static auto entry = advapi32<decltype(::LookupPrivilegeValueW)>("LookupPrivilegeValueW");
    ::LUID value{};
    if (entry == nullptr || !entry(wide(system_name), wide(name), &value)) return FALSE;
    luid->LowPart = value.LowPart;
    luid->HighPart = value.HighPart;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                           DWORD buffer_length, TOKEN_PRIVILEGES* previous_state,
                           DWORD* return_length) {
    static auto entry = advapi32<decltype(::AdjustTokenPrivileges)>("AdjustTokenPrivileges");
    // Same layout as the system's record, checked above.
    return entry != nullptr && entry(token, disable_all, reinterpret_cast<::PTOKEN_PRIVILEGES>(new_state),
                                     buffer_length, reinterpret_cast<::PTOKEN_PRIVILEGES>(previous_state),
                                     reinterpret_cast<::PDWORD>(return_length));
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

bool file_held_open(const char16_t* path) {
    // Asking for delete access is what a rename or a removal of any name of
    // the file asks for; the open is closed at once.
    HANDLE file = ::CreateFileW(wide(path), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ::DWORD error = ::GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    ::CloseHandle(file);
    return false;
}

void fold_name_case(std::u16string& name) {
    // Windows' table takes a-z to A-Z and leaves the rest of ASCII, where
    // most names are, as it is: only other names ask it.
    bool ascii = true;
    for (auto& unit : name) {
        if (unit >= u'a' && unit <= u'z') unit = char16_t(unit - (u'a' - u'A'));
        ascii = ascii && unit < 0x80;
    }
    if (ascii) return;
    // Without LCMAP_LINGUISTIC_CASING, upper case by the file system's
    // rules: one unit for one, as NTFS compares names.
    static std::u16string upper;
    upper.resize(name.size());
    int size = static_cast<int>(name.size());
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide(name.c_str()), size, wide(upper.data()), size,
                        nullptr, nullptr, 0) == size)
        name.swap(upper);
}

bool unprivileged_symbolic_links_allowed() {
    ::DWORD value = 0;
    ::DWORD size = sizeof value;
    // The 64-bit view of the key, also from a 32-bit quelk, which would
    // otherwise read the redirected WOW6432Node copy.
    static auto entry = advapi32<decltype(::RegGetValueW)>("RegGetValueW");
    if (entry == nullptr) return false;
    LSTATUS status = entry(HKEY_LOCAL_MACHINE,
                                    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\AppModelUnlock",
                                    L"AllowDevelopmentWithoutDevLicense", RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY,
                                    nullptr, &value, &size);
    return status == ERROR_SUCCESS && value == 1;
}

}  // namespace platform
