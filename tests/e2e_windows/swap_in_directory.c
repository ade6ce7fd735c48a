/* Puts a directory at a name the moment another program makes a temporary
   name beside it (.qk...): takes the name's file away and makes a
   directory there, with a file in it when FULL is 1. Says "watching" once
   it watches, then "swapped", or "late" when the name's file had already
   been replaced by then. Built for the host (it watches with inotify); the
   program it races runs under Wine.
   Usage: swap_in_directory DIR NAME FULL */
#include <stdio.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    const char *dir = argv[1], *name = argv[2];
    int full = strcmp(argv[3], "1") == 0;
    char path[4096], inside[4200];
    snprintf(path, sizeof path, "%s/%s", dir, name);
    snprintf(inside, sizeof inside, "%s/kept", path);
    struct stat before;
    if (stat(path, &before) != 0) return 1;
    int watch = inotify_init();
    if (watch < 0 || inotify_add_watch(watch, dir, IN_CREATE) < 0) return 1;
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
            struct stat now;
            if (stat(path, &now) != 0 || now.st_ino != before.st_ino) {
                puts("late");
                return 0;
            }
            unlink(path);
            mkdir(path, 0777);
            if (full) {
                FILE *kept = fopen(inside, "w");
                if (kept != NULL) fclose(kept);
            }
            puts("swapped");
            return 0;
        }
    }
}
