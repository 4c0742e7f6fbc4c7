/* Times commands side by side: runs each command RUNS times, round robin so
 * that the machine's noise falls on all of them alike, and prints per command
 * the median, the 10th and the 90th percentile of the wall time in
 * microseconds.  Usage: exec_timer RUNS cmd1 [args] ::: cmd2 [args] ... */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

static int compare(const void* a, const void* b)
{
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

static double run_once(char** argv)
{
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv);
        _exit(127);
    }
    int status;
    waitpid(pid, &status, 0);
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        fprintf(stderr, "exec_timer: %s failed\n", argv[0]);
        exit(1);
    }
    return (end.tv_sec - start.tv_sec) * 1e6 + (end.tv_nsec - start.tv_nsec) / 1e3;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: exec_timer RUNS cmd [args] [::: cmd [args]]...\n");
        return 2;
    }
    int runs = atoi(argv[1]);
    char** commands[64];
    int count = 0;
    commands[count++] = &argv[2];
    for (int i = 2; i < argc; ++i)
        if (strcmp(argv[i], ":::") == 0) {
            argv[i] = NULL;
            if (count < 64)
                commands[count++] = &argv[i + 1];
        }
    double* times = calloc((size_t)runs * count, sizeof(double));
    for (int c = 0; c < count; ++c) /* warm the caches */
        for (int w = 0; w < 5; ++w)
            run_once(commands[c]);
    for (int r = 0; r < runs; ++r)
        for (int c = 0; c < count; ++c)
            times[c * runs + r] = run_once(commands[c]);
    for (int c = 0; c < count; ++c) {
        double* t = &times[c * runs];
        qsort(t, runs, sizeof(double), compare);
        printf("%.1f %.1f %.1f\n", t[runs / 2], t[runs / 10], t[(runs * 9) / 10]);
    }
    free(times);
    return 0;
}
