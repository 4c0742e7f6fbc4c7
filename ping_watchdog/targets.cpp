// Several targets probed at once: one request to each per cycle, all with
// the cycle's sequence number, and the cycle counts as answered when enough
// different targets answered it within the one budget.
#include "watchdog.h"

#include "paths.h"
#include "run_log.h"
#include "system.h"
#include "system_io.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace {
uint16_t get_u16_msb_first(const unsigned char* at)
{
    return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

int socket_of(const watchdog_state& w, int family)
{
    return family == w.family ? w.socket_fd : w.second_socket_fd;
}

// One request to every target, back to back, with one sequence number. A
// send that fails (no route for one family) leaves that target unanswered.
void send_to_targets(watchdog_state& w)
{
    for (watch_target& t : w.targets) {
        t.answered = false;
        int length = build_echo_request(w, w.sequence_counter, t.family);
        socket_send(socket_of(w, t.family), w.send_buffer, static_cast<size_t>(length),
                    reinterpret_cast<const struct sockaddr*>(&t.address), t.address_length);
    }
    w.sequence_counter = static_cast<int32_t>(static_cast<uint32_t>(w.sequence_counter) + 1);
    w.sent_mark = w.sequence_counter;
}

// Reads one packet from the socket; 1 when it is a target's first reply in
// the cycle (then recorded), else 0.
int receive_target_reply(watchdog_state& w, int fd, int family, uint16_t sequence)
{
    std::memset(&w.source, 0, sizeof w.source);
    long length = socket_receive(fd, w.receive_buffer, packet_buffer_size, w.source, w.hop_limit);
    if (length < 0)
        return 0;
    clock_read(w.receive_time);
    int index = match_reply(w.receive_buffer, static_cast<int>(length), family, w.source, w.identifier, sequence,
                            w.targets);
    if (index < 0)
        return 0;
    w.targets[static_cast<size_t>(index)].answered = true;
    // The reply counts even when its record is lost to a result file that
    // could not be reopened.
    write_reply_record(w, family, w.receive_buffer, static_cast<int>(length));
    return 1;
}
}  // namespace

int match_reply(const unsigned char* packet, int length, int family, const struct sockaddr_storage& source,
                uint16_t identifier, uint16_t sequence, const std::vector<watch_target>& targets)
{
    int header_length = icmp_offset(family, packet, length);
    const unsigned char* icmp = packet + header_length;
    // ICMP header and the send time.
    if (length - header_length < echo_header_length + 8)
        return -1;
    if (icmp[0] != (family == AF_INET6 ? 129 : 0) || get_u16_msb_first(icmp + 4) != identifier ||
        get_u16_msb_first(icmp + 6) != sequence)
        return -1;
    for (std::size_t i = 0; i < targets.size(); ++i)
        if (!targets[i].answered && targets[i].family == family && same_host(targets[i].address, source))
            return static_cast<int>(i);
    return -1;
}

bool cycle_answered(const std::vector<watch_target>& targets, int reliability)
{
    auto answers = std::count_if(targets.begin(), targets.end(), [](const watch_target& t) { return t.answered; });
    return answers >= reliability;
}

int watch_targets_cycle(watchdog_state& w, bool first_cycle)
{
    const watchdog_settings& settings = w.settings;
    sleep_seconds(first_cycle ? settings.startup_delay : settings.interval);
    uint16_t sequence = static_cast<uint16_t>(static_cast<uint32_t>(w.sequence_counter) & 0xffff);
    send_to_targets(w);

    // The waits share the one-second budget as with one target, kept on the
    // monotonic clock; they end early once every target has answered.
    long long budget_left = wait_budget_microseconds;
    std::size_t answers = 0;
    while (answers < w.targets.size()) {
        fd_set watched;
        FD_ZERO(&watched);
        int highest_fd = -1;
        for (int fd : {w.socket_fd, w.second_socket_fd}) {
            if (fd != -1 && fd < FD_SETSIZE) {
                FD_SET(fd, &watched);
                highest_fd = std::max(highest_fd, fd);
            }
        }
        int ready = wait_within_budget(highest_fd, watched, budget_left);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            close_watchdog(w);
            return -1;
        }
        if (ready == 0)
            break;
        if (w.socket_fd != -1 && FD_ISSET(w.socket_fd, &watched))
            answers += receive_target_reply(w, w.socket_fd, w.family, sequence);
        if (w.second_socket_fd != -1 && FD_ISSET(w.second_socket_fd, &watched))
            answers += receive_target_reply(w, w.second_socket_fd, other_family(w.family), sequence);
    }

    if (cycle_answered(w.targets, settings.reliability)) {
        w.answered_mark = w.sent_mark;
        note_answered(w);
    } else {
        write_timed_out(w);
    }
    // The pause that follows an accepted reply, once for the cycle however
    // many targets answered.
    if (answers > 0)
        sleep_seconds(1);
    note_target_answers(w);
    return 0;
}

void note_target_answers(watchdog_state& w)
{
    for (watch_target& t : w.targets) {
        const char* change = nullptr;
        if (t.answered) {
            if (t.silent_cycles >= silent_cycles_to_report)
                change = " answers again";
            t.silent_cycles = 0;
        } else if (t.silent_cycles < silent_cycles_to_report && ++t.silent_cycles == silent_cycles_to_report) {
            change = " stopped answering";
        }
        if (change) {
            std::string stamp;
            time_stamp(stamp);
            append_line(log_line(stamp, "Target " + t.text + change), paths::pingwdog_log);
        }
    }
}
