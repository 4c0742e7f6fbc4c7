/*
 * The carrier of our device, watched over rtnetlink: the kernel tells every
 * change of a link to the RTMGRP_LINK group, so nothing is polled and a link
 * set down and up again in quick succession is not missed. The kernel may
 * fold both changes into one message, but the carrier's up and down counts
 * in it still show them. Each change is logged: "carrier down",
 * "carrier up".
 */
#include <errno.h>
#include <linux/if.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include "uplink_host.h"

/* Asks for the device's state now; the answer comes as a RTM_NEWLINK. */
static void ask(const struct carrier *c)
{
    struct {
        struct nlmsghdr nh;
        struct ifinfomsg ifi;
    } req;
    memset(&req, 0, sizeof req);
    req.nh.nlmsg_len = sizeof req;
    req.nh.nlmsg_type = RTM_GETLINK;
    req.nh.nlmsg_flags = NLM_F_REQUEST;
    req.ifi.ifi_family = AF_UNSPEC;
    req.ifi.ifi_index = c->ifindex;
    struct sockaddr_nl kernel = {.nl_family = AF_NETLINK};
    if (sendto(c->fd, &req, sizeof req, 0, (struct sockaddr *)&kernel, sizeof kernel) < 0)
        die("asking for the link's state");
}

static void note(const struct carrier *c, const char *line)
{
    log_line(c->log_fd, line, strlen(line));
}

/* One RTM_NEWLINK of our device. */
static void link_message(struct carrier *c, const struct ifinfomsg *ifi, size_t len)
{
    int up = (ifi->ifi_flags & IFF_LOWER_UP) != 0;
    int have_counts = 0;
    uint32_t ups = 0, downs = 0;
    for (const struct rtattr *rta = IFLA_RTA(ifi); RTA_OK(rta, len); rta = RTA_NEXT(rta, len)) {
        if (rta->rta_type == IFLA_CARRIER_UP_COUNT && RTA_PAYLOAD(rta) >= 4)
            memcpy(&ups, RTA_DATA(rta), 4), have_counts |= 1;
        else if (rta->rta_type == IFLA_CARRIER_DOWN_COUNT && RTA_PAYLOAD(rta) >= 4)
            memcpy(&downs, RTA_DATA(rta), 4), have_counts |= 2;
    }
    have_counts = have_counts == 3;

    if (c->known) {
        int went_down, came_up;
        if (have_counts && c->have_counts) {
            went_down = downs != c->downs;
            came_up = ups != c->ups;
        } else {
            went_down = c->up && !up;
            came_up = !c->up && up;
        }
        /* The lines end in the state the link is in now. */
        if (up) {
            if (went_down) {
                note(c, "carrier down\n");
                c->lost = 1;
            }
            if (went_down || came_up) {
                note(c, "carrier up\n");
                if (c->lost)
                    c->regained = 1;
            }
        } else if (went_down || came_up) {
            if (came_up)
                note(c, "carrier up\n");
            note(c, "carrier down\n");
            c->lost = 1;
        }
    }
    c->known = 1;
    c->up = up;
    c->have_counts = have_counts;
    c->ups = ups;
    c->downs = downs;
}

void carrier_open(struct carrier *c, int ifindex, int log_fd)
{
    memset(c, 0, sizeof *c);
    c->ifindex = ifindex;
    c->log_fd = log_fd;
    c->fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (c->fd < 0)
        die("rtnetlink socket");
    struct sockaddr_nl here = {.nl_family = AF_NETLINK, .nl_groups = RTMGRP_LINK};
    if (bind(c->fd, (struct sockaddr *)&here, sizeof here) < 0)
        die("binding the rtnetlink socket");
    /* The kernel answers before sendto() returns, so the state is known
     * once this has been read. */
    ask(c);
    carrier_read(c);
    if (!c->known) {
        errno = EPROTO;
        die("reading the link's state");
    }
}

void carrier_read(struct carrier *c)
{
    static unsigned char buf[65536];
    for (;;) {
        ssize_t n = recv(c->fd, buf, sizeof buf, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS) {
                /* Messages were lost: the counts in a fresh answer tell
                 * what happened meanwhile. */
                ask(c);
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            die("reading rtnetlink");
        }
        size_t len = (size_t)n;
        for (const struct nlmsghdr *nh = (const struct nlmsghdr *)buf; NLMSG_OK(nh, len);
             nh = NLMSG_NEXT(nh, len)) {
            if (nh->nlmsg_type != RTM_NEWLINK || nh->nlmsg_len < NLMSG_LENGTH(sizeof(struct ifinfomsg)))
                continue;
            const struct ifinfomsg *ifi = NLMSG_DATA(nh);
            if (ifi->ifi_index == c->ifindex)
                link_message(c, ifi, nh->nlmsg_len - NLMSG_LENGTH(sizeof *ifi));
        }
    }
}
