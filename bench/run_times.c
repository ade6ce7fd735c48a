/* Wall time of whole processes: runs each command in turn, ROUNDS times
   over, and prints the median of each in microseconds, one line per
   command. Commands are separated by "::"; each runs with its output on
   /dev/null. Usage: run_times ROUNDS CMD ARG... [:: CMD ARG...]... */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int compare(const void *a, const void *b) {
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static double run_once(char **argv) {
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execvp(argv[0], argv);
        _exit(127);
    }
    int status;
    waitpid(child, &status, 0);
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        fprintf(stderr, "run_times: %s did not run\n", argv[0]);
        exit(1);
    }
    return (end.tv_sec - start.tv_sec) * 1e6 + (end.tv_nsec - start.tv_nsec) / 1e3;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: run_times ROUNDS CMD ARG... [:: CMD ARG...]...\n");
        return 2;
    }
    int rounds = atoi(argv[1]);
    char **commands[64];
    int count = 0;
    commands[count++] = argv + 2;
    for (int i = 2; i < argc && count < 64; ++i)
        if (strcmp(argv[i], "::") == 0) {
            argv[i] = NULL;
            commands[count++] = argv + i + 1;
        }
    double *times = malloc(sizeof(double) * rounds * count);
    for (int r = 0; r < rounds; ++r)
        for (int c = 0; c < count; ++c) times[c * rounds + r] = run_once(commands[c]);
    for (int c = 0; c < count; ++c) {
        qsort(times + c * rounds, rounds, sizeof(double), compare);
        double median = rounds % 2 ? times[c * rounds + rounds / 2]
                                   : (times[c * rounds + rounds / 2 - 1] + times[c * rounds + rounds / 2]) / 2;
        printf("%.1f\n", median);
    }
    free(times);
    return 0;
}
