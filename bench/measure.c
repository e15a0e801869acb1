/* Runs a command several times and reports its median wall time and its
 * peak resident memory, as the kernel counts them for the child alone.
 *
 * measure RUNS PROGRAM [ARGUMENT...]: prints "SECONDS KIB", the median wall
 * time in seconds and the largest peak resident set in KiB. The command's
 * standard output and standard error are discarded; a command that fails
 * makes measure fail. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int compare(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    enum { MAX_RUNS = 1000 };
    static double times[MAX_RUNS];
    int runs = argc > 2 ? atoi(argv[1]) : 0;
    long peak = 0;
    if (runs < 1 || runs > MAX_RUNS) {
        fprintf(stderr, "usage: measure RUNS PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    for (int i = 0; i < runs; i++) {
        double start = now();
        pid_t child = fork();
        if (child == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execv(argv[2], argv + 2);
            _exit(127);
        }
        int status;
        struct rusage usage;
        if (child < 0 || wait4(child, &status, 0, &usage) < 0) return 2;
        times[i] = now() - start;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fprintf(stderr, "measure: %s failed\n", argv[2]);
            return 1;
        }
        if (usage.ru_maxrss > peak) peak = usage.ru_maxrss;
    }
    qsort(times, runs, sizeof times[0], compare);
    printf("%.6f %ld\n", times[runs / 2], peak);
    return 0;
}
