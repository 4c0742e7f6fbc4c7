/*
 * A host on the simulated uplink that answers pings late, or only some of
 * them. It runs in the upstream namespace on a packet socket and answers the
 * ICMP echo requests (IPv4 and ICMPv6) for one address that no namespace owns:
 * the access point reaches that address through a static neighbour entry, and
 * no kernel answers it, so every reply is built here.
 *
 *   uplink_host [--dev IF] [--delay MS] [--every N] [--loss PERCENT --seed S]
 *               --log FILE --pid-file FILE ADDRESS
 *
 * --every N answers requests N, 2N, ... (counted from 1); --loss drops each
 * request with the given probability, drawn from a seeded xorshift generator
 * once per request, so a seed and an order of requests give the same choices
 * every time; --delay sends each reply MS milliseconds after its request came
 * in, while later requests go on being read and queued. A request is answered
 * when it passes --every and --loss. Every request for ADDRESS is logged, one
 * flushed line each: "request N id=ID seq=SEQ reply" or "... drop".
 * The pid file is written once the socket is bound, so whoever started this
 * can wait for it. Fragmented requests and IPv6 extension headers are not
 * understood and are ignored, as is all other traffic.
 *
 * Packets are read and built byte by byte, in network byte order, so nothing
 * depends on the alignment or byte order of the CPU.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#define ETH_HDR 14
#define IP4_HDR 20
#define IP6_HDR 40
#define MAX_FRAME 65536
#define MAX_PENDING 4096

struct pending {
    struct pending *next;
    uint64_t due_ns;
    size_t len;
    unsigned char frame[];
};

static struct pending *queue_head, *queue_tail;
static size_t queue_len;
static volatile sig_atomic_t stopping;

static const char *prog = "uplink_host";

static void usage(const char *why)
{
    if (why)
        fprintf(stderr, "%s: %s\n", prog, why);
    fprintf(stderr,
            "usage: %s [--dev IF] [--delay MS] [--every N] [--loss PERCENT --seed S]"
            " --log FILE --pid-file FILE ADDRESS\n",
            prog);
    exit(2);
}

static void die(const char *what)
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

static uint64_t now_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

/* xorshift64*; the seed goes through one splitmix64 step so that 0 and
 * nearby seeds give unrelated, non-zero states. */
static uint64_t rng_state;

static void rng_seed(uint64_t seed)
{
    uint64_t z = seed + 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    rng_state = z ? z : 0x9e3779b97f4a7c15ull;
}

static uint64_t rng_next(void)
{
    rng_state ^= rng_state >> 12;
    rng_state ^= rng_state << 25;
    rng_state ^= rng_state >> 27;
    return rng_state * 0x2545f4914f6cdd1dull;
}

static unsigned get16(const unsigned char *p)
{
    return (unsigned)p[0] << 8 | p[1];
}

static void put16(unsigned char *p, unsigned v)
{
    p[0] = (unsigned char)(v >> 8);
    p[1] = (unsigned char)v;
}

/* The Internet checksum's running sum over bytes taken as big-endian words. */
static uint32_t sum_bytes(uint32_t sum, const unsigned char *p, size_t len)
{
    while (len > 1) {
        sum += get16(p);
        p += 2;
        len -= 2;
    }
    if (len)
        sum += (uint32_t)p[0] << 8;
    return sum;
}

static unsigned fold(uint32_t sum)
{
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return ~sum & 0xffff;
}

/* An echo request for our address: the place of its ICMP message in the
 * frame and its length, and the IP version; 0 for anything else. */
static int echo_request(const unsigned char *f, size_t len, int family, const unsigned char *addr,
                        size_t *icmp_off, size_t *icmp_len)
{
    if (len < ETH_HDR || (f[0] & 1))
        return 0;
    unsigned type = get16(f + 12);
    const unsigned char *ip = f + ETH_HDR;
    size_t ip_room = len - ETH_HDR;

    if (family == AF_INET && type == ETH_P_IP) {
        if (ip_room < IP4_HDR || ip[0] >> 4 != 4)
            return 0;
        size_t hlen = (size_t)(ip[0] & 15) * 4;
        size_t total = get16(ip + 2);
        if (hlen < IP4_HDR || total < hlen + 8 || total > ip_room)
            return 0;
        if ((get16(ip + 6) & 0x3fff) != 0 || ip[9] != IPPROTO_ICMP) /* fragment, or not ICMP */
            return 0;
        if (memcmp(ip + 16, addr, 4) != 0 || ip[hlen] != 8 || ip[hlen + 1] != 0)
            return 0;
        *icmp_off = ETH_HDR + hlen;
        *icmp_len = total - hlen;
        return 4;
    }
    if (family == AF_INET6 && type == ETH_P_IPV6) {
        if (ip_room < IP6_HDR || ip[0] >> 4 != 6)
            return 0;
        size_t plen = get16(ip + 4);
        if (plen < 8 || plen > ip_room - IP6_HDR || ip[6] != IPPROTO_ICMPV6)
            return 0;
        if (memcmp(ip + 24, addr, 16) != 0 || ip[IP6_HDR] != 128 || ip[IP6_HDR + 1] != 0)
            return 0;
        *icmp_off = ETH_HDR + IP6_HDR;
        *icmp_len = plen;
        return 6;
    }
    return 0;
}

/* The reply to a request found by echo_request(), into out; its length. */
static size_t build_reply(unsigned char *out, const unsigned char *f, int version, size_t icmp_off,
                          size_t icmp_len)
{
    const unsigned char *ip = f + ETH_HDR;
    memcpy(out, f + 6, 6);     /* to the sender */
    memcpy(out + 6, f, 6);     /* from the MAC it was sent to */
    memcpy(out + 12, f + 12, 2);
    unsigned char *rip = out + ETH_HDR;
    unsigned char *icmp;

    if (version == 4) {
        memset(rip, 0, IP4_HDR);
        rip[0] = 0x45; /* no options: the request's are not echoed */
        rip[1] = ip[1];
        put16(rip + 2, (unsigned)(IP4_HDR + icmp_len));
        memcpy(rip + 4, ip + 4, 2); /* the request's identification */
        rip[8] = 64;
        rip[9] = IPPROTO_ICMP;
        memcpy(rip + 12, ip + 16, 4);
        memcpy(rip + 16, ip + 12, 4);
        put16(rip + 10, fold(sum_bytes(0, rip, IP4_HDR)));
        icmp = rip + IP4_HDR;
        memcpy(icmp, f + icmp_off, icmp_len);
        icmp[0] = 0;
        put16(icmp + 2, 0);
        put16(icmp + 2, fold(sum_bytes(0, icmp, icmp_len)));
        return ETH_HDR + IP4_HDR + icmp_len;
    }

    memcpy(rip, ip, 4); /* version, traffic class, flow label */
    put16(rip + 4, (unsigned)icmp_len);
    rip[6] = IPPROTO_ICMPV6;
    rip[7] = 64;
    memcpy(rip + 8, ip + 24, 16);
    memcpy(rip + 24, ip + 8, 16);
    icmp = rip + IP6_HDR;
    memcpy(icmp, f + icmp_off, icmp_len);
    icmp[0] = 129;
    put16(icmp + 2, 0);
    /* Pseudo-header: source, destination, upper-layer length, next header. */
    uint32_t sum = sum_bytes(0, rip + 8, 32);
    sum += (uint32_t)(icmp_len >> 16) + (uint32_t)(icmp_len & 0xffff);
    sum += IPPROTO_ICMPV6;
    sum = sum_bytes(sum, icmp, icmp_len);
    put16(icmp + 2, fold(sum));
    return ETH_HDR + IP6_HDR + icmp_len;
}

static void log_line(int fd, const char *line, size_t len)
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

static void send_frame(int sock, int ifindex, const unsigned char *frame, size_t len)
{
    struct sockaddr_ll to;
    memset(&to, 0, sizeof to);
    to.sll_family = AF_PACKET;
    to.sll_ifindex = ifindex;
    to.sll_halen = 6;
    memcpy(to.sll_addr, frame, 6);
    if (sendto(sock, frame, len, 0, (struct sockaddr *)&to, sizeof to) < 0)
        fprintf(stderr, "%s: sending a reply: %s\n", prog, strerror(errno));
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
    uint64_t delay = 0, every = 1, loss = 0, seed = 0;
    int have_loss = 0, have_seed = 0;

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
            delay = number(a, v, 0, 3600000);
        else if (!strcmp(a, "--every"))
            every = number(a, v, 1, 1000000000);
        else if (!strcmp(a, "--loss"))
            loss = number(a, v, 0, 100), have_loss = 1;
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
    if (have_loss != have_seed)
        usage("--loss and --seed go together");

    unsigned char addr[16];
    int family = AF_INET;
    if (inet_pton(AF_INET, address, addr) != 1) {
        family = AF_INET6;
        if (inet_pton(AF_INET6, address, addr) != 1)
            usage("not an IPv4 or IPv6 address");
    }
    rng_seed(seed);

    int log_fd = open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log_fd < 0)
        die(log_path);

    int ifindex = (int)if_nametoindex(dev);
    if (!ifindex)
        die(dev);
    int sock = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
    if (sock < 0)
        die("packet socket");
    struct sockaddr_ll here;
    memset(&here, 0, sizeof here);
    here.sll_family = AF_PACKET;
    here.sll_protocol = htons(ETH_P_ALL);
    here.sll_ifindex = ifindex;
    if (bind(sock, (struct sockaddr *)&here, sizeof here) < 0)
        die("binding the packet socket");

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

    write_pid_file(pid_path);

    static unsigned char frame[MAX_FRAME];
    uint64_t seen = 0;
    while (!stopping) {
        /* Replies that are due go out first. */
        uint64_t now = now_ns();
        while (queue_head && queue_head->due_ns <= now) {
            struct pending *p = queue_head;
            queue_head = p->next;
            if (!queue_head)
                queue_tail = NULL;
            queue_len--;
            send_frame(sock, ifindex, p->frame, p->len);
            free(p);
        }

        struct timespec timeout, *tp = NULL;
        if (queue_head) {
            uint64_t wait = queue_head->due_ns - now;
            timeout.tv_sec = (time_t)(wait / 1000000000u);
            timeout.tv_nsec = (long)(wait % 1000000000u);
            tp = &timeout;
        }
        struct pollfd pfd = {.fd = sock, .events = POLLIN};
        int ready = ppoll(&pfd, 1, tp, &wait_mask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            die("poll");
        }
        if (ready == 0)
            continue;

        struct sockaddr_ll from;
        socklen_t from_len = sizeof from;
        ssize_t n = recvfrom(sock, frame, sizeof frame, MSG_DONTWAIT, (struct sockaddr *)&from, &from_len);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            die("receiving");
        }
        uint64_t arrived = now_ns();
        /* Only what came in on our device; our own replies and frames to
         * everyone are not requests for us. */
        if (from.sll_ifindex != ifindex ||
            (from.sll_pkttype != PACKET_HOST && from.sll_pkttype != PACKET_OTHERHOST))
            continue;
        size_t icmp_off, icmp_len;
        int version = echo_request(frame, (size_t)n, family, addr, &icmp_off, &icmp_len);
        if (!version)
            continue;

        seen++;
        int answer = seen % every == 0;
        /* One draw per request, whatever --every decided, so the losses
         * follow from the seed and the count of requests alone. */
        if (have_loss && rng_next() % 100 < loss)
            answer = 0;
        if (answer && queue_len >= MAX_PENDING)
            answer = 0;

        char line[96];
        int len = snprintf(line, sizeof line, "request %llu id=%u seq=%u %s\n", (unsigned long long)seen,
                           get16(frame + icmp_off + 4), get16(frame + icmp_off + 6), answer ? "reply" : "drop");
        log_line(log_fd, line, (size_t)len);
        if (!answer)
            continue;

        size_t out_len = ETH_HDR + (version == 4 ? IP4_HDR : IP6_HDR) + icmp_len;
        struct pending *p = malloc(sizeof *p + out_len);
        if (!p)
            die("queueing a reply");
        p->next = NULL;
        p->due_ns = arrived + delay * 1000000u;
        p->len = build_reply(p->frame, frame, version, icmp_off, icmp_len);
        /* The delay is the same for all, so the queue stays in order of due time. */
        if (queue_tail)
            queue_tail->next = p;
        else
            queue_head = p;
        queue_tail = p;
        queue_len++;
    }
    unlink(pid_path);
    return 0;
}
