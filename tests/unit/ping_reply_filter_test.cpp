// The kernel filter on the watchdog's socket, run by the kernel on a socket
// of the test's own.
#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <linux/icmp.h>
#include <netinet/icmp6.h>

namespace {

using namespace ping_test;

using ping_echo = ping_test::echo_exchange;

TEST_F(ping_echo, filter_lets_only_our_echo_replies_through)
{
    open_socket();
    fake::deliver(from("127.0.0.1", make_packet({})));
    install_reply_filter(w.socket_fd, AF_INET, 0x4242);
    // Queued before the filter: dropped when it is installed.
    EXPECT_EQ(fake::discards(), 1);
    EXPECT_EQ(fake::queued_packets(), 0u);
    ASSERT_EQ(fake::socket_options().size(), 1u);
    EXPECT_EQ(fake::socket_options()[0].level, SOL_RAW);
    EXPECT_EQ(fake::socket_options()[0].name, ICMP_FILTER);
    EXPECT_EQ(fake::filtered_socket(), w.socket_fd);

    // The program as the kernel runs it, on a socket of the test's own.
    ping_test::packet_pipe pipe;
    ASSERT_TRUE(pipe.attach(fake::attached_filter()));
    auto ours = make_packet(with([](packet_spec& p) { p.sequence = 1; }));
    auto ours_with_options = make_packet(with([](packet_spec& p) { p.header_length = 28; p.sequence = 2; }));
    ASSERT_TRUE(pipe.push(make_packet(with([](packet_spec& p) { p.type = 8; }))));          // a client pings us
    ASSERT_TRUE(pipe.push(make_packet(with([](packet_spec& p) { p.identifier = 0x4243; }))));  // another ping
    ASSERT_TRUE(pipe.push(ours));
    ASSERT_TRUE(pipe.push(make_packet(with([](packet_spec& p) { p.identifier = 0x4200; }))));
    ASSERT_TRUE(pipe.push(std::vector<unsigned char>{0x45, 0, 0}));  // truncated
    ASSERT_TRUE(pipe.push(ours_with_options));

    auto arrived = pipe.arrived();
    EXPECT_EQ(errno, EAGAIN);
    ASSERT_EQ(arrived.size(), 2u);
    EXPECT_EQ(arrived[0], ours);
    EXPECT_EQ(arrived[1], ours_with_options);
}

TEST_F(ping_echo, icmpv6_filter_lets_only_our_echo_replies_through)
{
    w.family = AF_INET6;
    open_socket();
    install_reply_filter(w.socket_fd, AF_INET6, 0x4242);
    ASSERT_EQ(fake::socket_options().size(), 1u);
    EXPECT_EQ(fake::socket_options()[0].level, IPPROTO_ICMPV6);
    EXPECT_EQ(fake::socket_options()[0].name, ICMP6_FILTER);
    EXPECT_EQ(fake::discards(), 1);

    ping_test::packet_pipe pipe;
    ASSERT_TRUE(pipe.attach(fake::attached_filter()));
    auto ours = icmpv6(with([](packet_spec& p) { p.type = 129; p.sequence = 1; }));
    auto ours_short = icmpv6(with([](packet_spec& p) { p.type = 129; p.data_length = 0; }));
    ASSERT_TRUE(pipe.push(icmpv6(with([](packet_spec& p) { p.type = 128; }))));                      // a request
    ASSERT_TRUE(pipe.push(icmpv6(with([](packet_spec& p) { p.type = 129; p.identifier = 0x4243; }))));  // another ping
    ASSERT_TRUE(pipe.push(ours));
    ASSERT_TRUE(pipe.push(make_packet(with([](packet_spec& p) { p.sequence = 2; }))));  // with an IPv4 header
    ASSERT_TRUE(pipe.push(std::vector<unsigned char>{129, 0, 0, 0, 0x42}));           // truncated
    ASSERT_TRUE(pipe.push(ours_short));
    auto arrived = pipe.arrived();
    ASSERT_EQ(arrived.size(), 2u);
    EXPECT_EQ(arrived[0], ours);
    // Too short for the send time, but the kernel need not know: the
    // examination refuses it.
    EXPECT_EQ(arrived[1], ours_short);
}

}  // namespace
