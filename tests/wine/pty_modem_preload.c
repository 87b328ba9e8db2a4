/* LD_PRELOAD library for Windows tests under Wine: pseudo-terminals answer the modem-line
 * calls (TIOCMGET, TIOCMSET, TIOCMBIS, TIOCMBIC, TIOCGICOUNT) as a serial port with the far
 * end ready would, instead of refusing them. Wine asks for the modem lines while it waits for
 * comm events; with a refusal every wait ends at once, with this it waits as on Windows.
 * Other devices and other calls go to the system unchanged. Linux only. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* DTR and RTS as last set, per descriptor (small ones; larger ones read as off). */
enum { kTracked = 1024 };
static int lines[kTracked];

/* Unix98 pseudo-terminal slaves have majors 136..143. */
static int IsPtySlave(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...) = 0;
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);

    const int modemCall = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
                          request == TIOCMBIC || request == TIOCGICOUNT;
    if (!modemCall || !IsPtySlave(fd)) return real(fd, request, arg);
    const int own = fd >= 0 && fd < kTracked ? lines[fd] : 0;
    const int far = TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
    switch (request) {
        case TIOCMGET:
            *(int*)arg = own | far;
            return 0;
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
            if (fd >= 0 && fd < kTracked) {
                const int bits = *(const int*)arg & (TIOCM_DTR | TIOCM_RTS);
                lines[fd] = request == TIOCMSET   ? bits
                            : request == TIOCMBIS ? (own | bits)
                                                  : (own & ~bits);
            }
            return 0;
        case TIOCGICOUNT:
            /* No line ever changed and no error was ever counted. */
            memset(arg, 0, sizeof(struct serial_icounter_struct));
            return 0;
    }
    return real(fd, request, arg);
}
