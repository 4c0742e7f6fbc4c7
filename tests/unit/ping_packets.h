// Crafted packets as a raw ICMP socket delivers them, for the ping
// watchdog's tests, and what those tests share: the records the watchdog
// writes and the fixture of the echo exchange.
#pragma once

#include "fake_system.h"
#include "system_io.h"
#include "watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

namespace ping_test {

struct packet_spec {
    int header_length = 20;
    uint8_t type = 0;
    uint16_t identifier = 0x4242;
    uint16_t sequence = 0;
    uint8_t ttl = 64;
    uint32_t sent_seconds = 10;
    uint32_t sent_microseconds = 900000;
    int data_length = 56;  // bytes after the 8-byte ICMP header
};

// IPv4 header (version 4, the given length, ttl at byte 8) then the ICMP
// message with identifier and sequence most significant byte first and the
// send time in the machine's byte order, as the watchdog wrote it.
inline std::vector<unsigned char> make_packet(const packet_spec& p)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(p.header_length + 8 + p.data_length), 0);
    // No IP header (header_length 0): an ICMPv6 message as its socket hands it over.
    if (p.header_length >= 20) {
        bytes[0] = static_cast<unsigned char>(0x40 | (p.header_length / 4));
        bytes[8] = p.ttl;
    }
    unsigned char* icmp = bytes.data() + p.header_length;
    icmp[0] = p.type;
    icmp[4] = static_cast<unsigned char>(p.identifier >> 8);
    icmp[5] = static_cast<unsigned char>(p.identifier & 0xff);
    icmp[6] = static_cast<unsigned char>(p.sequence >> 8);
    icmp[7] = static_cast<unsigned char>(p.sequence & 0xff);
    unsigned char time_bytes[8];
    std::memcpy(time_bytes, &p.sent_seconds, 4);
    std::memcpy(time_bytes + 4, &p.sent_microseconds, 4);
    std::memcpy(icmp + 8, time_bytes, static_cast<size_t>(std::min(8, std::max(0, p.data_length))));
    return bytes;
}

// The default packet with one change.
inline packet_spec with(const std::function<void(packet_spec&)>& change)
{
    packet_spec p;
    change(p);
    return p;
}

// An ICMPv6 message as the raw socket hands it over: no IP header.
inline std::vector<unsigned char> icmpv6(packet_spec p)
{
    p.header_length = 0;
    return make_packet(p);
}

// The record of a cycle without an answer, and the result file's last
// words before a reboot.
inline const std::string timed_out = "Request timed out.\r";
inline const std::string reboot_notice = "It will be reboot  after 3 seconds!!!";

// The result file of a test's watchdog record, as the fake holds it.
constexpr const char* result_path = "/var/webspingwatchdog.msg";

// A fake packet from the given source with the given bytes.
inline fake::packet from(const std::string& source, const std::vector<unsigned char>& bytes, int hop_limit = -1)
{
    fake::packet p;
    p.bytes = bytes;
    p.source = source;
    p.hop_limit = hop_limit;
    return p;
}

// A datagram socket pair on which the test attaches the watchdog's filter
// program: the test writes packets into one end and reads what the kernel
// lets through at the other.
struct packet_pipe {
    int ends[2] = {-1, -1};
    packet_pipe() { socketpair(AF_UNIX, SOCK_DGRAM, 0, ends); }
    ~packet_pipe()
    {
        for (int fd : ends)
            if (fd != -1)
                close(fd);
    }
    int reading_end() const { return ends[0]; }
    bool attach(const std::vector<struct sock_filter>& code) const
    {
        struct sock_fprog program {};
        program.len = static_cast<unsigned short>(code.size());
        program.filter = const_cast<struct sock_filter*>(code.data());
        return setsockopt(ends[0], SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
    }
    // What the kernel let through, in order.
    std::vector<std::vector<unsigned char>> arrived() const
    {
        std::vector<std::vector<unsigned char>> out;
        unsigned char buffer[256];
        ssize_t n;
        while ((n = recv(ends[0], buffer, sizeof buffer, MSG_DONTWAIT)) >= 0)
            out.emplace_back(buffer, buffer + n);
        return out;
    }
    bool push(const std::vector<unsigned char>& packet) const
    {
        return send(ends[1], packet.data(), packet.size(), MSG_DONTWAIT) == static_cast<ssize_t>(packet.size());
    }
};

// A fresh fake and a watchdog record with its result file open, for the
// echo exchange's tests.
class echo_exchange : public ::testing::Test {
protected:
    watchdog_state w;
    void SetUp() override
    {
        fake::reset();
        w.identifier = 0x4242;
        ASSERT_EQ(open_result_file(w, result_path), 0);
    }
    void TearDown() override { close_watchdog(w); }
    std::string result() const { return fake::file_text(result_path); }
    // The socket the fake hands out, as start_watchdog would open it.
    void open_socket() { w.socket_fd = raw_socket_open(AF_INET, 1); }
};

}  // namespace ping_test
