/* Preloaded into the player by test_save_faults.py: numbers the save's file calls from its
 * fopen of "GameData.sys.tmp" on. FW_SAVE_LOG=path: appends "n name ns" for each. FW_KILL_AT=
 * "n d": SIGKILL at call n, d < 0 after it, 0 before it, d > 0 ns later (at exit at the latest). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int calls = -1, timer_armed; /* calls: -1 until the save starts */
static FILE* save_file;
static int save_fds[4] = {-1, -1, -1, -1};

static int ours(const char* path) { return path && strstr(path, "GameData.sys"); }
static int* fd_slot(int fd) {
    for (int i = 0; i < 4; ++i)
        if (save_fds[i] == fd) return &save_fds[i];
    return NULL;
}

/* Before a numbered call: logs it or kills as asked; 1 = kill after it, 0 = go on. */
static int step(const char* name) {
    int call = calls++;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char *log = getenv("FW_SAVE_LOG"), *at = getenv("FW_KILL_AT");
    if (log) {
        FILE* (*real_fopen)(const char*, const char*) = dlsym(RTLD_NEXT, "fopen");
        FILE* out = real_fopen(log, "a");
        fprintf(out, "%d %s %lld\n", call, name, now.tv_sec * 1000000000LL + now.tv_nsec);
        fclose(out);
    }
    long long n = -1, delay = 0;
    if (!at || sscanf(at, "%lld %lld", &n, &delay) != 2 || n != call) return 0;
    if (delay == 0) raise(SIGKILL);
    if (delay > 0) {
        struct sigevent event = {.sigev_notify = SIGEV_SIGNAL, .sigev_signo = SIGKILL};
        struct itimerspec when = {.it_value = {delay / 1000000000LL, delay % 1000000000LL}};
        timer_t timer;
        timer_create(CLOCK_MONOTONIC, &event, &timer);
        timer_settime(timer, 0, &when, NULL);
        timer_armed = 1;
    }
    return delay < 0;
}

__attribute__((destructor)) static void at_exit(void) {
    if (timer_armed) raise(SIGKILL);
}

/* A wrapper that numbers the call when `counted` holds, with `after` run after it. */
#define WRAP(type, name, params, args, counted, after)               \
    type name params {                                               \
        static type(*real) params;                                   \
        if (!real) real = dlsym(RTLD_NEXT, #name);                   \
        if (calls < 0 && START_OF_SAVE) calls = 0;                   \
        int kill_after = calls >= 0 && (counted) ? step(#name) : -1; \
        type result = real args;                                     \
        if (kill_after >= 0) {                                       \
            after;                                                   \
        }                                                            \
        if (kill_after == 1) raise(SIGKILL);                         \
        return result;                                               \
    }

#define START_OF_SAVE 0
WRAP(size_t, fwrite, (const void* data, size_t size, size_t count, FILE* file), (data, size, count, file),
     file == save_file, )
WRAP(int, fflush, (FILE * file), (file), file&& file == save_file, )
WRAP(int, fclose, (FILE * file), (file), file == save_file, save_file = NULL)
WRAP(int, rename, (const char* path, const char* to), (path, to), ours(path), )
WRAP(int, lstat, (const char* path, struct stat* info), (path, info), ours(path), )
WRAP(int, fsync, (int fd), (fd), fd >= 0 && fd_slot(fd), )
WRAP(int, close, (int fd), (fd), fd >= 0 && fd_slot(fd), *fd_slot(fd) = -1)
#undef START_OF_SAVE
#define START_OF_SAVE (ours(path) && strstr(path, ".tmp") && mode[0] == 'w')
WRAP(FILE*, fopen, (const char* path, const char* mode), (path, mode), ours(path), save_file = result)

int open(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (!real) real = dlsym(RTLD_NEXT, "open");
    va_list rest;
    va_start(rest, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    int kill_after = calls >= 0 && (ours(path) || strcmp(path, ".") == 0) ? step("open") : -1;
    int fd = real(path, flags, mode);
    if (kill_after >= 0 && fd_slot(-1)) *fd_slot(-1) = fd;
    if (kill_after == 1) raise(SIGKILL);
    return fd;
}
