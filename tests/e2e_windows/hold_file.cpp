// Holds a file open the way an editor or a running program does: shared for
// reading and writing, not for delete. Says "held" once it has it, and
// lets go after SECONDS (a fraction too). With DIRECTORY, it first holds
// until another program's temporary name (.qk...) appears there, at most
// 30 s, says "temporary seen", and only then counts SECONDS: the other
// program has met the file held, however slowly it started.
// Usage: hold_file PATH SECONDS [DIRECTORY]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool temporary_there(const std::string& directory) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\.qk*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::puts("held");
    std::fflush(stdout);
    if (argc == 4) {
        for (int waited = 0; !temporary_there(argv[3]); waited += 5) {
            if (waited >= 30000) return 3;
            Sleep(5);
        }
        std::puts("temporary seen");
        std::fflush(stdout);
    }
    Sleep(static_cast<DWORD>(std::atof(argv[2]) * 1000));
    CloseHandle(file);
    return 0;
}
