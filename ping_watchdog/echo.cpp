// The ICMP echo exchange over the raw socket, and the result file.
#include "watchdog.h"

#include "system.h"

#include <cstring>
#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/icmp.h>
#include <sys/socket.h>
#include <unistd.h>

watchdog_state watchdog;

namespace {
constexpr unsigned char type_echo_reply = 0;
constexpr unsigned char type_echo_request = 8;
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

int open_result_file(const std::string& path)
{
    watchdog.result_path = path;
    if (path.size() > result_path_limit)
        return -1;
    watchdog.result_file = std::fopen(path.c_str(), "w");
    return watchdog.result_file ? 0 : -1;
}

void write_result_text(const char* text)
{
    if (!watchdog.result_file)
        return;
    std::fputs(text, watchdog.result_file);
    std::fflush(watchdog.result_file);
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

int build_echo_request(int32_t sequence)
{
    unsigned char* packet = watchdog.send_buffer;
    std::memset(packet, 0, packet_buffer_size);
    packet[0] = type_echo_request;
    put_u16_msb_first(packet + 4, watchdog.identifier);
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
    put_u16_msb_first(packet + 2, internet_checksum(packet, length));
    return length;
}

void send_echo_request()
{
    int length = build_echo_request(watchdog.sequence_counter);
    // A request that fails to go out simply goes unanswered.
    sendto(watchdog.socket_fd, watchdog.send_buffer, static_cast<size_t>(length), 0,
           reinterpret_cast<const struct sockaddr*>(&watchdog.target), sizeof watchdog.target);
    watchdog.sequence_counter = static_cast<int32_t>(static_cast<uint32_t>(watchdog.sequence_counter) + 1);
    watchdog.sent_mark = watchdog.sequence_counter;
}

void receive_reply()
{
    std::memset(&watchdog.source, 0, sizeof watchdog.source);
    socklen_t source_length = sizeof watchdog.source;
    ssize_t length = recvfrom(watchdog.socket_fd, watchdog.receive_buffer, packet_buffer_size, 0,
                              reinterpret_cast<struct sockaddr*>(&watchdog.source), &source_length);
    if (length < 0)
        return;
    clock_read(watchdog.receive_time);
    if (examine_reply(watchdog.receive_buffer, static_cast<int>(length)) != -1)
        watchdog.answered_mark = watchdog.sent_mark;
    if (watchdog.reply_flag == 1)
        sleep_seconds(1);
}

int examine_reply(const unsigned char* packet, int length)
{
    int header_length = length > 0 ? (packet[0] & 0x0f) * 4 : 0;
    const unsigned char* icmp = packet + header_length;
    // Our replies carry the send time; anything shorter is not one of them.
    bool ours = length - header_length >= reply_minimum && icmp[0] == type_echo_reply &&
                get_u16_msb_first(icmp + 4) == watchdog.identifier;
    if (!ours) {
        if (watchdog.event_count == 1 && watchdog.reply_flag == -1)
            write_result_text("Request timed out.\r");
        ++watchdog.event_count;
        return -1;
    }

    uint32_t sent_seconds, sent_microseconds;
    std::memcpy(&sent_seconds, icmp + 8, 4);
    std::memcpy(&sent_microseconds, icmp + 12, 4);
    struct timeval elapsed = watchdog.receive_time;
    struct timeval sent {};
    sent.tv_sec = static_cast<time_t>(sent_seconds);
    sent.tv_usec = static_cast<suseconds_t>(sent_microseconds);
    timeval_subtract(elapsed, sent);
    double milliseconds = static_cast<double>(elapsed.tv_sec) * 1000 +
                          static_cast<double>(elapsed.tv_usec) / microseconds_per_millisecond;

    if (watchdog.result_file) {
        std::fseek(watchdog.result_file, 0, SEEK_END);
        if (std::ftell(watchdog.result_file) > result_file_limit) {
            std::fclose(watchdog.result_file);
            watchdog.result_file = nullptr;
        }
    }
    // A file that failed to reopen earlier is tried again at every reply.
    if (!watchdog.result_file) {
        watchdog.result_file = std::fopen(watchdog.result_path.c_str(), "w");
        if (!watchdog.result_file)
            return 5;
    }

    std::fprintf(watchdog.result_file, "Reply from_pw %s: bytes=%d icmp_seq_pw=%u ttl=%d time=%.3f ms \r",
                 inet_ntoa(watchdog.source.sin_addr), length - header_length - echo_header_length,
                 static_cast<unsigned>(get_u16_msb_first(icmp + 6)), static_cast<int>(packet[8]), milliseconds);
    std::fflush(watchdog.result_file);
    ++watchdog.event_count;
    watchdog.reply_flag = 1;
    return 0;
}

void install_reply_filter(int fd, uint16_t identifier)
{
    // A raw ICMP socket sees every ICMP packet the device receives; clients
    // pinging the device or other programs' replies must not count as events.
    struct icmp_filter types {};
    types.data = ~(1U << ICMP_ECHOREPLY);
    setsockopt(fd, SOL_RAW, ICMP_FILTER, &types, sizeof types);

    // The packet starts with the IP header: X := its length, then the ICMP
    // type at X and the identifier at X+4 (loaded most significant byte
    // first, as it was sent). Short packets fail the loads and are dropped.
    struct sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, type_echo_reply, 0, 3),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xffffffffU),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    struct sock_fprog program {};
    program.len = sizeof code / sizeof code[0];
    program.filter = code;
    setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);

    // Whatever arrived before the filter was in place is dropped unread.
    unsigned char scratch[64];
    while (recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) >= 0) {
    }
}

void close_watchdog()
{
    if (watchdog.socket_fd != -1) {
        close(watchdog.socket_fd);
        watchdog.socket_fd = -1;
    }
    if (watchdog.result_file) {
        std::fclose(watchdog.result_file);
        watchdog.result_file = nullptr;
    }
}
