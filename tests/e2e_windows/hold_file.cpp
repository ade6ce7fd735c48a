// Holds a file open the way an editor or a running program does: shared for
// reading and writing, not for delete. Says "held" once it has it, and
// lets go after SECONDS (a fraction too). Usage: hold_file PATH SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::puts("held");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atof(argv[2]) * 1000));
    CloseHandle(file);
    return 0;
}
