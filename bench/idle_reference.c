/* References for the watchdog's CPU time per cycle, measured beside it.
 *
 *   idle_reference sleep   sleeps one second at a time, nothing else: what
 *                          a wake-up costs on this machine. A watchdog cycle
 *                          at interval 1 wakes from three one-second waits
 *                          (the interval, the pause after a reply and the
 *                          wait that times out).
 *   idle_reference cycle   the system calls of one watchdog cycle and
 *                          nothing else: sleep 1 s, send an echo request
 *                          to 127.0.0.1 over a raw socket, wait for the
 *                          reply, read it, append a line to a file, sleep
 *                          1 s, wait 1 s for a packet that does not come.
 *                          Like the watchdog, the socket takes only echo
 *                          replies with its own identifier.
 */
#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

enum { identifier = 0x7e11 };

static unsigned short checksum(const unsigned char* p, size_t n)
{
    unsigned long sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2)
        sum += (unsigned)(p[i] << 8 | p[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return (unsigned short)~sum;
}

static int wait_readable(int fd, long seconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    struct timeval budget = {seconds, 0};
    return select(fd + 1, &set, NULL, NULL, &budget);
}

int main(int argc, char** argv)
{
    if (argc < 2 || strcmp(argv[1], "cycle") != 0) {
        for (;;)
            sleep(1);
    }
    int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    FILE* out = fopen("/tmp/idle_reference.msg", "w");
    if (fd < 0 || !out) {
        perror("idle_reference");
        return 1;
    }
    struct icmp_filter only_replies = {~(1u << ICMP_ECHOREPLY)};
    struct sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),          /* X = IP header length */
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),           /* A = ICMP identifier */
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xffff),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    struct sock_fprog program = {sizeof code / sizeof code[0], code};
    if (setsockopt(fd, SOL_RAW, ICMP_FILTER, &only_replies, sizeof only_replies) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0) {
        perror("idle_reference");
        return 1;
    }
    struct sockaddr_in to = {0};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned char packet[64], reply[4096];
    for (unsigned short seq = 0;; ++seq) {
        sleep(1);
        memset(packet, 0, sizeof packet);
        packet[0] = 8; /* echo request */
        packet[4] = identifier >> 8;
        packet[5] = identifier & 0xff;
        packet[6] = (unsigned char)(seq >> 8);
        packet[7] = (unsigned char)seq;
        unsigned short sum = checksum(packet, sizeof packet);
        packet[2] = (unsigned char)(sum >> 8);
        packet[3] = (unsigned char)sum;
        sendto(fd, packet, sizeof packet, 0, (struct sockaddr*)&to, sizeof to);
        if (wait_readable(fd, 1) > 0 && recv(fd, reply, sizeof reply, 0) > 0) {
            fseek(out, 0, SEEK_END);
            ftell(out);
            fprintf(out, "reply %u\r", seq);
            fflush(out);
        }
        sleep(1);
        wait_readable(fd, 1);
    }
}
