/* Preloaded into the player by test_kill_during_save.py. From the moment the save opens
 * "GameData.sys.tmp" it numbers the save's file calls (those naming the save's files, or
 * on their FILE or descriptors, or syncing the folder while a save runs).
 * FW_KILL_AT="n d": at call n, d < 0 kills after the call returns, d = 0 before it, d > 0
 * arms a timer that kills d ns later while the call and those after it run (at the
 * latest when the process exits).
 * FW_SAVE_LOG=path appends "n name ns" for every numbered call instead. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int calls = -1;  /* -1 until the save starts */
static int timer_armed;
static FILE* save_file;
static int save_fds[4] = {-1, -1, -1, -1};

static int ours(const char* path) { return path && strstr(path, "GameData.sys"); }
static int our_fd(int fd) {
    for (int i = 0; i < 4; ++i)
        if (fd >= 0 && save_fds[i] == fd) return 1;
    return 0;
}

static int step(const char* name) {
    if (calls < 0) return -1;
    const char* log = getenv("FW_SAVE_LOG");
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (log) {
        FILE* (*real_fopen)(const char*, const char*) = dlsym(RTLD_NEXT, "fopen");
        FILE* out = real_fopen(log, "a");
        fprintf(out, "%d %s %lld\n", calls, name, (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
        fclose(out);
    }
    long long n = -1, delay = 0;
    const char* at = getenv("FW_KILL_AT");
    if (at && sscanf(at, "%lld %lld", &n, &delay) == 2 && n == calls) {
        if (delay == 0) raise(SIGKILL);
        if (delay > 0) {
            struct sigevent event = {.sigev_notify = SIGEV_SIGNAL, .sigev_signo = SIGKILL};
            timer_t timer;
            struct itimerspec when = {.it_value = {delay / 1000000000LL, delay % 1000000000LL}};
            timer_create(CLOCK_MONOTONIC, &event, &timer);
            timer_settime(timer, 0, &when, NULL);
            timer_armed = 1;
        }
    }
    return n == calls++ && delay < 0;  /* 1: kill after the call */
}

static void done(int kill_after) {
    if (kill_after == 1) raise(SIGKILL);
}

__attribute__((destructor)) static void at_exit(void) {
    if (timer_armed) raise(SIGKILL);
}

#define REAL(type, name, ...) type (*real)(__VA_ARGS__) = dlsym(RTLD_NEXT, #name)

FILE* fopen(const char* path, const char* mode) {
    REAL(FILE*, fopen, const char*, const char*);
    if (ours(path) && strstr(path, ".tmp") && mode[0] == 'w' && calls < 0) calls = 0;
    int after = ours(path) ? step("fopen") : -1;
    FILE* file = real(path, mode);
    if (after >= 0) save_file = file;
    done(after);
    return file;
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* file) {
    REAL(size_t, fwrite, const void*, size_t, size_t, FILE*);
    int after = file == save_file ? step("fwrite") : -1;
    size_t result = real(data, size, count, file);
    done(after);
    return result;
}

int fflush(FILE* file) {
    REAL(int, fflush, FILE*);
    int after = file && file == save_file ? step("fflush") : -1;
    int result = real(file);
    done(after);
    return result;
}

int fclose(FILE* file) {
    REAL(int, fclose, FILE*);
    int after = file == save_file ? step("fclose") : -1;
    if (after >= 0) save_file = NULL;
    int result = real(file);
    done(after);
    return result;
}

#define PATH_CALL(name, ...)                              \
    int after = ours(path) ? step(#name) : -1;            \
    int result = real(__VA_ARGS__);                       \
    done(after);                                          \
    return result;

int rename(const char* path, const char* to) { REAL(int, rename, const char*, const char*); PATH_CALL(rename, path, to) }
int lstat(const char* path, struct stat* info) { REAL(int, lstat, const char*, struct stat*); PATH_CALL(lstat, path, info) }
int unlink(const char* path) { REAL(int, unlink, const char*); PATH_CALL(unlink, path) }

int open(const char* path, int flags, ...) {
    REAL(int, open, const char*, int, ...);
    va_list rest;
    va_start(rest, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    int after = ours(path) || (calls >= 0 && strcmp(path, ".") == 0) ? step("open") : -1;
    int fd = real(path, flags, mode);
    for (int i = 0; after >= 0 && i < 4; ++i)
        if (save_fds[i] < 0) { save_fds[i] = fd; break; }
    done(after);
    return fd;
}

int fsync(int fd) {
    REAL(int, fsync, int);
    int after = our_fd(fd) ? step("fsync") : -1;
    int result = real(fd);
    done(after);
    return result;
}

int close(int fd) {
    REAL(int, close, int);
    int after = our_fd(fd) ? step("close") : -1;
    for (int i = 0; after >= 0 && i < 4; ++i)
        if (save_fds[i] == fd) save_fds[i] = -1;
    int result = real(fd);
    done(after);
    return result;
}
