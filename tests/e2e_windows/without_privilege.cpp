// Runs a program without the symbolic-link privilege: under a restricted
// copy of this process's own token, from which the privilege is deleted,
// with Developer Mode switched on or off for the run and put back as it
// was afterwards. The token is proven first: under it, Windows itself must
// refuse a symbolic link made without the unprivileged flag, as
// ERROR_PRIVILEGE_NOT_HELD, so that a link the program makes under it is
// the flag's doing. Exits with the program's status, or 120 and a reason
// when it could not run it, 121 when the token still makes links. Windows
// only (Wine has no such tokens).
// Usage: without_privilege on|off PROGRAM ARGUMENT...
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "without_privilege: %s failed, error %lu\n", what, GetLastError());
    return 120;
}

// One argument as the C runtime of the program reads it back.
void append_quoted(std::wstring& line, const wchar_t* argument) {
    if (!line.empty()) line.push_back(L' ');
    line.push_back(L'"');
    std::size_t backslashes = 0;
    for (const wchar_t* c = argument; *c != L'\0'; ++c) {
        if (*c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(*c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line.push_back(*c);
    }
    line.append(2 * backslashes, L'\\');
    line.push_back(L'"');
}

// Developer Mode as Windows keeps it; the value may be missing.
constexpr const wchar_t* unlock_key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\AppModelUnlock";
constexpr const wchar_t* developer_mode = L"AllowDevelopmentWithoutDevLicense";

struct developer_mode_switch {
    HKEY key = nullptr;
    bool had_value = false;
    DWORD before = 0;

    bool set(DWORD value) {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, unlock_key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        DWORD size = sizeof before;
        had_value = RegQueryValueExW(key, developer_mode, nullptr, nullptr, reinterpret_cast<BYTE*>(&before), &size) ==
                    ERROR_SUCCESS;
        return RegSetValueExW(key, developer_mode, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
               ERROR_SUCCESS;
    }
    ~developer_mode_switch() {
        if (key == nullptr) return;
        if (had_value)
            RegSetValueExW(key, developer_mode, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before), sizeof before);
        else
            RegDeleteValueW(key, developer_mode);
        RegCloseKey(key);
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3 || (std::wcscmp(argv[1], L"on") != 0 && std::wcscmp(argv[1], L"off") != 0)) {
        std::fputs("usage: without_privilege on|off PROGRAM ARGUMENT...\n", stderr);
        return 120;
    }
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(),
                          TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_PRIVILEGES, &token))
        return fail("OpenProcessToken");
    // CreateProcessAsUserW wants the quota privilege enabled in the caller,
    // which an administrator holds disabled.
    TOKEN_PRIVILEGES quota{};
    quota.PrivilegeCount = 1;
    quota.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, L"SeIncreaseQuotaPrivilege", &quota.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &quota, sizeof quota, nullptr, nullptr);
    LUID_AND_ATTRIBUTES removed{};
    if (!LookupPrivilegeValueW(nullptr, L"SeCreateSymbolicLinkPrivilege", &removed.Luid))
        return fail("LookupPrivilegeValueW");
    HANDLE restricted = nullptr;
    if (!CreateRestrictedToken(token, 0, 0, nullptr, 1, &removed, 0, nullptr, &restricted))
        return fail("CreateRestrictedToken");

    // Under the restricted token, a link without the flag is refused for
    // want of the privilege, whatever Developer Mode says.
    if (!ImpersonateLoggedOnUser(restricted)) return fail("ImpersonateLoggedOnUser");
    constexpr const wchar_t* probe = L"without_privilege_probe";
    BOOLEAN made = CreateSymbolicLinkW(probe, L"probe_target", 0);
    DWORD refused = made ? 0 : GetLastError();
    RevertToSelf();
    if (made) DeleteFileW(probe);
    if (refused != ERROR_PRIVILEGE_NOT_HELD) {
        std::fprintf(stderr, "without_privilege: the restricted token %s (error %lu), not ERROR_PRIVILEGE_NOT_HELD\n",
                     made ? "makes symbolic links" : "refuses a symbolic link otherwise", refused);
        return 121;
    }

    std::wstring line;
    for (int i = 2; i < argc; ++i) append_quoted(line, argv[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    DWORD status = 120;
    {
        developer_mode_switch mode;
        if (!mode.set(std::wcscmp(argv[1], L"on") == 0 ? 1 : 0)) return fail("setting Developer Mode");
        if (!CreateProcessAsUserW(restricted, argv[2], line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process))
            return fail("CreateProcessAsUserW");
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &status);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(restricted);
    CloseHandle(token);
    return static_cast<int>(status);
}
