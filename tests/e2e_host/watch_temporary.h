/* For the tests' own watchers on the host: says "watching" once it
   watches DIR (inotify), and returns when another program makes a
   temporary name (.qk...) there: 0, or 1 where it cannot watch. */
#include <stdio.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

static int wait_for_temporary(const char *dir) {
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
            if (event->len != 0 && strncmp(event->name, ".qk", 3) == 0) return 0;
        }
    }
}
