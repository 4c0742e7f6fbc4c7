/*
 * A host on the simulated uplink that answers pings late, or only some of
 * them. It runs in the upstream namespace on a packet socket and answers the
 * ICMP echo requests (IPv4 and ICMPv6) for one address that no namespace owns:
 * the access point reaches that address through a static neighbour entry, and
 * no kernel answers it, so every reply is built here.
 *
 *   main.c       the command line, the socket, the pid file
 *   frames.c     reading requests and building replies, with their checksums
 *   neighbour.c  answers to ARP and neighbour solicitations for the address
 *   serve.c      the request loop: which requests are answered, and when
 *   carrier.c    the device's carrier, for --stuck-after
 *
 * Packets are read and built byte by byte, in network byte order, so nothing
 * depends on the alignment or byte order of the CPU.
 */
#ifndef UPLINK_HOST_H
#define UPLINK_HOST_H

#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#define ETH_HDR 14
#define IP4_HDR 20
#define IP6_HDR 40
#define MAX_FRAME 65536
#define MAX_PENDING 4096

extern const char *prog;
/* Set by TERM or INT. */
extern volatile sig_atomic_t stopping;

/* What the command line asked for, and what main() set up for the loop. */
struct host {
    int sock;    /* the packet socket, bound to the device */
    int ifindex; /* the device's */
    unsigned char mac[6]; /* the device's */
    int log_fd;
    int family; /* AF_INET or AF_INET6: the address's */
    unsigned char addr[16];
    uint64_t delay; /* ms */
    uint64_t every;
    int have_loss;
    uint64_t loss; /* percent */
    int have_stuck;
    uint64_t stuck_after; /* answers before it is stuck */
};

/* What carrier_read() has seen of the device's carrier. */
struct carrier {
    int fd; /* rtnetlink, in the link group */
    int ifindex;
    int log_fd;
    int known; /* a first state has come */
    int up;
    int have_counts; /* the kernel gives the carrier's up and down counts */
    uint32_t ups, downs;
    int lost;     /* set on a loss of carrier; cleared by the caller */
    int regained; /* set when it comes back after such a loss */
};

void die(const char *what);
void log_line(int fd, const char *line, size_t len);

unsigned get16(const unsigned char *p);
void put16(unsigned char *p, unsigned v);
unsigned icmp6_checksum(const unsigned char *ip6, const unsigned char *icmp, size_t len);
int echo_request(const unsigned char *f, size_t len, int family, const unsigned char *addr, size_t *icmp_off,
                 size_t *icmp_len);
size_t build_reply(unsigned char *out, const unsigned char *f, int version, size_t icmp_off, size_t icmp_len);

size_t neighbour_answer(unsigned char *out, const unsigned char *f, size_t len, int family,
                        const unsigned char *addr, const unsigned char *mac);

void carrier_open(struct carrier *c, int ifindex, int log_fd);
/* Takes in every change the kernel has told so far; never waits. */
void carrier_read(struct carrier *c);

void rng_seed(uint64_t seed);
/* Until TERM or INT, which only come while it waits (wait_mask lets them in).
 * The carrier is watched with --stuck-after, and NULL otherwise. */
void serve(const struct host *h, struct carrier *carrier, const sigset_t *wait_mask);

#endif
