/* Loaded into kerfo by the fault tests through LD_PRELOAD. Records every fsync
 * (with the path of the file or folder flushed) and every rename in the file
 * that KERFO_SYNC_TRACE names, one line each, and stops the process with
 * SIGSTOP just before the fsync that KERFO_STOP_AT_SYNC counts (1 for the
 * first), so that a test can act at a moment it knows instead of racing the
 * program. */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int syncs = 0;

static void Trace(const char* first, const char* second, const char* third) {
    const char* path = getenv("KERFO_SYNC_TRACE");
    if (path == NULL) {
        return;
    }
    char line[8192];
    const int length = snprintf(line, sizeof line, "%s %s%s%s\n", first, second,
                                third != NULL ? " " : "", third != NULL ? third : "");
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0 && length > 0) {
        if (write(fd, line, (size_t)length) < 0) {
            /* the test sees the line missing */
        }
    }
    if (fd >= 0) {
        close(fd);
    }
}

int fsync(int fd) {
    static int (*real)(int) = NULL;
    if (real == NULL) {
        real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    }
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    target[length > 0 ? length : 0] = '\0';
    Trace("fsync", target, NULL);
    const char* stopAt = getenv("KERFO_STOP_AT_SYNC");
    if (stopAt != NULL && ++syncs == atoi(stopAt)) {
        raise(SIGSTOP);
    }
    return real(fd);
}

int rename(const char* from, const char* to) {
    static int (*real)(const char*, const char*) = NULL;
    if (real == NULL) {
        real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    }
    const int result = real(from, to);
    if (result == 0) {
        Trace("rename", from, to);
    }
    return result;
}
