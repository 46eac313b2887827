// A stand-in for a hidraw device node, so that libHalvic's HID backend can be tested without a
// USB UPS. Preloaded (LD_PRELOAD) into a test, it makes pseudo-terminal slaves answer the hidraw
// requests from the files of the directory BREVANT_HIDSHIM_DIR:
//
//   descriptor     the report descriptor (HIDIOCGRDESCSIZE, HIDIOCGRDESC)
//   ids            the USB vendor and product IDs in hex, "0764 0501" (HIDIOCGRAWINFO)
//   input-XX       input report XX (hex), report ID byte first (HIDIOCGINPUT)
//   feature-XX     feature report XX (hex), report ID byte first (HIDIOCGFEATURE); a
//                  HIDIOCSFEATURE replaces it and appends the report in hex to "written"
//   unplugged      while it exists, requests fail with ENODEV
//   denied         while it exists, opens fail with EACCES (the tests run as root)
//
// A report missing from the directory fails like a stalled request (EPIPE), and so does every
// other request: for a missing input report the backend then takes the input reports the device
// sent on its own, which are what the test writes to the pty master. Without the variable, or on any
// other descriptor, every call goes to the C library unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

static const char* shim_dir(void)
{
    const char* dir = getenv("BREVANT_HIDSHIM_DIR");
    return dir && *dir ? dir : NULL;
}

// Pseudo-terminal slaves have the majors 136 to 143.
static int is_pty_slave(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

static FILE* open_shim_file(const char* name, const char* mode)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", shim_dir(), name);
    return fopen(path, mode);
}

static int shim_file_exists(const char* name)
{
    FILE* file = open_shim_file(name, "rb");
    return file && fclose(file) == 0;
}

// Reads at most size bytes of a shim file; -1 when it is missing.
static int read_shim_file(const char* name, unsigned char* buffer, size_t size)
{
    FILE* file = open_shim_file(name, "rb");
    if (!file)
        return -1;
    const size_t got = fread(buffer, 1, size, file);
    fclose(file);
    return (int)got;
}

static int report_file(const char* kind, unsigned char* report, size_t length, int write)
{
    char name[32];
    snprintf(name, sizeof name, "%s-%02x", kind, report[0]);
    if (!write) {
        const int got = read_shim_file(name, report, length);
        return got < 0 ? (errno = EPIPE, -1) : got;
    }
    FILE* file = open_shim_file(name, "wb");
    if (!file || fwrite(report, 1, length, file) != length || fclose(file) != 0)
        return -1;
    FILE* log = open_shim_file("written", "a");
    if (!log)
        return -1;
    for (size_t i = 0; i < length; ++i)
        fprintf(log, i ? " %02x" : "%02x", report[i]);
    fputc('\n', log);
    return fclose(log) == 0 ? (int)length : -1;
}

static int raw_info(struct hidraw_devinfo* info)
{
    unsigned char text[32] = {0};
    unsigned vendor = 0, product = 0;
    if (read_shim_file("ids", text, sizeof text - 1) < 0 ||
        sscanf((const char*)text, "%x %x", &vendor, &product) != 2)
        return errno = EPIPE, -1;
    info->bustype = 3; // BUS_USB
    info->vendor = (short)vendor;
    info->product = (short)product;
    return 0;
}

static int hidraw_request(unsigned long request, void* argument)
{
    if (shim_file_exists("unplugged"))
        return errno = ENODEV, -1;
    if (request == HIDIOCGRDESCSIZE) {
        unsigned char buffer[HID_MAX_DESCRIPTOR_SIZE];
        *(int*)argument = read_shim_file("descriptor", buffer, sizeof buffer);
        return 0;
    }
    if (request == HIDIOCGRDESC) {
        struct hidraw_report_descriptor* descriptor = argument;
        return read_shim_file("descriptor", descriptor->value, descriptor->size) < 0 ? (errno = EIO, -1) : 0;
    }
    if (request == HIDIOCGRAWINFO)
        return raw_info(argument);
    switch (_IOC_NR(request)) {
    case 0x0A: // HIDIOCGINPUT
        return report_file("input", argument, _IOC_SIZE(request), 0);
    case 0x07: // HIDIOCGFEATURE
        return report_file("feature", argument, _IOC_SIZE(request), 0);
    case 0x06: // HIDIOCSFEATURE
        return report_file("feature", argument, _IOC_SIZE(request), 1);
    default:
        return errno = EPIPE, -1;
    }
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (_IOC_TYPE(request) == 'H' && shim_dir() && is_pty_slave(fd))
        return hidraw_request(request, argument);
    static int (*real_ioctl)(int, unsigned long, ...);
    if (!real_ioctl)
        *(void**)&real_ioctl = dlsym(RTLD_NEXT, "ioctl");
    return real_ioctl(fd, request, argument);
}

// libHalvic opens the node with open(); on 64-bit Linux open64 is the same function.
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
    if (fd >= 0 && shim_dir() && is_pty_slave(fd) && shim_file_exists("denied")) {
        close(fd);
        return errno = EACCES, -1;
    }
    return fd;
}
