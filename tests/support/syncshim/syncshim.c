// Durability checks at the system-call boundary. Preloaded (LD_PRELOAD) into a test, it watches the
// writes and syncs of every regular file, by the path the descriptor has at that moment:
//
//   brevant_syncshim_syncs(suffix)     fsync and fdatasync calls on files whose path ends with suffix
//   brevant_syncshim_unsynced(suffix)  bytes written to those files since each one's last sync
//   brevant_syncshim_reset()           forgets both
//
// A test finds them with dlsym(RTLD_DEFAULT, ...). So "the change is on disk when the call
// returns" becomes: the call synced the file and left nothing unsynced in it; a database switched
// to fewer syncs fails that, though a killed process would not show it (the page cache survives).
// The calls watched are the ones the program, Qt and SQLite write and sync with: write, pwrite64,
// fsync, fdatasync.
//
// BREVANT_SYNCSHIM_KILL_AT="<part>:write:<n>" or "<part>:sync:<n>" kills the process with SIGKILL
// right after its n-th write or sync of a file whose path contains <part>: a crash at an exact
// point.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#define MAX_FILES 256
#define MAX_PATH 512

struct file_state
{
    char path[MAX_PATH];
    long syncs;
    long unsynced;
};

static struct file_state files[MAX_FILES];
static int file_count;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

enum event
{
    EVENT_WRITE,
    EVENT_SYNC
};

struct kill_point
{
    int armed;
    char part[MAX_PATH];
    enum event event;
    long remaining;
};

static struct kill_point kill_point;
static pthread_once_t kill_point_once = PTHREAD_ONCE_INIT;

static int ends_with(const char* text, const char* suffix)
{
    const size_t text_length = strlen(text);
    const size_t suffix_length = strlen(suffix);
    return suffix_length <= text_length && strcmp(text + text_length - suffix_length, suffix) == 0;
}

static void read_kill_point(void)
{
    const char* setting = getenv("BREVANT_SYNCSHIM_KILL_AT");
    char event[8]; // the part's width in the format below is MAX_PATH - 1
    if (!setting ||
        sscanf(setting, "%511[^:]:%7[^:]:%ld", kill_point.part, event, &kill_point.remaining) != 3 ||
        kill_point.remaining < 1 || (strcmp(event, "write") != 0 && strcmp(event, "sync") != 0))
        return;
    kill_point.event = strcmp(event, "write") == 0 ? EVENT_WRITE : EVENT_SYNC;
    kill_point.armed = 1;
}

// The path of a regular file open as fd, or 0 for anything else.
static int regular_file_path(int fd, char* path)
{
    char link[64];
    struct stat status;
    ssize_t length;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    length = readlink(link, path, MAX_PATH - 1);
    if (length <= 0)
        return 0;
    path[length] = '\0';
    return 1;
}

static struct file_state* state_of(const char* path)
{
    int i;
    for (i = 0; i < file_count; ++i) {
        if (strcmp(files[i].path, path) == 0)
            return &files[i];
    }
    if (file_count == MAX_FILES)
        return NULL;
    strcpy(files[file_count].path, path);
    files[file_count].syncs = 0;
    files[file_count].unsynced = 0;
    return &files[file_count++];
}

static void note(int fd, enum event event, ssize_t bytes)
{
    char path[MAX_PATH];
    struct file_state* state;
    int kill_now = 0;
    if (bytes < 0 || !regular_file_path(fd, path))
        return;
    pthread_once(&kill_point_once, read_kill_point);
    pthread_mutex_lock(&lock);
    state = state_of(path);
    if (state && event == EVENT_WRITE)
        state->unsynced += bytes;
    if (state && event == EVENT_SYNC) {
        state->unsynced = 0;
        ++state->syncs;
    }
    if (kill_point.armed && kill_point.event == event && strstr(path, kill_point.part))
        kill_now = --kill_point.remaining == 0;
    pthread_mutex_unlock(&lock);
    if (kill_now)
        raise(SIGKILL);
}

// Defines `name` as the C library's function of that name (looked up once) followed by a note of
// the write or sync it made; `noted` is the byte count, negative for nothing to note.
#define WATCHED(type, name, params, args, event, noted)                                                      \
    type name params                                                                                         \
    {                                                                                                        \
        static __typeof__(&name) real;                                                                       \
        if (!real)                                                                                           \
            *(void**)&real = dlsym(RTLD_NEXT, #name);                                                        \
        const type result = real args;                                                                       \
        note(fd, event, noted);                                                                              \
        return result;                                                                                       \
    }

WATCHED(ssize_t, write, (int fd, const void* buffer, size_t count), (fd, buffer, count), EVENT_WRITE, result)
WATCHED(ssize_t, pwrite64, (int fd, const void* buffer, size_t count, off64_t offset),
        (fd, buffer, count, offset), EVENT_WRITE, result)
WATCHED(int, fsync, (int fd), (fd), EVENT_SYNC, result == 0 ? 0 : -1)
WATCHED(int, fdatasync, (int fd), (fd), EVENT_SYNC, result == 0 ? 0 : -1)

__attribute__((visibility("default"))) int brevant_syncshim_active(void)
{
    return 1;
}

__attribute__((visibility("default"))) void brevant_syncshim_reset(void)
{
    int i;
    pthread_mutex_lock(&lock);
    for (i = 0; i < file_count; ++i) {
        files[i].syncs = 0;
        files[i].unsynced = 0;
    }
    pthread_mutex_unlock(&lock);
}

static long sum(const char* suffix, int syncs)
{
    long total = 0;
    int i;
    pthread_mutex_lock(&lock);
    for (i = 0; i < file_count; ++i) {
        if (ends_with(files[i].path, suffix))
            total += syncs ? files[i].syncs : files[i].unsynced;
    }
    pthread_mutex_unlock(&lock);
    return total;
}

__attribute__((visibility("default"))) long brevant_syncshim_syncs(const char* suffix)
{
    return sum(suffix, 1);
}

__attribute__((visibility("default"))) long brevant_syncshim_unsynced(const char* suffix)
{
    return sum(suffix, 0);
}
