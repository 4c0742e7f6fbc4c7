/*
 * The request loop. --every N answers requests N, 2N, ... (counted from 1);
 * --loss drops each request with the given probability, drawn from a seeded
 * xorshift generator once per request, so a seed and an order of requests
 * give the same choices every time; --delay sends each reply MS milliseconds
 * after its request came in, while later requests go on being read and
 * queued. A request is answered when it passes --every and --loss.
 *
 * --stuck-after N answers the first N of those, then none until the
 * device's carrier has been lost and has come back (the access point set
 * its uplink down and up again); from then on it answers as before. With
 * N = 0 it is stuck from the start.
 *
 * Every request for the address is logged, one flushed line each:
 * "request N id=ID seq=SEQ reply" or "... drop"; with --stuck-after the
 * carrier's changes too (carrier.c).
 */
#define _GNU_SOURCE
#include <errno.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

#include "uplink_host.h"

struct pending {
    struct pending *next;
    uint64_t due_ns;
    size_t len;
    unsigned char frame[];
};

static struct pending *queue_head, *queue_tail;
static size_t queue_len;

static uint64_t now_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

/* xorshift64*; the seed goes through one splitmix64 step so that 0 and
 * nearby seeds give unrelated, non-zero states. */
static uint64_t rng_state;

void rng_seed(uint64_t seed)
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

void serve(const struct host *h, struct carrier *carrier, const sigset_t *wait_mask)
{
    static unsigned char frame[MAX_FRAME], out[128];
    uint64_t seen = 0, given = 0;
    /* Stuck: only a loss of carrier and its return after this point cure it. */
    int stuck = h->have_stuck && h->stuck_after == 0;
    while (!stopping) {
        /* Replies that are due go out first. */
        uint64_t now = now_ns();
        while (queue_head && queue_head->due_ns <= now) {
            struct pending *p = queue_head;
            queue_head = p->next;
            if (!queue_head)
                queue_tail = NULL;
            queue_len--;
            send_frame(h->sock, h->ifindex, p->frame, p->len);
            free(p);
        }

        struct timespec timeout, *tp = NULL;
        if (queue_head) {
            uint64_t wait = queue_head->due_ns - now;
            timeout.tv_sec = (time_t)(wait / 1000000000u);
            timeout.tv_nsec = (long)(wait % 1000000000u);
            tp = &timeout;
        }
        struct pollfd pfd[2] = {{.fd = h->sock, .events = POLLIN}};
        if (carrier)
            pfd[1] = (struct pollfd){.fd = carrier->fd, .events = POLLIN};
        int ready = ppoll(pfd, carrier ? 2 : 1, tp, wait_mask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            die("poll");
        }
        if (ready == 0)
            continue;
        /* The link's news first (whichever woke us), so a request that came
         * after the carrier returned finds the host cured. */
        if (carrier) {
            carrier_read(carrier);
            if (stuck && carrier->regained)
                stuck = 0;
        }
        if (!pfd[0].revents)
            continue;

        struct sockaddr_ll from;
        socklen_t from_len = sizeof from;
        ssize_t n = recvfrom(h->sock, frame, sizeof frame, MSG_DONTWAIT, (struct sockaddr *)&from, &from_len);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            /* The device was set down: it is bound again when it comes up. */
            if (errno == ENETDOWN) {
                fprintf(stderr, "%s: receiving: %s\n", prog, strerror(errno));
                continue;
            }
            die("receiving");
        }
        uint64_t arrived = now_ns();
        /* Only what came in on our device, not our own frames. Frames to
         * everyone may ask for our address, but are not requests for us. */
        if (from.sll_ifindex != h->ifindex || from.sll_pkttype == PACKET_OUTGOING)
            continue;
        size_t answer_len = neighbour_answer(out, frame, (size_t)n, h->family, h->addr, h->mac);
        if (answer_len) {
            send_frame(h->sock, h->ifindex, out, answer_len);
            continue;
        }
        if (from.sll_pkttype != PACKET_HOST && from.sll_pkttype != PACKET_OTHERHOST)
            continue;
        size_t icmp_off, icmp_len;
        int version = echo_request(frame, (size_t)n, h->family, h->addr, &icmp_off, &icmp_len);
        if (!version)
            continue;

        seen++;
        int answer = seen % h->every == 0;
        /* One draw per request, whatever --every decided, so the losses
         * follow from the seed and the count of requests alone. */
        if (h->have_loss && rng_next() % 100 < h->loss)
            answer = 0;
        if (answer && queue_len >= MAX_PENDING)
            answer = 0;
        if (answer && h->have_stuck) {
            if (stuck) {
                answer = 0;
            } else if (given < h->stuck_after) {
                /* After the N-th answer a bounce of the link is needed. */
                if (++given == h->stuck_after) {
                    stuck = 1;
                    carrier->lost = carrier->regained = 0;
                }
            }
        }

        char line[96];
        int len = snprintf(line, sizeof line, "request %llu id=%u seq=%u %s\n", (unsigned long long)seen,
                           get16(frame + icmp_off + 4), get16(frame + icmp_off + 6), answer ? "reply" : "drop");
        log_line(h->log_fd, line, (size_t)len);
        if (!answer)
            continue;

        size_t out_len = ETH_HDR + (version == 4 ? IP4_HDR : IP6_HDR) + icmp_len;
        struct pending *p = malloc(sizeof *p + out_len);
        if (!p)
            die("queueing a reply");
        p->next = NULL;
        p->due_ns = arrived + h->delay * 1000000u;
        p->len = build_reply(p->frame, frame, version, icmp_off, icmp_len);
        /* The delay is the same for all, so the queue stays in order of due time. */
        if (queue_tail)
            queue_tail->next = p;
        else
            queue_head = p;
        queue_tail = p;
        queue_len++;
    }
}
