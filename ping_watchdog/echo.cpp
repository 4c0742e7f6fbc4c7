// The ICMP echo exchange over the raw socket, and the result file.
#include "watchdog.h"

#include "system.h"
#include "system_io.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <sys/socket.h>

namespace {
constexpr unsigned char type_echo_reply = 0;
constexpr unsigned char type_echo_request = 8;
constexpr unsigned char type_echo_request_v6 = 128;
constexpr unsigned char type_echo_reply_v6 = 129;
// ICMP header plus the two 32-bit fields of the send time.
constexpr int reply_minimum = echo_header_length + 8;
constexpr double microseconds_per_millisecond = 1000.0;

void put_u16_msb_first(unsigned char* at, uint16_t value)
{
    at[0] = static_cast<unsigned char>(value >> 8);
    at[1] = static_cast<unsigned char>(value & 0xff);
}

uint16_t get_u16_msb_first(const unsigned char* at)
{
    return static_cast<uint16_t>((at[0] << 8) | at[1]);
}
}  // namespace

int open_result_file(watchdog_state& w, const std::string& path)
{
    w.result_path = path;
    if (path.size() > result_path_limit)
        return -1;
    w.result_file = text_file_create(path);
    return w.result_file ? 0 : -1;
}

bool empty_result_file_when_full(watchdog_state& w)
{
    if (w.result_file && text_file_size(w.result_file) > result_file_limit) {
        text_file_close(w.result_file);
        w.result_file = nullptr;
    }
    if (!w.result_file)
        w.result_file = text_file_create(w.result_path);
    return w.result_file != nullptr;
}

void write_result_text(watchdog_state& w, std::string_view text)
{
    if (w.result_file)
        text_file_write(w.result_file, text);
}

uint16_t internet_checksum(const unsigned char* bytes, int length)
{
    uint32_t sum = 0;
    int i = 0;
    for (; i + 1 < length; i += 2)
        sum += get_u16_msb_first(bytes + i);
    if (i < length)
        sum += static_cast<uint32_t>(bytes[i]) << 8;
    sum = (sum >> 16) + (sum & 0xffff);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum & 0xffff);
}

void timeval_subtract(struct timeval& a, const struct timeval& b)
{
    a.tv_sec -= b.tv_sec;
    a.tv_usec -= b.tv_usec;
}

int build_echo_request(watchdog_state& w, int32_t sequence)
{
    return build_echo_request(w, sequence, w.family);
}

int build_echo_request(watchdog_state& w, int32_t sequence, int family)
{
    unsigned char* packet = w.send_buffer;
    std::memset(packet, 0, packet_buffer_size);
    packet[0] = family == AF_INET6 ? type_echo_request_v6 : type_echo_request;
    put_u16_msb_first(packet + 4, w.identifier);
    put_u16_msb_first(packet + 6, static_cast<uint16_t>(static_cast<uint32_t>(sequence) & 0xffff));

    // The send time comes back only to us, so it keeps the machine's byte
    // order; each field is 32 bits whatever the width of time_t.
    struct timeval now {};
    clock_read(now);
    uint32_t seconds = static_cast<uint32_t>(now.tv_sec);
    uint32_t microseconds = static_cast<uint32_t>(now.tv_usec);
    std::memcpy(packet + 8, &seconds, 4);
    std::memcpy(packet + 12, &microseconds, 4);

    int length = echo_data_length + echo_header_length;
    // The ICMPv6 checksum covers the addresses of the IPv6 header as well:
    // the kernel fills it in and it stays 0 here.
    if (family != AF_INET6)
        put_u16_msb_first(packet + 2, internet_checksum(packet, length));
    return length;
}

void send_echo_request(watchdog_state& w)
{
    int length = build_echo_request(w, w.sequence_counter);
    // A request that fails to go out simply goes unanswered.
    socket_send(w.socket_fd, w.send_buffer, static_cast<size_t>(length),
                reinterpret_cast<const struct sockaddr*>(&w.target), w.target_length);
    w.sequence_counter = static_cast<int32_t>(static_cast<uint32_t>(w.sequence_counter) + 1);
    w.sent_mark = w.sequence_counter;
}

void receive_reply(watchdog_state& w)
{
    std::memset(&w.source, 0, sizeof w.source);
    long length = socket_receive(w.socket_fd, w.receive_buffer, packet_buffer_size, w.source, w.hop_limit);
    if (length < 0)
        return;
    clock_read(w.receive_time);
    if (examine_reply(w, w.receive_buffer, static_cast<int>(length)) != -1) {
        w.answered_mark = w.sent_mark;
        note_answered(w);
    }
    if (w.reply_flag == 1)
        sleep_seconds(1);
}

int icmp_offset(int family, const unsigned char* packet, int length)
{
    // An IPv4 raw socket hands over the IP header with its time to live; an
    // ICMPv6 one starts at the ICMP header, the hop limit came beside it.
    return family == AF_INET6 || length <= 0 ? 0 : (packet[0] & 0x0f) * 4;
}

int examine_reply(watchdog_state& w, const unsigned char* packet, int length)
{
    bool v6 = w.family == AF_INET6;
    int header_length = icmp_offset(w.family, packet, length);
    const unsigned char* icmp = packet + header_length;
    // Our replies carry the send time; anything shorter is not one of them.
    bool ours = length - header_length >= reply_minimum &&
                icmp[0] == (v6 ? type_echo_reply_v6 : type_echo_reply) &&
                get_u16_msb_first(icmp + 4) == w.identifier;
    if (!ours) {
        if (w.event_count == 1 && w.reply_flag == -1)
            write_timed_out(w);
        ++w.event_count;
        return -1;
    }
    if (!write_reply_record(w, w.family, packet, length))
        return 5;
    ++w.event_count;
    w.reply_flag = 1;
    return 0;
}

bool write_reply_record(watchdog_state& w, int family, const unsigned char* packet, int length)
{
    bool v6 = family == AF_INET6;
    int header_length = icmp_offset(family, packet, length);
    const unsigned char* icmp = packet + header_length;
    uint32_t sent_seconds, sent_microseconds;
    std::memcpy(&sent_seconds, icmp + 8, 4);
    std::memcpy(&sent_microseconds, icmp + 12, 4);
    struct timeval elapsed = w.receive_time;
    struct timeval sent {};
    sent.tv_sec = static_cast<time_t>(sent_seconds);
    sent.tv_usec = static_cast<suseconds_t>(sent_microseconds);
    timeval_subtract(elapsed, sent);
    double milliseconds = static_cast<double>(elapsed.tv_sec) * 1000 +
                          static_cast<double>(elapsed.tv_usec) / microseconds_per_millisecond;

    // A file that failed to reopen earlier is tried again at every reply.
    if (!empty_result_file_when_full(w))
        return false;

    char source[INET6_ADDRSTRLEN] = "";
    int ttl;
    if (v6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const struct sockaddr_in6&>(w.source).sin6_addr, source, sizeof source);
        ttl = w.hop_limit < 0 ? 0 : w.hop_limit;
    } else {
        inet_ntop(AF_INET, &reinterpret_cast<const struct sockaddr_in&>(w.source).sin_addr, source, sizeof source);
        ttl = packet[8];
    }
    char record[256];
    int size = std::snprintf(record, sizeof record, "Reply from_pw %s: bytes=%d icmp_seq_pw=%u ttl=%d time=%.3f ms \r",
                             source, length - header_length - echo_header_length,
                             static_cast<unsigned>(get_u16_msb_first(icmp + 6)), ttl, milliseconds);
    text_file_write(w.result_file, std::string_view(record, static_cast<std::size_t>(size)));
    return true;
}

void install_reply_filter(int fd, int family, uint16_t identifier)
{
    // A raw ICMP socket sees every ICMP packet the device receives; clients
    // pinging the device or other programs' replies must not count as events.
    const bool v6 = family == AF_INET6;
    if (v6) {
        struct icmp6_filter types {};
        ICMP6_FILTER_SETBLOCKALL(&types);
        ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &types);
        socket_option(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &types, sizeof types);
    } else {
        struct icmp_filter types {};
        types.data = ~(1U << ICMP_ECHOREPLY);
        socket_option(fd, SOL_RAW, ICMP_FILTER, &types, sizeof types);
    }

    // X := where the ICMP header starts: after the IP header on an IPv4
    // socket, at 0 on an ICMPv6 socket, which hands over no IP header. Then
    // the type at X and the identifier at X+4 (loaded most significant byte
    // first, as it was sent). Short packets fail the loads and are dropped.
    const struct sock_filter after_ip_header = BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0);
    const struct sock_filter at_start = BPF_STMT(BPF_LDX | BPF_IMM, 0);
    struct sock_filter code[] = {
        v6 ? at_start : after_ip_header,
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, v6 ? type_echo_reply_v6 : type_echo_reply, 0, 3),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xffffffffU),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    socket_attach_filter(fd, code, sizeof code / sizeof code[0]);

    // Whatever arrived before the filter was in place is dropped unread.
    socket_discard_pending(fd);
}

void close_watchdog(watchdog_state& w)
{
    for (int* fd : {&w.socket_fd, &w.second_socket_fd}) {
        if (*fd != -1) {
            socket_close(*fd);
            *fd = -1;
        }
    }
    if (w.result_file) {
        text_file_close(w.result_file);
        w.result_file = nullptr;
    }
}
