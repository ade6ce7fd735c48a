/* Puts a directory at a name the moment another program makes a temporary
   name beside it (.qk...): a directory made beforehand beside the name
   (with a file in it when FULL is 1) changes places with the name's file
   in one step, so that the name is never free meanwhile, and the file is
   then removed. Says "watching" once it watches, then "swapped", or
   "late" when the name's file had already been replaced by then. Built
   for the host (it watches with inotify and swaps with renameat2); the
   program it races runs under Wine.
   Usage: swap_in_directory DIR NAME FULL */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../e2e_host/watch_temporary.h"

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    const char *dir = argv[1], *name = argv[2];
    int full = strcmp(argv[3], "1") == 0;
    char path[4096], staged[4096], inside[4200];
    snprintf(path, sizeof path, "%s/%s", dir, name);
    snprintf(staged, sizeof staged, "%s/staged", dir);
    snprintf(inside, sizeof inside, "%s/kept", staged);
    struct stat before;
    if (stat(path, &before) != 0 || mkdir(staged, 0777) != 0) return 1;
    if (full) {
        FILE *kept = fopen(inside, "w");
        if (kept == NULL || fclose(kept) != 0) return 1;
    }
    if (wait_for_temporary(dir) != 0) return 1;
    struct stat now;
    if (renameat2(AT_FDCWD, staged, AT_FDCWD, path, RENAME_EXCHANGE) != 0) {
        perror("renameat2");
        return 1;
    }
    /* What changed places with the directory tells whether the name still
       had its file then. */
    if (lstat(staged, &now) != 0 || now.st_ino != before.st_ino) {
        puts("late");
        return 0;
    }
    unlink(staged);
    puts("swapped");
    return 0;
}
