/* The floor for bulk linking: link(2) or symlink(2) of each file into a
   directory, and nothing else. Usage: bare_link [-s] DIR FILE... */
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char **argv) {
    int symbolic = argc > 1 && strcmp(argv[1], "-s") == 0;
    int first = symbolic ? 2 : 1;
    char name[4096];
    int status = 0;
    for (int i = first + 1; i < argc; ++i) {
        snprintf(name, sizeof name, "%s/%s", argv[first], argv[i]);
        if ((symbolic ? symlink(argv[i], name) : link(argv[i], name)) != 0) status = 1;
    }
    return status;
}
