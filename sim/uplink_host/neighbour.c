/*
 * Answers to the access point's neighbour lookups for our address: ARP
 * requests for an IPv4 address, neighbour solicitations for an IPv6 one.
 * The wrapper leads the address here with a static neighbour entry, but the
 * kernel drops such entries when the access point sets its uplink down, and
 * afterwards it can only find the host by asking.
 */
#include <net/ethernet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

#include "uplink_host.h"

#define ARP_LEN 28
#define NS_LEN 24 /* ICMPv6 type .. target address */
#define NA_LEN 32 /* the same with a target link-layer address option */

/* An ARP request for addr: the reply, from mac, into out; its length. */
static size_t arp_reply(unsigned char *out, const unsigned char *f, size_t len, const unsigned char *addr,
                        const unsigned char *mac)
{
    const unsigned char *a = f + ETH_HDR;
    if (len < ETH_HDR + ARP_LEN || get16(a) != 1 || get16(a + 2) != ETH_P_IP || a[4] != 6 || a[5] != 4 ||
        get16(a + 6) != 1 || memcmp(a + 24, addr, 4) != 0)
        return 0;
    memcpy(out, a + 8, 6);
    memcpy(out + 6, mac, 6);
    put16(out + 12, ETH_P_ARP);
    unsigned char *r = out + ETH_HDR;
    memcpy(r, a, 6);
    put16(r + 6, 2);
    memcpy(r + 8, mac, 6);
    memcpy(r + 14, addr, 4);
    memcpy(r + 18, a + 8, 10); /* the asker's hardware and protocol address */
    return ETH_HDR + ARP_LEN;
}

/* A neighbour solicitation for addr: the advertisement, from mac, into out;
 * its length. Solicitations from the unspecified address (duplicate
 * detection) are not answered. */
static size_t neighbour_advert(unsigned char *out, const unsigned char *f, size_t len, const unsigned char *addr,
                               const unsigned char *mac)
{
    static const unsigned char unspecified[16];
    const unsigned char *ip = f + ETH_HDR;
    const unsigned char *icmp = ip + IP6_HDR;
    if (len < ETH_HDR + IP6_HDR + NS_LEN || ip[0] >> 4 != 6 || ip[6] != IPPROTO_ICMPV6 || ip[7] != 255)
        return 0;
    size_t plen = get16(ip + 4);
    if (plen < NS_LEN || plen > len - ETH_HDR - IP6_HDR || icmp[0] != 135 || icmp[1] != 0 ||
        memcmp(icmp + 8, addr, 16) != 0 || memcmp(ip + 8, unspecified, 16) == 0)
        return 0;

    memcpy(out, f + 6, 6);
    memcpy(out + 6, mac, 6);
    put16(out + 12, ETH_P_IPV6);
    unsigned char *rip = out + ETH_HDR;
    memset(rip, 0, IP6_HDR);
    rip[0] = 0x60;
    put16(rip + 4, NA_LEN);
    rip[6] = IPPROTO_ICMPV6;
    rip[7] = 255;
    memcpy(rip + 8, addr, 16);
    memcpy(rip + 24, ip + 8, 16);
    unsigned char *na = rip + IP6_HDR;
    memset(na, 0, NA_LEN);
    na[0] = 136;
    na[4] = 0x60; /* solicited, override */
    memcpy(na + 8, addr, 16);
    na[24] = 2; /* target link-layer address, 8 bytes */
    na[25] = 1;
    memcpy(na + 26, mac, 6);
    put16(na + 2, icmp6_checksum(rip, na, NA_LEN));
    return ETH_HDR + IP6_HDR + NA_LEN;
}

size_t neighbour_answer(unsigned char *out, const unsigned char *f, size_t len, int family,
                        const unsigned char *addr, const unsigned char *mac)
{
    if (len < ETH_HDR)
        return 0;
    unsigned type = get16(f + 12);
    if (family == AF_INET && type == ETH_P_ARP)
        return arp_reply(out, f, len, addr, mac);
    if (family == AF_INET6 && type == ETH_P_IPV6)
        return neighbour_advert(out, f, len, addr, mac);
    return 0;
}
