// SPDX-License-Identifier: GPL-3.0-or-later
// A card reader you can slow down: a read-only FUSE pass-through of a folder that serves one
// read at a time, each after a fixed delay plus its bytes at a limited bandwidth, as a USB SD
// reader does (about 1 ms a request, 40 MB/s). On unmount it writes how many read requests it
// served and how many bytes.
//
//   slowfs BACKING MOUNTPOINT [--delay-us N] [--mbps N] [--stats FILE] [fuse options]
//
// It runs in the foreground; `fusermount3 -u MOUNTPOINT` ends it.
#define FUSE_USE_VERSION 31
#include <fuse3/fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static char g_backing[PATH_MAX];
static long g_delayUs = 1000;
static double g_bytesPerUs = 40.0; // 40 MB/s
static const char* g_stats;
static pthread_mutex_t g_device = PTHREAD_MUTEX_INITIALIZER; // one request at a time
static unsigned long long g_reads, g_bytes;

static int backingPath(char* out, const char* path) {
    return snprintf(out, PATH_MAX, "%s%s", g_backing, path) < PATH_MAX ? 0 : -ENAMETOOLONG;
}

static double nowUs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e6 + (double)t.tv_nsec / 1e3;
}

// Waits `us` from `start` to within a few microseconds: sleeps most of it, spins the rest (a
// sleep alone overshoots by tens of microseconds, which over 60 000 reads is seconds).
static void waitFrom(double start, double us) {
    const double end = start + us;
    for (double left = end - nowUs(); left > 150; left = end - nowUs()) {
        struct timespec t = {0, (long)((left - 100) * 1000)};
        nanosleep(&t, NULL);
    }
    while (nowUs() < end) {
    }
}

static int slowGetattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    (void)fi;
    char full[PATH_MAX];
    if (backingPath(full, path))
        return -ENAMETOOLONG;
    return lstat(full, st) == 0 ? 0 : -errno;
}

static int slowReaddir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset, struct fuse_file_info* fi,
                       enum fuse_readdir_flags flags) {
    (void)offset, (void)fi, (void)flags;
    char full[PATH_MAX];
    if (backingPath(full, path))
        return -ENAMETOOLONG;
    DIR* dir = opendir(full);
    if (!dir)
        return -errno;
    for (struct dirent* e; (e = readdir(dir));) {
        struct stat st = {0};
        st.st_ino = e->d_ino;
        st.st_mode = (mode_t)DTTOIF(e->d_type);
        if (fill(buf, e->d_name, &st, 0, 0))
            break;
    }
    closedir(dir);
    return 0;
}

static int slowOpen(const char* path, struct fuse_file_info* fi) {
    char full[PATH_MAX];
    if (backingPath(full, path))
        return -ENAMETOOLONG;
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = open(full, O_RDONLY);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    fi->keep_cache = 1; // what the kernel read stays read until unmount, as with a block device
    return 0;
}

static int slowRead(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
    (void)path;
    pthread_mutex_lock(&g_device);
    const double start = nowUs();
    const ssize_t got = pread((int)fi->fh, buf, size, offset);
    waitFrom(start, (double)g_delayUs + (double)(got > 0 ? (size_t)got : 0) / g_bytesPerUs);
    ++g_reads;
    if (got > 0)
        g_bytes += (unsigned long long)got;
    pthread_mutex_unlock(&g_device);
    return got < 0 ? -errno : (int)got;
}

static int slowRelease(const char* path, struct fuse_file_info* fi) {
    (void)path;
    close((int)fi->fh);
    return 0;
}

static int slowStatfs(const char* path, struct statvfs* st) {
    char full[PATH_MAX];
    if (backingPath(full, path))
        return -ENAMETOOLONG;
    return statvfs(full, st) == 0 ? 0 : -errno;
}

static void slowDestroy(void* data) {
    (void)data;
    if (!g_stats)
        return;
    FILE* f = fopen(g_stats, "w");
    if (f) {
        fprintf(f, "reads %llu\nbytes %llu\n", g_reads, g_bytes);
        fclose(f);
    }
}

static const struct fuse_operations kOperations = {
    .getattr = slowGetattr,
    .open = slowOpen,
    .read = slowRead,
    .statfs = slowStatfs,
    .release = slowRelease,
    .readdir = slowReaddir,
    .destroy = slowDestroy,
};

int main(int argc, char** argv) {
    if (argc < 3 || !realpath(argv[1], g_backing)) {
        fprintf(stderr, "usage: slowfs BACKING MOUNTPOINT [--delay-us N] [--mbps N] [--stats FILE] [fuse options]\n");
        return 2;
    }
    char* args[64];
    int n = 0;
    args[n++] = argv[0];
    args[n++] = argv[2];
    args[n++] = "-f";
    args[n++] = "-o";
    args[n++] = "ro,default_permissions";
    for (int i = 3; i < argc && n < 60; ++i) {
        if (strcmp(argv[i], "--delay-us") == 0 && i + 1 < argc)
            g_delayUs = atol(argv[++i]);
        else if (strcmp(argv[i], "--mbps") == 0 && i + 1 < argc)
            g_bytesPerUs = atof(argv[++i]);
        else if (strcmp(argv[i], "--stats") == 0 && i + 1 < argc)
            g_stats = argv[++i];
        else
            args[n++] = argv[i];
    }
    if (g_bytesPerUs <= 0)
        g_bytesPerUs = 1e9;
    return fuse_main(n, args, &kOperations, NULL);
}
