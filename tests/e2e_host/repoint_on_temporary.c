/* Repoints a symbolic link the moment another program makes a temporary
   name (.qk...) in a directory: a new link to TARGET is renamed over LINK
   in one step. Says "watching" once it watches, then "repointed". Built for
   the host, which has inotify.
   Usage: repoint_on_temporary DIR LINK TARGET */
#include <stdio.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    char staged[4096];
    snprintf(staged, sizeof staged, "%s.new", argv[2]);
    if (symlink(argv[3], staged) != 0) return 1;
    int watch = inotify_init();
    if (watch < 0 || inotify_add_watch(watch, argv[1], IN_CREATE) < 0) return 1;
    puts("watching");
    fflush(stdout);
    char events[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
    for (;;) {
        ssize_t size = read(watch, events, sizeof events);
        if (size <= 0) return 1;
        for (char *at = events; at < events + size;) {
            struct inotify_event *event = (struct inotify_event *)at;
            at += sizeof *event + event->len;
            if (event->len == 0 || strncmp(event->name, ".qk", 3) != 0) continue;
            if (rename(staged, argv[2]) != 0) return 1;
            puts("repointed");
            return 0;
        }
    }
}
