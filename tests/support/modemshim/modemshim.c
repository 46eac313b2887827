// Modem-control lines for pseudo-terminals, so that the real serial-port code can be tested
// without a serial device. Preloaded (LD_PRELOAD) into a test, it answers TIOCMGET, TIOCMSET,
// TIOCMBIS and TIOCMBIC on pty slaves from the state file named by BREVANT_MODEMSHIM_STATE, and,
// like a serial driver whose line speed is not B0, raises DTR and RTS when a pty slave is opened.
//
// The state file holds one line per modem line, "CTS=0", "DCD=1", "DTR=0", "RTS=1"; the test
// writes the inputs (CTS, DCD) and reads back the outputs (DTR, RTS). Without the variable, or
// on any other descriptor, every call goes to the C library unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

#define PTY_SLAVE_FIRST_MAJOR 136
#define PTY_SLAVE_LAST_MAJOR 143

struct line
{
    const char* name;
    int bit;
};

static const struct line lines[] = {
    {"CTS", TIOCM_CTS}, {"DCD", TIOCM_CAR}, {"DSR", TIOCM_DSR},
    {"RI", TIOCM_RNG},  {"DTR", TIOCM_DTR}, {"RTS", TIOCM_RTS},
};
#define LINE_COUNT (sizeof lines / sizeof lines[0])
#define OUTPUT_LINES (TIOCM_DTR | TIOCM_RTS)

// Lets a test make sure it runs with the shim in place.
__attribute__((visibility("default"))) int brevant_modemshim_active(void)
{
    return 1;
}

static const char* state_path(void)
{
    const char* path = getenv("BREVANT_MODEMSHIM_STATE");
    return path && *path ? path : NULL;
}

static int is_pty_slave(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    return major(st.st_rdev) >= PTY_SLAVE_FIRST_MAJOR && major(st.st_rdev) <= PTY_SLAVE_LAST_MAJOR;
}

static int read_bits(FILE* file)
{
    char text[64];
    int bits = 0;
    rewind(file);
    while (fgets(text, sizeof text, file)) {
        for (size_t i = 0; i < LINE_COUNT; ++i) {
            const size_t length = strlen(lines[i].name);
            if (strncmp(text, lines[i].name, length) == 0 && text[length] == '=' && atoi(text + length + 1))
                bits |= lines[i].bit;
        }
    }
    return bits;
}

static int write_bits(FILE* file, int bits)
{
    if (ftruncate(fileno(file), 0) != 0)
        return -1;
    rewind(file);
    for (size_t i = 0; i < LINE_COUNT; ++i)
        fprintf(file, "%s=%d\n", lines[i].name, (bits & lines[i].bit) ? 1 : 0);
    return fflush(file) == 0 ? 0 : -1;
}

// Applies one modem-line request to the state file under an exclusive lock.
static int update_state(unsigned long request, int* argument)
{
    FILE* file = fopen(state_path(), "a+");
    if (!file)
        return -1;
    flock(fileno(file), LOCK_EX);
    int bits = read_bits(file);
    int result = 0;
    if (request == TIOCMGET) {
        *argument = bits;
    } else {
        const int outputs = *argument & OUTPUT_LINES;
        bits = request == TIOCMSET   ? (bits & ~OUTPUT_LINES) | outputs
               : request == TIOCMBIS ? bits | outputs
                                     : bits & ~outputs;
        result = write_bits(file, bits);
    }
    fclose(file);
    return result;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);

    const int modem_request =
        request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
    if (modem_request && state_path() && is_pty_slave(fd)) {
        if (!argument) {
            errno = EFAULT;
            return -1;
        }
        return update_state(request, argument);
    }
    static int (*real_ioctl)(int, unsigned long, ...);
    if (!real_ioctl)
        *(void**)&real_ioctl = dlsym(RTLD_NEXT, "ioctl");
    return real_ioctl(fd, request, argument);
}

static int opened(int fd)
{
    if (fd >= 0 && state_path() && is_pty_slave(fd)) {
        int raised = OUTPUT_LINES;
        update_state(TIOCMBIS, &raised);
    }
    return fd;
}

// Defines `name` (open or open64) as the C library's function of that name, looked up once, that
// then raises the output lines of a pty slave it opened.
#define OPEN_WRAPPER(name)                                                                                   \
    int name(const char* path, int flags, ...)                                                               \
    {                                                                                                        \
        static __typeof__(&name) real;                                                                       \
        va_list args;                                                                                        \
        va_start(args, flags);                                                                               \
        const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;                      \
        va_end(args);                                                                                        \
        if (!real)                                                                                           \
            *(void**)&real = dlsym(RTLD_NEXT, #name);                                                        \
        return opened(real(path, flags, mode));                                                              \
    }

OPEN_WRAPPER(open)
OPEN_WRAPPER(open64)
