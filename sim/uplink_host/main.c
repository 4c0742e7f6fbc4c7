/*
 *   uplink_host [--dev IF] [--delay MS] [--every N] [--loss PERCENT --seed S]
 *               [--stuck-after N] --log FILE --pid-file FILE ADDRESS
 *
 * Reads the command line, binds a packet socket to the device and serves the
 * requests for ADDRESS (serve.c) until TERM or INT. The pid file is written
 * once the socket is bound (and, with --stuck-after, the carrier is being
 * watched), so whoever started this can wait for it.
 * Fragmented requests and IPv6 extension headers are not understood and are
 * ignored, as is all other traffic.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "uplink_host.h"

const char *prog = "uplink_host";
volatile sig_atomic_t stopping;

static void usage(const char *why)
{
    if (why)
        fprintf(stderr, "%s: %s\n", prog, why);
    fprintf(stderr,
            "usage: %s [--dev IF] [--delay MS] [--every N] [--loss PERCENT --seed S]"
            " [--stuck-after N] --log FILE --pid-file FILE ADDRESS\n",
            prog);
    exit(2);
}

void die(const char *what)
{
    fprintf(stderr, "%s: %s: %s\n", prog, what, strerror(errno));
    exit(1);
}

/* A decimal number within [min, max]; anything else is a usage error. */
static uint64_t number(const char *opt, const char *text, uint64_t min, uint64_t max)
{
    uint64_t v = 0;
    const char *p = text;
    if (!*p)
        goto bad;
    for (; *p; p++) {
        if (*p < '0' || *p > '9')
            goto bad;
        if (v > (UINT64_MAX - (uint64_t)(*p - '0')) / 10)
            goto bad;
        v = v * 10 + (uint64_t)(*p - '0');
    }
    if (v < min || v > max)
        goto bad;
    return v;
bad:
    fprintf(stderr, "%s: %s wants a whole number from %llu to %llu, not '%s'\n", prog, opt,
            (unsigned long long)min, (unsigned long long)max, text);
    exit(2);
}

void log_line(int fd, const char *line, size_t len)
{
    while (len) {
        ssize_t n = write(fd, line, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            die("writing the log");
        }
        line += n;
        len -= (size_t)n;
    }
}

static void on_signal(int sig)
{
    (void)sig;
    stopping = 1;
}

static void write_pid_file(const char *path)
{
    char tmp[4096], text[32];
    int n = snprintf(tmp, sizeof tmp, "%s.new", path);
    if (n < 0 || (size_t)n >= sizeof tmp) {
        errno = ENAMETOOLONG;
        die(path);
    }
    int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        die(tmp);
    n = snprintf(text, sizeof text, "%ld\n", (long)getpid());
    log_line(fd, text, (size_t)n);
    if (close(fd) < 0 || rename(tmp, path) < 0)
        die(path);
}

int main(int argc, char **argv)
{
    const char *dev = "eth0", *log_path = NULL, *pid_path = NULL, *address = NULL;
    struct host h = {.every = 1};
    uint64_t seed = 0;
    int have_seed = 0;

    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : NULL;
        if (a[0] != '-') {
            if (address)
                usage("one address only");
            address = a;
            continue;
        }
        if (!v)
            usage("an option without its value");
        if (!strcmp(a, "--dev"))
            dev = v;
        else if (!strcmp(a, "--delay"))
            h.delay = number(a, v, 0, 3600000);
        else if (!strcmp(a, "--every"))
            h.every = number(a, v, 1, 1000000000);
        else if (!strcmp(a, "--loss"))
            h.loss = number(a, v, 0, 100), h.have_loss = 1;
        else if (!strcmp(a, "--stuck-after"))
            h.stuck_after = number(a, v, 0, 1000000000), h.have_stuck = 1;
        else if (!strcmp(a, "--seed"))
            seed = number(a, v, 0, UINT64_MAX), have_seed = 1;
        else if (!strcmp(a, "--log"))
            log_path = v;
        else if (!strcmp(a, "--pid-file"))
            pid_path = v;
        else
            usage("unknown option");
        i++;
    }
    if (!address || !log_path || !pid_path)
        usage("ADDRESS, --log and --pid-file are needed");
    if (h.have_loss != have_seed)
        usage("--loss and --seed go together");

    h.family = AF_INET;
    if (inet_pton(AF_INET, address, h.addr) != 1) {
        h.family = AF_INET6;
        if (inet_pton(AF_INET6, address, h.addr) != 1)
            usage("not an IPv4 or IPv6 address");
    }
    rng_seed(seed);

    h.log_fd = open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (h.log_fd < 0)
        die(log_path);

    h.ifindex = (int)if_nametoindex(dev);
    if (!h.ifindex)
        die(dev);
    h.sock = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
    if (h.sock < 0)
        die("packet socket");
    struct sockaddr_ll here;
    memset(&here, 0, sizeof here);
    here.sll_family = AF_PACKET;
    here.sll_protocol = htons(ETH_P_ALL);
    here.sll_ifindex = h.ifindex;
    if (bind(h.sock, (struct sockaddr *)&here, sizeof here) < 0)
        die("binding the packet socket");
    struct ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", dev);
    if (ioctl(h.sock, SIOCGIFHWADDR, &ifr) < 0)
        die("the device's MAC address");
    memcpy(h.mac, ifr.ifr_hwaddr.sa_data, 6);

    /* Stop on TERM or INT, but only while waiting, so a reply is never
     * half sent. */
    sigset_t block, wait_mask;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    sigprocmask(SIG_BLOCK, &block, &wait_mask);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);

    struct carrier carrier;
    if (h.have_stuck)
        carrier_open(&carrier, h.ifindex, h.log_fd);

    write_pid_file(pid_path);
    serve(&h, h.have_stuck ? &carrier : NULL, &wait_mask);
    unlink(pid_path);
    return 0;
}
