// A stand-in failing disk for the rescue bench, loaded with LD_PRELOAD into twl or ddrescue:
// reads of the file FAULT_FILE that touch a sector of FAULT_RANGES ("first:count,...", in
// 512-byte sectors) wait FAULT_DELAY_MS and fail with EIO, as a disk's bad sectors do. Every
// read of that file is logged to FAULT_LOG as "seconds ok|bad offset length".
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#define MAX_RANGES 64

static long long g_first[MAX_RANGES], g_count[MAX_RANGES];
static int g_ranges = -1;
static int g_delay_ms;
static struct stat g_file;
static FILE* g_log;

static void setup(void) {
    if (g_ranges >= 0)
        return;
    g_ranges = 0;
    const char* file = getenv("FAULT_FILE");
    if (file == NULL || stat(file, &g_file) != 0)
        g_file.st_ino = 0;
    const char* delay = getenv("FAULT_DELAY_MS");
    g_delay_ms = delay ? atoi(delay) : 0;
    const char* ranges = getenv("FAULT_RANGES");
    while (ranges && *ranges && g_ranges < MAX_RANGES) {
        char* end;
        g_first[g_ranges] = strtoll(ranges, &end, 10);
        g_count[g_ranges] = *end == ':' ? strtoll(end + 1, &end, 10) : 1;
        ++g_ranges;
        ranges = *end == ',' ? end + 1 : "";
    }
    const char* log = getenv("FAULT_LOG");
    if (log)
        g_log = fopen(log, "a");
}

// Whether `fd` reads the faulty file: the same file, by device and inode.
static int watched(int fd) {
    setup();
    struct stat st;
    return g_file.st_ino != 0 && fstat(fd, &st) == 0 && st.st_dev == g_file.st_dev &&
           st.st_ino == g_file.st_ino;
}

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int touches_bad(long long offset, size_t length) {
    const long long first = offset / 512, end = (offset + (long long)length + 511) / 512;
    for (int i = 0; i < g_ranges; ++i)
        if (first < g_first[i] + g_count[i] && g_first[i] < end)
            return 1;
    return 0;
}

// Fails a read of bad sectors after the delay; 0 when the read may go on.
static int fault(int fd, long long offset, size_t length) {
    if (!watched(fd))
        return 0;
    const int bad = touches_bad(offset, length);
    if (g_log) {
        fprintf(g_log, "%.6f %s %lld %zu\n", now(), bad ? "bad" : "ok", offset, length);
        fflush(g_log);
    }
    if (!bad)
        return 0;
    if (g_delay_ms)
        usleep(g_delay_ms * 1000);
    errno = EIO;
    return -1;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t pread(int fd, void* buffer, size_t length, off_t offset) {
    return fault(fd, offset, length) ? -1 : REAL(pread)(fd, buffer, length, offset);
}

ssize_t pread64(int fd, void* buffer, size_t length, off64_t offset) {
    return fault(fd, offset, length) ? -1 : REAL(pread64)(fd, buffer, length, offset);
}

ssize_t read(int fd, void* buffer, size_t length) {
    if (watched(fd) && fault(fd, lseek(fd, 0, SEEK_CUR), length))
        return -1;
    return REAL(read)(fd, buffer, length);
}
