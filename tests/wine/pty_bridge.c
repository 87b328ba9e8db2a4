/* A pair of COM ports for Windows tests under Wine: two pseudo-terminals whose masters this
 * program joins, each slave linked into the prefix as a COM port. What the port under test
 * (the first) sends comes out of the far end (the second), and back.
 *
 *   pelorin-pty-bridge DIR COM_UNDER_TEST COM_FAR_END
 *
 * DIR gets the control files: `ctl` (a FIFO the test writes commands to, one a line) and
 * `rep` (a FIFO it reads the one-line answers from), and `ready` once the ports are linked.
 * Commands:
 *   queued   bytes waiting in the input queue of the port under test
 *   termios  its line settings as the far end sees them: ospeed ispeed cflag iflag lflag oflag
 *   hangup   closes that terminal, as a pulled adapter; a fresh one takes the port's name
 * The slaves are kept open here, so a port closed by the test does not hang up its terminal.
 * Ends on SIGTERM or SIGINT. Linux only: the tests' side of a Windows build. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

struct Pty {
    int master, slave;
    char path[256];
};

static volatile sig_atomic_t stopping = 0;
static void OnStop(int sig) {
    (void)sig;
    stopping = 1;
}

static int OpenPty(struct Pty* p) {
    struct termios raw;
    memset(&raw, 0, sizeof raw);
    cfmakeraw(&raw);
    if (openpty(&p->master, &p->slave, p->path, &raw, NULL) != 0) return -1;
    fcntl(p->master, F_SETFL, fcntl(p->master, F_GETFL) | O_NONBLOCK);
    fcntl(p->master, F_SETFD, FD_CLOEXEC);
    fcntl(p->slave, F_SETFD, FD_CLOEXEC);
    return 0;
}

static void ClosePty(struct Pty* p) {
    if (p->master >= 0) close(p->master);
    if (p->slave >= 0) close(p->slave);
    p->master = p->slave = -1;
}

/* Points $WINEPREFIX/dosdevices/comN at the slave in one step (a new link renamed over). */
static int Link(const char* prefix, const char* com, const char* target) {
    char link[4096], temp[4200];
    snprintf(link, sizeof link, "%s/dosdevices/%s", prefix, com);
    snprintf(temp, sizeof temp, "%s.new-%d", link, (int)getpid());
    unlink(temp);
    if (symlink(target, temp) != 0 || rename(temp, link) != 0) {
        perror(link);
        return -1;
    }
    return 0;
}

/* Bytes read from one master that the other has not taken yet: nothing more is read from
 * that side until they are gone, so a far end that does not read stalls only its own line. */
struct Pending {
    char bytes[4096];
    size_t start, end;
};

static void Fill(int from, struct Pending* p) {
    if (p->start < p->end) return;
    ssize_t n = read(from, p->bytes, sizeof p->bytes);
    p->start = 0;
    p->end = n > 0 ? (size_t)n : 0;
}

static void Drain(int to, struct Pending* p) {
    while (p->start < p->end) {
        ssize_t w = write(to, p->bytes + p->start, p->end - p->start);
        if (w <= 0) return;
        p->start += (size_t)w;
    }
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s DIR COM_UNDER_TEST COM_FAR_END\n", argv[0]);
        return 2;
    }
    const char* dir = argv[1];
    const char* prefix = getenv("WINEPREFIX");
    if (!prefix || !*prefix) {
        fprintf(stderr, "pelorin-pty-bridge: WINEPREFIX is not set\n");
        return 2;
    }
    signal(SIGTERM, OnStop);
    signal(SIGINT, OnStop);
    signal(SIGPIPE, SIG_IGN);

    char ctlPath[4096], repPath[4096], readyPath[4096];
    snprintf(ctlPath, sizeof ctlPath, "%s/ctl", dir);
    snprintf(repPath, sizeof repPath, "%s/rep", dir);
    snprintf(readyPath, sizeof readyPath, "%s/ready", dir);
    mkdir(dir, 0700);
    unlink(ctlPath);
    unlink(repPath);
    unlink(readyPath);
    if (mkfifo(ctlPath, 0600) != 0 || mkfifo(repPath, 0600) != 0) {
        perror("mkfifo");
        return 1;
    }
    /* Read-write: neither end ever sees the other vanish between tests. */
    int ctl = open(ctlPath, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    int rep = open(repPath, O_RDWR | O_CLOEXEC);

    struct Pty port = {-1, -1, ""}, far = {-1, -1, ""};
    if (ctl < 0 || rep < 0 || OpenPty(&port) != 0 || OpenPty(&far) != 0 ||
        Link(prefix, argv[2], port.path) != 0 || Link(prefix, argv[3], far.path) != 0) {
        perror("pelorin-pty-bridge");
        return 1;
    }
    FILE* ready = fopen(readyPath, "w");
    if (ready) fclose(ready);

    char command[256];
    size_t commandLength = 0;
    struct Pending toFar = {{0}, 0, 0}, toPort = {{0}, 0, 0};
    while (!stopping) {
        /* Each master is read while its bytes have somewhere to go, and written while it has
         * bytes waiting for it. */
        short portEvents = (short)((toFar.start == toFar.end ? POLLIN : 0) |
                                   (toPort.start < toPort.end ? POLLOUT : 0));
        short farEvents = (short)((toPort.start == toPort.end ? POLLIN : 0) |
                                  (toFar.start < toFar.end ? POLLOUT : 0));
        struct pollfd fds[3] = {
            {port.master, portEvents, 0}, {far.master, farEvents, 0}, {ctl, POLLIN, 0}};
        if (poll(fds, 3, 500) < 0) continue;
        if (fds[0].revents & POLLIN) Fill(port.master, &toFar);
        if (fds[1].revents & POLLIN) Fill(far.master, &toPort);
        Drain(far.master, &toFar);
        Drain(port.master, &toPort);
        if (!(fds[2].revents & POLLIN)) continue;
        char c;
        while (read(ctl, &c, 1) == 1) {
            if (c != '\n') {
                if (commandLength < sizeof command - 1) command[commandLength++] = c;
                continue;
            }
            command[commandLength] = '\0';
            commandLength = 0;
            char answer[256] = "?\n";
            if (strcmp(command, "queued") == 0) {
                int n = -1;
                ioctl(port.slave, FIONREAD, &n);
                snprintf(answer, sizeof answer, "%d\n", n);
            } else if (strcmp(command, "termios") == 0) {
                struct termios t;
                memset(&t, 0, sizeof t);
                tcgetattr(port.master, &t);
                snprintf(answer, sizeof answer, "%u %u %u %u %u %u\n", (unsigned)cfgetospeed(&t),
                         (unsigned)cfgetispeed(&t), (unsigned)t.c_cflag, (unsigned)t.c_iflag,
                         (unsigned)t.c_lflag, (unsigned)t.c_oflag);
            } else if (strcmp(command, "hangup") == 0) {
                ClosePty(&port);
                toFar.start = toFar.end = toPort.start = toPort.end = 0;
                if (OpenPty(&port) != 0 || Link(prefix, argv[2], port.path) != 0) return 1;
                snprintf(answer, sizeof answer, "ok\n");
            }
            if (write(rep, answer, strlen(answer)) < 0) perror("rep");
        }
    }
    ClosePty(&port);
    ClosePty(&far);
    close(ctl);
    close(rep);
    unlink(ctlPath);
    unlink(repPath);
    unlink(readyPath);
    return 0;
}
