#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"
#include "system_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <arpa/inet.h>

namespace {

using namespace ping_test;

using ping_echo = ping_test::echo_exchange;

// ---- checksum ----

struct checksum_case {
    std::vector<unsigned char> bytes;
    uint16_t expected;
};

class ping_checksum : public ::testing::TestWithParam<checksum_case> {};

TEST_P(ping_checksum, matches_rfc_1071)
{
    const auto& c = GetParam();
    EXPECT_EQ(internet_checksum(c.bytes.data(), static_cast<int>(c.bytes.size())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    examples, ping_checksum,
    ::testing::Values(
        // The worked example of RFC 1071: one's complement sum ddf2.
        checksum_case{{0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}, 0x220d},
        // Odd length: the last byte is the high half of a final word.
        checksum_case{{0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6}, 0x2304},
        checksum_case{{0x01}, 0xfeff},
        checksum_case{{}, 0xffff},
        // Carries are folded back in.
        checksum_case{{0xff, 0xff, 0xff, 0xff}, 0x0000},
        checksum_case{{0xff, 0xff, 0x00, 0x02}, 0xfffd},
        checksum_case{{0x80, 0x00, 0x80, 0x00, 0x80, 0x00}, 0x7ffe}));

TEST(ping_checksum_property, message_with_its_checksum_verifies_to_zero)
{
    std::vector<unsigned char> bytes = {0x08, 0x00, 0x00, 0x00, 0x12, 0x34, 0xab, 0xcd, 0x99};
    uint16_t sum = internet_checksum(bytes.data(), static_cast<int>(bytes.size()));
    bytes[2] = static_cast<unsigned char>(sum >> 8);
    bytes[3] = static_cast<unsigned char>(sum & 0xff);
    EXPECT_EQ(internet_checksum(bytes.data(), static_cast<int>(bytes.size())), 0);
}

// ---- the request ----

TEST_F(ping_echo, request_is_64_bytes_in_network_order_with_host_order_send_time)
{
    w.identifier = 0x1234;
    fake::set_clock(0x01020304, 0x000a0b0c);
    std::memset(w.send_buffer, 0xee, packet_buffer_size);
    ASSERT_EQ(build_echo_request(w, 0x15678), 64);

    const unsigned char* p = w.send_buffer;
    EXPECT_EQ(p[0], 8);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[4], 0x12);
    EXPECT_EQ(p[5], 0x34);
    EXPECT_EQ(p[6], 0x56);
    EXPECT_EQ(p[7], 0x78);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    const unsigned char time_bytes[8] = {0x01, 0x02, 0x03, 0x04, 0x00, 0x0a, 0x0b, 0x0c};
#else
    const unsigned char time_bytes[8] = {0x04, 0x03, 0x02, 0x01, 0x0c, 0x0b, 0x0a, 0x00};
#endif
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(p[8 + i], time_bytes[i]) << "byte " << 8 + i;
    for (size_t i = 16; i < packet_buffer_size; ++i)
        ASSERT_EQ(p[i], 0) << "byte " << i;
    EXPECT_EQ(internet_checksum(p, 64), 0) << "checksum must verify";
    EXPECT_NE(p[2] | p[3], 0);
}

TEST_F(ping_echo, icmpv6_request_is_type_128_with_the_checksum_left_to_the_kernel)
{
    w.family = AF_INET6;
    w.identifier = 0xfe01;
    fake::set_clock(0x01020304, 0x000a0b0c);
    std::memset(w.send_buffer, 0xee, packet_buffer_size);
    ASSERT_EQ(build_echo_request(w, 0x10203), 64);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    const std::vector<unsigned char> head = {128, 0, 0, 0, 0xfe, 0x01, 0x02, 0x03,
                                             0x01, 0x02, 0x03, 0x04, 0x00, 0x0a, 0x0b, 0x0c};
#else
    const std::vector<unsigned char> head = {128, 0, 0, 0, 0xfe, 0x01, 0x02, 0x03,
                                             0x04, 0x03, 0x02, 0x01, 0x0c, 0x0b, 0x0a, 0x00};
#endif
    EXPECT_EQ(std::vector<unsigned char>(w.send_buffer, w.send_buffer + 16), head);
    for (size_t i = 16; i < packet_buffer_size; ++i)
        ASSERT_EQ(w.send_buffer[i], 0) << "byte " << i;

    w.socket_fd = raw_socket_open(AF_INET6, IPPROTO_ICMPV6);
    ASSERT_TRUE(convert_target(w, "2001:db8::7", AF_INET6));
    send_echo_request(w);
    ASSERT_EQ(fake::sent().size(), 1u);
    EXPECT_EQ(fake::sent()[0].destination, "2001:db8::7");
    EXPECT_EQ(fake::sent()[0].bytes.size(), 64u);
    EXPECT_EQ(fake::sent()[0].bytes[0], 128);
}

TEST_F(ping_echo, sequence_starts_at_zero_and_wraps_at_65536)
{
    w.socket_fd = -1;  // the send fails; the request still counts
    send_echo_request(w);
    EXPECT_EQ(w.send_buffer[6], 0);
    EXPECT_EQ(w.send_buffer[7], 0);
    EXPECT_EQ(w.sequence_counter, 1);
    EXPECT_EQ(w.sent_mark, 1);

    w.sequence_counter = 65535;
    send_echo_request(w);
    EXPECT_EQ(w.send_buffer[6], 0xff);
    EXPECT_EQ(w.send_buffer[7], 0xff);
    send_echo_request(w);
    EXPECT_EQ(w.send_buffer[6], 0);
    EXPECT_EQ(w.send_buffer[7], 0);
    EXPECT_EQ(w.sequence_counter, 65537);
    EXPECT_EQ(w.sent_mark, 65537);
}

// ---- examine_reply ----

struct reply_case {
    const char* name;
    packet_spec packet;
    int cut;  // bytes taken off the end of the packet
    int expected_result;
    const char* expected_record;  // nullptr: no reply record
};

class ping_examine : public ping_echo, public ::testing::WithParamInterface<reply_case> {};

TEST_P(ping_examine, accepts_only_our_echo_replies)
{
    const auto& c = GetParam();
    auto packet = make_packet(c.packet);
    packet.resize(packet.size() - static_cast<size_t>(c.cut));
    w.receive_time = {11, 100000};
    auto& source = reinterpret_cast<struct sockaddr_in&>(w.source);
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = inet_addr("192.168.1.20");
    w.event_count = 0;
    w.reply_flag = -1;

    EXPECT_EQ(examine_reply(w, packet.data(), static_cast<int>(packet.size())), c.expected_result);
    EXPECT_EQ(w.event_count, 1);
    EXPECT_EQ(w.reply_flag, c.expected_record ? 1 : -1);
    EXPECT_EQ(result(), c.expected_record ? c.expected_record : "");
}

INSTANTIATE_TEST_SUITE_P(
    packets, ping_examine,
    ::testing::Values(
        reply_case{"full_reply", {}, 0, 0,
                   "Reply from_pw 192.168.1.20: bytes=56 icmp_seq_pw=0 ttl=64 time=200.000 ms \r"},
        reply_case{"ip_options", with([](packet_spec& p) { p.header_length = 24; p.sequence = 7; }), 0, 0,
                   "Reply from_pw 192.168.1.20: bytes=56 icmp_seq_pw=7 ttl=64 time=200.000 ms \r"},
        reply_case{"longest_header", with([](packet_spec& p) { p.header_length = 60; }), 0, 0,
                   "Reply from_pw 192.168.1.20: bytes=56 icmp_seq_pw=0 ttl=64 time=200.000 ms \r"},
        reply_case{"high_ttl_and_sequence", with([](packet_spec& p) { p.ttl = 255; p.sequence = 65535; }), 0, 0,
                   "Reply from_pw 192.168.1.20: bytes=56 icmp_seq_pw=65535 ttl=255 time=200.000 ms \r"},
        reply_case{"whole_seconds", with([](packet_spec& p) { p.sent_seconds = 8; p.sent_microseconds = 100000; }),
                   0, 0, "Reply from_pw 192.168.1.20: bytes=56 icmp_seq_pw=0 ttl=64 time=3000.000 ms \r"},
        reply_case{"send_time_only", with([](packet_spec& p) { p.data_length = 8; }), 0, 0,
                   "Reply from_pw 192.168.1.20: bytes=8 icmp_seq_pw=0 ttl=64 time=200.000 ms \r"},
        reply_case{"no_room_for_send_time", with([](packet_spec& p) { p.data_length = 7; }), 0, -1, nullptr},
        reply_case{"header_only", with([](packet_spec& p) { p.data_length = 0; }), 0, -1, nullptr},
        reply_case{"shorter_than_header", with([](packet_spec& p) { p.data_length = 0; }), 1, -1, nullptr},
        reply_case{"header_longer_than_packet", with([](packet_spec& p) { p.header_length = 60; p.data_length = 0; }),
                   40, -1, nullptr},
        reply_case{"echo_request", with([](packet_spec& p) { p.type = 8; }), 0, -1, nullptr},
        reply_case{"unreachable", with([](packet_spec& p) { p.type = 3; }), 0, -1, nullptr},
        reply_case{"other_identifier", with([](packet_spec& p) { p.identifier = 0x4243; }), 0, -1, nullptr},
        reply_case{"swapped_identifier", with([](packet_spec& p) { p.identifier = 0x4242 ^ 0x0100; }), 0, -1,
                   nullptr}),
    [](const ::testing::TestParamInfo<reply_case>& info) { return info.param.name; });

struct reply6_case {
    const char* name;
    packet_spec packet;
    int cut;
    int hop_limit;
    const char* expected_record;  // nullptr: not accepted
};

class ping_examine6 : public ping_echo, public ::testing::WithParamInterface<reply6_case> {};

TEST_P(ping_examine6, accepts_only_our_icmpv6_echo_replies)
{
    const auto& c = GetParam();
    w.family = AF_INET6;
    open_socket();
    auto packet = icmpv6(c.packet);
    packet.resize(packet.size() - static_cast<size_t>(c.cut));
    fake::deliver(from("fe80::1:2", packet, c.hop_limit));
    fake::set_clock(11, 100000);
    w.event_count = 0;
    w.sent_mark = 4;
    receive_reply(w);
    EXPECT_EQ(w.event_count, 1);
    EXPECT_EQ(w.answered_mark, c.expected_record ? 4 : 0);
    EXPECT_EQ(result(), c.expected_record ? c.expected_record : "");
}

INSTANTIATE_TEST_SUITE_P(
    packets, ping_examine6,
    ::testing::Values(
        reply6_case{"full_reply", with([](packet_spec& p) { p.type = 129; p.sequence = 7; }), 0, 64,
                    "Reply from_pw fe80::1:2: bytes=56 icmp_seq_pw=7 ttl=64 time=200.000 ms \r"},
        reply6_case{"hop_limit_255", with([](packet_spec& p) { p.type = 129; }), 0, 255,
                    "Reply from_pw fe80::1:2: bytes=56 icmp_seq_pw=0 ttl=255 time=200.000 ms \r"},
        reply6_case{"hop_limit_1", with([](packet_spec& p) { p.type = 129; }), 0, 1,
                    "Reply from_pw fe80::1:2: bytes=56 icmp_seq_pw=0 ttl=1 time=200.000 ms \r"},
        reply6_case{"send_time_only", with([](packet_spec& p) { p.type = 129; p.data_length = 8; }), 0, 64,
                    "Reply from_pw fe80::1:2: bytes=8 icmp_seq_pw=0 ttl=64 time=200.000 ms \r"},
        reply6_case{"one_byte_short", with([](packet_spec& p) { p.type = 129; p.data_length = 8; }), 1, 64, nullptr},
        reply6_case{"header_only", with([](packet_spec& p) { p.type = 129; p.data_length = 0; }), 0, 64, nullptr},
        reply6_case{"three_bytes", with([](packet_spec& p) { p.type = 129; p.data_length = 0; }), 5, 64, nullptr},
        reply6_case{"empty", with([](packet_spec& p) { p.type = 129; p.data_length = 0; }), 8, 64, nullptr},
        reply6_case{"our_own_request", with([](packet_spec& p) { p.type = 128; }), 0, 64, nullptr},
        reply6_case{"ipv4_reply_type", with([](packet_spec& p) { p.type = 0; }), 0, 64, nullptr},
        reply6_case{"other_identifier", with([](packet_spec& p) { p.type = 129; p.identifier = 0x4243; }), 0, 64,
                    nullptr},
        reply6_case{"swapped_identifier", with([](packet_spec& p) { p.type = 129; p.identifier = 0x4242 ^ 0x0100; }),
                    0, 64, nullptr}),
    [](const ::testing::TestParamInfo<reply6_case>& info) { return info.param.name; });

TEST_F(ping_echo, empty_read_is_not_a_reply)
{
    unsigned char nothing[1] = {0x45};
    EXPECT_EQ(examine_reply(w, nothing, 0), -1);
    EXPECT_EQ(w.event_count, 1);
}

struct timed_out_case {
    int event_count;
    int reply_flag;
    bool written;
};

class ping_foreign_packet : public ping_echo, public ::testing::WithParamInterface<timed_out_case> {};

TEST_P(ping_foreign_packet, writes_timed_out_only_as_second_event_without_reply)
{
    const auto& c = GetParam();
    w.event_count = c.event_count;
    w.reply_flag = c.reply_flag;
    auto packet = make_packet(with([](packet_spec& p) { p.type = 8; }));
    EXPECT_EQ(examine_reply(w, packet.data(), static_cast<int>(packet.size())), -1);
    EXPECT_EQ(w.event_count, c.event_count + 1);
    EXPECT_EQ(result(), c.written ? "Request timed out.\r" : "");
}

INSTANTIATE_TEST_SUITE_P(events, ping_foreign_packet,
                         ::testing::Values(timed_out_case{0, -1, false}, timed_out_case{1, -1, true},
                                           timed_out_case{1, 1, false}, timed_out_case{2, -1, false}));

// ---- receive_reply ----

TEST_F(ping_echo, accepted_reply_moves_answered_mark_and_pauses_one_second)
{
    open_socket();
    w.sent_mark = 9;
    w.answered_mark = 3;
    fake::set_clock(11, 100000);
    fake::deliver(from("127.0.0.1", make_packet({})));
    receive_reply(w);
    EXPECT_EQ(w.answered_mark, 9);
    EXPECT_EQ(w.reply_flag, 1);
    EXPECT_EQ(fake::sleeps(), std::vector<long long>{1000});
    EXPECT_EQ(result(), "Reply from_pw 127.0.0.1: bytes=56 icmp_seq_pw=0 ttl=64 time=200.000 ms \r");

    // A later foreign packet of the same cycle pauses as well, but answers nothing.
    w.sent_mark = 10;
    fake::deliver(from("127.0.0.1", make_packet(with([](packet_spec& p) { p.identifier = 1; }))));
    receive_reply(w);
    EXPECT_EQ(w.answered_mark, 9);
    EXPECT_EQ(fake::sleeps(), (std::vector<long long>{1000, 1000}));
}

TEST_F(ping_echo, request_goes_to_the_target)
{
    open_socket();
    ASSERT_TRUE(convert_target(w, "10.9.8.7", AF_INET));
    fake::set_clock(0x01020304, 0x000a0b0c);
    send_echo_request(w);
    ASSERT_EQ(fake::sent().size(), 1u);
    EXPECT_EQ(fake::sent()[0].destination, "10.9.8.7");
    EXPECT_EQ(fake::sent()[0].bytes, std::vector<unsigned char>(w.send_buffer, w.send_buffer + 64));
}

TEST_F(ping_echo, failed_read_has_no_effect)
{
    open_socket();  // nothing queued: the read fails
    w.reply_flag = 1;
    receive_reply(w);
    EXPECT_EQ(w.event_count, 0);
    EXPECT_TRUE(fake::sleeps().empty());
}

TEST_F(ping_echo, timeval_subtract_does_not_carry)
{
    struct timeval a = {11, 100000};
    timeval_subtract(a, {10, 900000});
    EXPECT_EQ(a.tv_sec, 1);
    EXPECT_EQ(a.tv_usec, -800000);
}

}  // namespace
