// Makes DIR an empty directory with a reparse point whose tag is no name
// surrogate, as cloud-file, ProjFS and container-layer placeholders are: a
// directory, not a link, whatever Windows answers for its attributes. A
// tag of no Microsoft filter's own (so nothing acts on it), with a GUID,
// as such tags must have. Says "made". Usage: placeholder_directory DIR
#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    if (!CreateDirectoryA(argv[1], nullptr)) return 1;
    HANDLE directory = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return 1;
    REPARSE_GUID_DATA_BUFFER buffer{};
    buffer.ReparseTag = 0x00000ABC;  // neither Microsoft's bit nor the name-surrogate bit
    buffer.ReparseDataLength = 0;
    buffer.ReparseGuid = GUID{0x71756c6b, 0x7471, 0x6573, {0x74, 0x70, 0x6c, 0x61, 0x63, 0x65, 0x68, 0x6f}};
    DWORD returned = 0;
    if (!DeviceIoControl(directory, FSCTL_SET_REPARSE_POINT, &buffer, REPARSE_GUID_DATA_BUFFER_HEADER_SIZE, nullptr, 0,
                         &returned, nullptr)) {
        std::printf("failed: FSCTL_SET_REPARSE_POINT, error %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(directory);
    std::puts("made");
    return 0;
}
