/* A stand-in for a hidraw device node, so that libHalvic's HID backend can be tested without a
 * USB UPS. Preloaded (LD_PRELOAD) into a test, it makes pseudo-terminal slaves answer the hidraw
 * requests from the files of the directory BREVANT_HIDSHIM_DIR:
 *
 *   descriptor     the report descriptor (HIDIOCGRDESCSIZE, HIDIOCGRDESC)
 *   feature-XX     feature report XX (hex), report ID byte first (HIDIOCGFEATURE); a
 *                  HIDIOCSFEATURE replaces it and appends the report in hex to "written"
 *   input-XX       input report XX (HIDIOCGINPUT)
 *   unplugged      while it exists, requests fail with ENODEV and opens with ENOENT
 *   denied         while it exists, opens fail with EACCES (the test runs as root)
 *
 * A report missing from the directory fails like a stalled request (EPIPE). Input reports the
 * device sends on its own are what the test writes to the pty master. Without the variable, or
 * on any other descriptor, every call goes to the C library unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#define PTY_SLAVE_FIRST_MAJOR 136
#define PTY_SLAVE_LAST_MAJOR 143
#define HIDRAW_TYPE 'H'
#define NR_SET_FEATURE 0x06
#define NR_GET_FEATURE 0x07
#define NR_GET_INPUT 0x0A

/* Lets a test make sure it runs with the shim in place. */
__attribute__((visibility("default"))) int brevant_hidshim_active(void)
{
    return 1;
}

static const char* shim_dir(void)
{
    const char* dir = getenv("BREVANT_HIDSHIM_DIR");
    return dir && *dir ? dir : NULL;
}

static int is_pty_slave(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    return major(st.st_rdev) >= PTY_SLAVE_FIRST_MAJOR && major(st.st_rdev) <= PTY_SLAVE_LAST_MAJOR;
}

static void shim_path(char* path, size_t size, const char* name)
{
    snprintf(path, size, "%s/%s", shim_dir(), name);
}

static int shim_file_exists(const char* name)
{
    char path[4096];
    shim_path(path, sizeof path, name);
    return access(path, F_OK) == 0;
}

/* Reads at most size bytes of a shim file; -1 when it is missing. */
static int read_shim_file(const char* name, unsigned char* buffer, size_t size)
{
    char path[4096];
    shim_path(path, sizeof path, name);
    FILE* file = fopen(path, "rb");
    if (!file)
        return -1;
    const size_t got = fread(buffer, 1, size, file);
    fclose(file);
    return (int)got;
}

static int file_size(const char* name)
{
    unsigned char buffer[HID_MAX_DESCRIPTOR_SIZE];
    return read_shim_file(name, buffer, sizeof buffer);
}

static int get_report(const char* kind, unsigned char* report, size_t length)
{
    char name[32];
    snprintf(name, sizeof name, "%s-%02x", kind, report[0]);
    const int got = read_shim_file(name, report, length);
    if (got < 0) {
        errno = EPIPE;
        return -1;
    }
    return got;
}

static int set_feature(const unsigned char* report, size_t length)
{
    char name[32];
    char path[4096];
    snprintf(name, sizeof name, "feature-%02x", report[0]);
    shim_path(path, sizeof path, name);
    FILE* file = fopen(path, "wb");
    if (!file || fwrite(report, 1, length, file) != length || fclose(file) != 0)
        return -1;
    shim_path(path, sizeof path, "written");
    FILE* log = fopen(path, "a");
    if (!log)
        return -1;
    for (size_t i = 0; i < length; ++i)
        fprintf(log, i ? " %02x" : "%02x", report[i]);
    fputc('\n', log);
    return fclose(log) == 0 ? (int)length : -1;
}

static int hidraw_request(unsigned long request, void* argument)
{
    if (shim_file_exists("unplugged")) {
        errno = ENODEV;
        return -1;
    }
    if (request == HIDIOCGRDESCSIZE) {
        *(int*)argument = file_size("descriptor");
        return 0;
    }
    if (request == HIDIOCGRDESC) {
        struct hidraw_report_descriptor* descriptor = argument;
        const int got = read_shim_file("descriptor", descriptor->value, descriptor->size);
        return got < 0 ? (errno = EIO, -1) : 0;
    }
    const size_t length = _IOC_SIZE(request);
    switch (_IOC_NR(request)) {
    case NR_GET_FEATURE:
        return get_report("feature", argument, length);
    case NR_GET_INPUT:
        return get_report("input", argument, length);
    case NR_SET_FEATURE:
        return set_feature(argument, length);
    default:
        errno = ENOTTY;
        return -1;
    }
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);

    if (_IOC_TYPE(request) == HIDRAW_TYPE && shim_dir() && is_pty_slave(fd))
        return hidraw_request(request, argument);
    static int (*real_ioctl)(int, unsigned long, ...);
    if (!real_ioctl)
        *(void**)&real_ioctl = dlsym(RTLD_NEXT, "ioctl");
    return real_ioctl(fd, request, argument);
}

/* libHalvic opens the node with open(); on 64-bit Linux open64 is the same function. */
int open(const char* path, int flags, ...)
{
    static int (*real_open)(const char*, int, ...);
    if (!real_open)
        *(void**)&real_open = dlsym(RTLD_NEXT, "open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    const int fd = real_open(path, flags, mode);
    if (fd < 0 || !shim_dir() || !is_pty_slave(fd))
        return fd;
    const int error = shim_file_exists("unplugged") ? ENOENT : shim_file_exists("denied") ? EACCES : 0;
    if (error) {
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}
