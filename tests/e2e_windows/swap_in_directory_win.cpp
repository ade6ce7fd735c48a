// Puts a directory at a name the moment another program makes a temporary
// name beside it (.qk...), with Windows' own means: the name's file is held
// open without sharing delete access from the start, so that the other
// program's rename over it is refused and waits; once the temporary comes
// (ReadDirectoryChangesW), the file is renamed aside through that same
// handle, a directory made beforehand beside it (with a file in it when
// FULL is 1) is renamed into its place, and the file removed. Says
// "watching", then "swapped", or "late" when the name was taken in the
// moment it was free.
// Usage: swap_in_directory_win DIR NAME FULL
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int fail(const char* what) {
    std::printf("failed: %s, error %lu\n", what, GetLastError());
    return 1;
}

std::wstring wide(const char* text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(size > 0 ? size - 1 : 0, L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), size);
    return out;
}

// Renames the open FILE to NAME (a full Win32 path), not replacing.
bool rename_handle(HANDLE file, const std::wstring& name) {
    std::vector<unsigned char> buffer(offsetof(FILE_RENAME_INFO, FileName) + (name.size() + 1) * sizeof(wchar_t));
    auto* information = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    information->ReplaceIfExists = FALSE;
    information->RootDirectory = nullptr;
    information->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(information->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    return SetFileInformationByHandle(file, FileRenameInfo, information, static_cast<DWORD>(buffer.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    wchar_t full_directory[MAX_PATH];
    if (GetFullPathNameW(wide(argv[1]).c_str(), MAX_PATH, full_directory, nullptr) == 0) return fail("GetFullPathNameW");
    std::wstring directory(full_directory);
    std::wstring name = wide(argv[2]);
    std::wstring path = directory + L"\\" + name, staged = directory + L"\\staged", aside = directory + L"\\aside";
    HANDLE held = CreateFileW(path.c_str(), DELETE | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) return fail("holding the name");
    if (!CreateDirectoryW(staged.c_str(), nullptr)) return fail("CreateDirectoryW");
    if (std::strcmp(argv[3], "1") == 0) {
        HANDLE kept = CreateFileW((staged + L"\\kept").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (kept == INVALID_HANDLE_VALUE) return fail("the directory's file");
        CloseHandle(kept);
    }
    // Overlapped, so that "watching" is said only once the first
    // ReadDirectoryChangesW is in flight: Windows records changes from that
    // call on, and a temporary made before it would be missed.
    HANDLE watch = CreateFileW(directory.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (watch == INVALID_HANDLE_VALUE) return fail("opening the directory");
    OVERLAPPED pending{};
    pending.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (pending.hEvent == nullptr) return fail("CreateEventW");
    alignas(DWORD) unsigned char events[16384];
    for (bool announced = false;;) {
        if (!ReadDirectoryChangesW(watch, events, sizeof events, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &pending,
                                   nullptr))
            return fail("ReadDirectoryChangesW");
        if (!announced) {
            std::puts("watching");
            std::fflush(stdout);
            announced = true;
        }
        DWORD size = 0;
        if (!GetOverlappedResult(watch, &pending, &size, TRUE)) return fail("GetOverlappedResult");
        ResetEvent(pending.hEvent);
        for (DWORD at = 0; size != 0 && at < size;) {
            auto* event = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(events + at);
            std::wstring added(event->FileName, event->FileNameLength / sizeof(wchar_t));
            if (event->Action == FILE_ACTION_ADDED && added.rfind(L".qk", 0) == 0) {
                // The name is free between the two renames below, and a
                // rename that comes then rightly takes it. The other
                // program's first rename follows its temporary at once and
                // is refused; it then waits 50 ms before it tries again:
                // the swap is made in that wait.
                Sleep(20);
                if (!rename_handle(held, aside)) return fail("renaming the name's file aside");
                if (!MoveFileExW(staged.c_str(), path.c_str(), 0)) {
                    std::puts(GetLastError() == ERROR_ALREADY_EXISTS ? "late" : "failed: moving the directory in");
                    return 0;
                }
                FILE_DISPOSITION_INFO gone{TRUE};
                SetFileInformationByHandle(held, FileDispositionInfo, &gone, sizeof gone);
                CloseHandle(held);
                std::puts("swapped");
                return 0;
            }
            if (event->NextEntryOffset == 0) break;
            at += event->NextEntryOffset;
        }
    }
}
