/* Echo requests read from frames, replies built to them, and checksums. */
#include <net/ethernet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

#include "uplink_host.h"

unsigned get16(const unsigned char *p)
{
    return (unsigned)p[0] << 8 | p[1];
}

void put16(unsigned char *p, unsigned v)
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

/* The ICMPv6 checksum of a message whose checksum field is zero, under the
 * IPv6 header ip6 (for its addresses). */
unsigned icmp6_checksum(const unsigned char *ip6, const unsigned char *icmp, size_t len)
{
    /* Pseudo-header: source, destination, upper-layer length, next header. */
    uint32_t sum = sum_bytes(0, ip6 + 8, 32);
    sum += (uint32_t)(len >> 16) + (uint32_t)(len & 0xffff);
    sum += IPPROTO_ICMPV6;
    sum = sum_bytes(sum, icmp, len);
    return fold(sum);
}

/* An echo request for our address: the place of its ICMP message in the
 * frame and its length, and the IP version; 0 for anything else. */
int echo_request(const unsigned char *f, size_t len, int family, const unsigned char *addr,
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
size_t build_reply(unsigned char *out, const unsigned char *f, int version, size_t icmp_off,
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
    put16(icmp + 2, icmp6_checksum(rip, icmp, icmp_len));
    return ETH_HDR + IP6_HDR + icmp_len;
}
