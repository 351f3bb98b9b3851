/* A fault-injection shim for the tests, loaded with LD_PRELOAD into a program
 * under test (under ASan also with ASAN_OPTIONS=verify_asan_link_order=0).
 *
 *   VANTREL_FAULT="OP N ERRNO PATTERN"
 *     OP is read, write, close, open or fstat: the Nth call of that kind (from
 *     1) on files whose path contains PATTERN fails with ERRNO (a failed close
 *     still releases the descriptor). OP shorten: after the Nth read of such a
 *     file, the file is cut at the offset that read reached (ERRNO unused).
 *     OP appear: before the Nth write on such a file, the file named by
 *     VANTREL_FAULT_APPEAR is made with the text "another run's file", as a
 *     second run would make it (ERRNO unused).
 *   VANTREL_FAULT_COUNTS=FILE, VANTREL_FAULT_TRACK=PATTERN
 *     At exit, one line "OP COUNT PATH" per call kind and per path that
 *     contains the track pattern (or the fault pattern), in order of opening.
 *
 * Only the calls the file layer makes are seen: open/openat, read, write,
 * close and fstat through the C library's exported names. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum { OP_READ, OP_WRITE, OP_CLOSE, OP_OPEN, OP_FSTAT, OP_COUNT, OP_APPEAR };
static const char* const op_names[OP_COUNT] = {"read", "write", "close", "open", "fstat"};

#define MAX_FDS 4096
#define MAX_PATHS 256
#define MAX_PATH_LEN 1024

static struct {
    int ready;
    int op; /* -1: none; OP_COUNT: shorten; OP_APPEAR: appear */
    long nth;
    int err;
    char pattern[MAX_PATH_LEN];
    char track[MAX_PATH_LEN];
    const char* counts_file;
    long calls;           /* calls of the fault's kind on matching files so far */
    int fd_path[MAX_FDS]; /* index into paths + 1, 0 when not tracked */
    char paths[MAX_PATHS][MAX_PATH_LEN];
    long counts[MAX_PATHS][OP_COUNT];
    int npaths;
} S;

static ssize_t (*real_read)(int, void*, size_t);
static ssize_t (*real_write)(int, const void*, size_t);
static int (*real_close)(int);
static int (*real_open)(const char*, int, ...);
static int (*real_openat)(int, const char*, int, ...);
static int (*real_fstat)(int, struct stat*);

static void setup(void) {
    if (S.ready) return;
    real_read = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    real_write = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    real_close = (int (*)(int))dlsym(RTLD_NEXT, "close");
    real_open = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    real_openat = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat");
    real_fstat = (int (*)(int, struct stat*))dlsym(RTLD_NEXT, "fstat");
    S.op = -1;
    const char* fault = getenv("VANTREL_FAULT");
    if (fault != NULL) {
        char op[16] = "";
        int used = 0;
        if (sscanf(fault, "%15s %ld %d %n", op, &S.nth, &S.err, &used) == 3 && used > 0) {
            snprintf(S.pattern, sizeof S.pattern, "%s", fault + used);
            for (int i = 0; i < OP_COUNT; ++i)
                if (strcmp(op, op_names[i]) == 0) S.op = i;
            if (strcmp(op, "shorten") == 0) S.op = OP_COUNT;
            if (strcmp(op, "appear") == 0) S.op = OP_APPEAR;
        }
    }
    const char* track = getenv("VANTREL_FAULT_TRACK");
    snprintf(S.track, sizeof S.track, "%s", track != NULL ? track : "");
    S.counts_file = getenv("VANTREL_FAULT_COUNTS");
    S.ready = 1;
}

static int matches(const char* path, const char* pattern) {
    return pattern[0] != '\0' && path != NULL && strstr(path, pattern) != NULL;
}

/* The path's slot (+1) when the path is watched, else 0. */
static int watch(const char* path) {
    if (!matches(path, S.pattern) && !matches(path, S.track)) return 0;
    for (int i = 0; i < S.npaths; ++i)
        if (strcmp(S.paths[i], path) == 0) return i + 1;
    if (S.npaths == MAX_PATHS) return 0;
    snprintf(S.paths[S.npaths], MAX_PATH_LEN, "%s", path);
    return ++S.npaths;
}

static int slot_of(int fd) {
    return fd >= 0 && fd < MAX_FDS ? S.fd_path[fd] : 0;
}

/* Counts a call on a watched path; true when this call is the one to fail. */
static int hit(int slot, int op) {
    if (slot == 0) return 0;
    ++S.counts[slot - 1][op];
    const int kind = S.op == OP_COUNT ? OP_READ : S.op == OP_APPEAR ? OP_WRITE : S.op;
    if (kind != op || !matches(S.paths[slot - 1], S.pattern)) return 0;
    return ++S.calls == S.nth;
}

static int opened(int fd, int slot) {
    if (fd >= 0 && fd < MAX_FDS) S.fd_path[fd] = slot;
    return fd;
}

static int open_common(int dirfd, const char* path, int flags, mode_t mode, int at) {
    setup();
    const int slot = watch(path);
    if (hit(slot, OP_OPEN) && S.op == OP_OPEN) {
        errno = S.err;
        return -1;
    }
    const int fd = at ? real_openat(dirfd, path, flags, mode) : real_open(path, flags, mode);
    return opened(fd, slot);
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    return open_common(AT_FDCWD, path, flags, mode, 0);
}
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

int openat(int dirfd, const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    return open_common(dirfd, path, flags, mode, 1);
}
int openat64(int dirfd, const char* path, int flags, ...) __attribute__((alias("openat")));

ssize_t read(int fd, void* buf, size_t n) {
    setup();
    const int slot = slot_of(fd);
    const int chosen = hit(slot, OP_READ);
    if (chosen && S.op == OP_READ) {
        errno = S.err;
        return -1;
    }
    const ssize_t r = real_read(fd, buf, n);
    if (chosen && S.op == OP_COUNT && truncate(S.paths[slot - 1], lseek(fd, 0, SEEK_CUR)) != 0) abort();
    return r;
}

static void appear(void) {
    static const char text[] = "another run's file\n";
    const char* path = getenv("VANTREL_FAULT_APPEAR");
    if (path == NULL) abort();
    const int fd = real_open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || real_write(fd, text, sizeof text - 1) != (ssize_t)(sizeof text - 1)) abort();
    real_close(fd);
}

ssize_t write(int fd, const void* buf, size_t n) {
    setup();
    if (hit(slot_of(fd), OP_WRITE)) {
        if (S.op == OP_APPEAR) {
            appear();
        } else if (S.op == OP_WRITE) {
            errno = S.err;
            return -1;
        }
    }
    return real_write(fd, buf, n);
}

int close(int fd) {
    setup();
    const int fail = hit(slot_of(fd), OP_CLOSE) && S.op == OP_CLOSE;
    opened(fd, 0);
    const int rc = real_close(fd);
    if (fail) {
        errno = S.err;
        return -1;
    }
    return rc;
}

int fstat(int fd, struct stat* st) {
    setup();
    if (hit(slot_of(fd), OP_FSTAT) && S.op == OP_FSTAT) {
        errno = S.err;
        return -1;
    }
    return real_fstat(fd, st);
}
int fstat64(int fd, struct stat64* st) {
    return fstat(fd, (struct stat*)st);
}

__attribute__((destructor)) static void write_counts(void) {
    if (!S.ready || S.counts_file == NULL || S.npaths == 0) return; /* not the program under test */
    FILE* out = fopen(S.counts_file, "w");
    if (out == NULL) return;
    for (int i = 0; i < S.npaths; ++i)
        for (int op = 0; op < OP_COUNT; ++op)
            fprintf(out, "%s %ld %s\n", op_names[op], S.counts[i][op], S.paths[i]);
    fclose(out);
}
