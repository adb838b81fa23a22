/* Ends the process with SIGKILL at a chosen file call, for the crash tests: loaded with
 * LD_PRELOAD into the stand-in host (the capture module's file calls reach libc through it).
 *
 *   QUIVA_KILL_AT=<before|after>:<call>:<pattern>[:<nth>]
 *
 * <call> is rename (the pattern is matched against the new name), link (the new name), unlink,
 * fsync (fdatasync too) or close (the file the descriptor names; close counts only files opened for writing),
 * pwrite@<offset>: a positioned write at that byte offset of the file the descriptor names
 * (pwrite alone: a positioned write at any offset), or write@<offset>: a plain write where the
 * file's position is that offset;
 * <pattern> is an fnmatch pattern over the whole native path ("*" crosses folders); the process is
 * killed at the nth matching call (1 unless given), before the call or just after it returned,
 * or, for the writes, "within" it: once the first half of its bytes are written.
 * Each kill first writes "kill-at-call: <call> <path>" to the file QUIVA_KILL_MARK names, when
 * set, so that a test knows the kill came where it asked. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char g_when[8];
static int g_killing;
static char g_call[16];
static char g_pattern[PATH_MAX];
static int g_nth = 1;
static int g_seen;
static int g_armed = -1;
static char g_hit[PATH_MAX * 2];

static int Armed(void)
{
    if (g_armed >= 0)
        return g_armed;
    g_armed = 0;
    const char* spec = getenv("QUIVA_KILL_AT");
    if (!spec)
        return 0;
    char copy[PATH_MAX + 64];
    snprintf(copy, sizeof copy, "%s", spec);
    char* rest = copy;
    const char* when = strsep(&rest, ":");
    const char* call = rest ? strsep(&rest, ":") : NULL;
    if (!when || !call || !rest)
        return 0;
    /* The last field is a count only when it is all digits. */
    char* last = strrchr(rest, ':');
    if (last && last[1] && strspn(last + 1, "0123456789") == strlen(last + 1)) {
        g_nth = atoi(last + 1);
        *last = '\0';
    }
    snprintf(g_when, sizeof g_when, "%s", when);
    snprintf(g_call, sizeof g_call, "%s", call);
    snprintf(g_pattern, sizeof g_pattern, "%s", rest);
    g_armed = 1;
    return 1;
}

static void Kill(const char* call)
{
    g_killing = 1; /* the mark's own writes are not looked at */
    const char* path = g_hit;
    const char* mark = getenv("QUIVA_KILL_MARK");
    if (mark) {
        FILE* f = fopen(mark, "a");
        if (f) {
            fprintf(f, "kill-at-call: %s %s\n", call, path);
            fclose(f);
        }
    }
    raise(SIGKILL);
}

/* Whether this call is the one to kill at; counts the matches. A relative path is taken from
 * the working folder. */
static int Hit(const char* call, const char* when, const char* path)
{
    if (!Armed() || !path || strcmp(call, g_call) != 0)
        return 0;
    char whole[PATH_MAX * 2];
    if (path[0] != '/') {
        char here[PATH_MAX];
        snprintf(whole, sizeof whole, "%s/%s", getcwd(here, sizeof here) ? here : "", path);
        path = whole;
    }
    if (fnmatch(g_pattern, path, 0) != 0)
        return 0;
    snprintf(g_hit, sizeof g_hit, "%s", path);
    if (strcmp(when, g_when) != 0)
        return 0;
    return ++g_seen == g_nth;
}

static void PathOfFd(int fd, char* out, size_t size)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? n : 0] = '\0';
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

static int Around(const char* call, const char* path, int (*run)(void*), void* args)
{
    if (Hit(call, "before", path))
        Kill(call);
    int result = run(args);
    if (result == 0 && Hit(call, "after", path))
        Kill(call);
    return result;
}

struct TwoPaths { const char* from; const char* to; int (*next)(const char*, const char*); };
static int RunTwo(void* p)
{
    struct TwoPaths* a = p;
    return a->next(a->from, a->to);
}
struct OnePath { const char* path; int (*next)(const char*); };
static int RunOne(void* p)
{
    struct OnePath* a = p;
    return a->next(a->path);
}
struct OneFd { int fd; int (*next)(int); };
static int RunFd(void* p)
{
    struct OneFd* a = p;
    return a->next(a->fd);
}

int rename(const char* from, const char* to)
{
    struct TwoPaths a = {from, to, NEXT(rename)};
    return Around("rename", to, RunTwo, &a);
}

int link(const char* from, const char* to)
{
    struct TwoPaths a = {from, to, NEXT(link)};
    return Around("link", to, RunTwo, &a);
}

int unlink(const char* path)
{
    struct OnePath a = {path, NEXT(unlink)};
    return Around("unlink", path, RunOne, &a);
}

int unlinkat(int dirfd, const char* name, int flags)
{
    static int (*next)(int, const char*, int);
    if (!next)
        next = NEXT(unlinkat);
    char path[PATH_MAX] = "";
    if (Armed() && strcmp(g_call, "unlink") == 0) {
        if (name[0] == '/' || dirfd == AT_FDCWD) {
            snprintf(path, sizeof path, "%s", name);
        } else {
            char folder[PATH_MAX];
            PathOfFd(dirfd, folder, sizeof folder);
            snprintf(path, sizeof path, "%s/%s", folder, name);
        }
    }
    if (path[0] && Hit("unlink", "before", path))
        Kill("unlink");
    int result = next(dirfd, name, flags);
    if (result == 0 && path[0] && Hit("unlink", "after", path))
        Kill("unlink");
    return result;
}

static int FdCall(const char* call, int fd, int (*next)(int))
{
    char path[PATH_MAX] = "";
    if (Armed() && strcmp(g_call, call) == 0) {
        int flags = fcntl(fd, F_GETFL);
        if (strcmp(call, "close") != 0 || (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY))
            PathOfFd(fd, path, sizeof path);
    }
    struct OneFd a = {fd, next};
    return Around(call, path[0] ? path : NULL, RunFd, &a);
}

int fsync(int fd)
{
    return FdCall("fsync", fd, NEXT(fsync));
}

int fdatasync(int fd)
{
    return FdCall("fsync", fd, NEXT(fdatasync));
}

int close(int fd)
{
    static int (*next)(int);
    if (!next)
        next = NEXT(close);
    return FdCall("close", fd, next);
}

/* A positioned write counts as the call "pwrite@<offset>", and as "pwrite" at any offset; "after"
 * is after it wrote it all. */
static ssize_t WriteAt(ssize_t (*next)(int, const void*, size_t, off_t), int fd, const void* data, size_t size, off_t at)
{
    char call[40] = "";
    char path[PATH_MAX] = "";
    if (!g_killing && Armed() && strcmp(g_call, "pwrite") == 0) {
        snprintf(call, sizeof call, "pwrite");
        PathOfFd(fd, path, sizeof path);
    } else if (!g_killing && Armed() && strncmp(g_call, "pwrite@", 7) == 0) {
        snprintf(call, sizeof call, "pwrite@%lld", (long long)at);
        if (strcmp(call, g_call) == 0)
            PathOfFd(fd, path, sizeof path);
    }
    if (path[0] && Hit(call, "before", path))
        Kill(call);
    if (path[0] && size > 1 && Hit(call, "within", path)) {
        next(fd, data, size / 2, at);
        Kill(call);
    }
    ssize_t result = next(fd, data, size, at);
    if (result == (ssize_t)size && path[0] && Hit(call, "after", path))
        Kill(call);
    return result;
}

/* A plain write counts as the call "write@<offset>", the file's position when it is made. */
ssize_t write(int fd, const void* data, size_t size)
{
    static ssize_t (*next)(int, const void*, size_t);
    if (!next)
        next = NEXT(write);
    char call[40] = "";
    char path[PATH_MAX] = "";
    if (!g_killing && Armed() && strncmp(g_call, "write@", 6) == 0) {
        const off_t at = lseek(fd, 0, SEEK_CUR);
        snprintf(call, sizeof call, "write@%lld", (long long)at);
        if (at >= 0 && strcmp(call, g_call) == 0)
            PathOfFd(fd, path, sizeof path);
    }
    if (path[0] && Hit(call, "before", path))
        Kill(call);
    if (path[0] && size > 1 && Hit(call, "within", path)) {
        next(fd, data, size / 2);
        Kill(call);
    }
    ssize_t result = next(fd, data, size);
    if (result == (ssize_t)size && path[0] && Hit(call, "after", path))
        Kill(call);
    return result;
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t at)
{
    static ssize_t (*next)(int, const void*, size_t, off_t);
    if (!next)
        next = NEXT(pwrite);
    return WriteAt(next, fd, data, size, at);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t at)
{
    static ssize_t (*next)(int, const void*, size_t, off_t);
    if (!next)
        next = (ssize_t (*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite64");
    return WriteAt(next, fd, data, size, at);
}
