/* The floor for bulk linking on Windows: CreateHardLinkW of each file into a
   directory, and nothing else; with -f, DeleteFileW of the name first, as a
   replacement that is not atomic does it.
   Usage: bare_link_win [-f] DIR FILE... */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

int wmain(int argc, wchar_t **argv) {
    int replace = argc > 1 && wcscmp(argv[1], L"-f") == 0;
    int first = replace ? 2 : 1;
    wchar_t name[MAX_PATH];
    int status = 0;
    for (int i = first + 1; i < argc; ++i) {
        swprintf(name, MAX_PATH, L"%ls\\%ls", argv[first], argv[i]);
        if (replace) DeleteFileW(name);
        if (!CreateHardLinkW(name, argv[i], NULL)) status = 1;
    }
    return status;
}
