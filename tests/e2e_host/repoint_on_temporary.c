/* Repoints a symbolic link the moment another program makes a temporary
   name (.qk...) in a directory: a new link to TARGET is renamed over LINK
   in one step. Says "watching" once it watches, then "repointed". Built for
   the host, which has inotify.
   Usage: repoint_on_temporary DIR LINK TARGET */
#include "watch_temporary.h"

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    char staged[4096];
    snprintf(staged, sizeof staged, "%s.new", argv[2]);
    if (symlink(argv[3], staged) != 0 || wait_for_temporary(argv[1]) != 0 || rename(staged, argv[2]) != 0) return 1;
    puts("repointed");
    return 0;
}
