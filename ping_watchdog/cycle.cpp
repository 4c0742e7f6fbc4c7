// One watch cycle: sleep, send, wait for the replies within the cycle's
// budget, and decide whether the cycle was answered.
//
// The plain cycle (one target, the one-second budget, one request) counts
// any echo reply of this process, a late one of an earlier cycle included,
// and ends after two events: a packet read or the budget spent. Its records,
// pauses and failure count are the watchdog's long-standing ones.
//
// Every other cycle (several targets, a longer budget, several tries) counts
// per target: a target answers the cycle with its first reply to one of the
// cycle's requests to it; a silent target gets its next try every
// budget / tries; the waits end once every target answered or the budget is
// spent, and the pause after replies comes once, at the end.
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
constexpr long long microseconds_per_second = 1000000;

uint16_t get_u16_msb_first(const unsigned char* at)
{
    return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

uint16_t low16(int32_t value)
{
    return static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xffff);
}

bool plain_cycle(const watchdog_state& w)
{
    return w.targets.size() <= 1 && w.settings.timeout == 1 && w.settings.tries == 1;
}

int socket_of(const watchdog_state& w, int family)
{
    return family == w.family ? w.socket_fd : w.second_socket_fd;
}

// One request to every target that has not answered yet, back to back, all
// with the next sequence number. A send that fails (no route for one family)
// is simply no answer from that target.
void send_try(watchdog_state& w)
{
    for (watch_target& t : w.targets) {
        if (t.answered)
            continue;
        int length = build_echo_request(w, w.sequence_counter, t.family);
        socket_send(socket_of(w, t.family), w.send_buffer, static_cast<size_t>(length),
                    reinterpret_cast<const struct sockaddr*>(&t.address), t.address_length);
        ++t.tries;
    }
    w.sequence_counter = static_cast<int32_t>(static_cast<uint32_t>(w.sequence_counter) + 1);
}

// Reads one packet from the socket; 1 when it is a target's first reply in
// the cycle (then recorded), else 0.
int receive_target_reply(watchdog_state& w, int fd, int family)
{
    std::memset(&w.source, 0, sizeof w.source);
    long length = socket_receive(fd, w.receive_buffer, packet_buffer_size, w.source, w.hop_limit);
    if (length < 0)
        return 0;
    clock_read(w.receive_time);
    int index = match_reply(w.receive_buffer, static_cast<int>(length), family, w.source, w.identifier,
                            w.cycle_sequence, w.targets);
    if (index < 0)
        return 0;
    w.targets[static_cast<size_t>(index)].answered = true;
    // The reply counts even when its record is lost to a result file that
    // could not be reopened.
    write_reply_record(w, family, w.receive_buffer, static_cast<int>(length));
    return 1;
}

// The sockets to wait on, raising the highest descriptor to theirs.
void watched_sockets(const watchdog_state& w, fd_set& watched, int& highest_fd)
{
    FD_ZERO(&watched);
    for (int fd : {w.socket_fd, w.second_socket_fd}) {
        if (fd != -1 && fd < FD_SETSIZE) {
            FD_SET(fd, &watched);
            highest_fd = std::max(highest_fd, fd);
        }
    }
}

void start_cycle(watchdog_state& w)
{
    if (plain_cycle(w)) {
        send_echo_request(w);
        w.reply_flag = -1;
        w.event_count = 0;
        return;
    }
    w.cycle_sequence = low16(w.sequence_counter);
    for (watch_target& t : w.targets) {
        t.answered = false;
        t.tries = 0;
    }
    send_try(w);
    // The failure count counts cycles, whatever the number of tries.
    w.sent_mark = static_cast<int32_t>(static_cast<uint32_t>(w.sent_mark) + 1);
}

std::size_t answers_in_cycle(const std::vector<watch_target>& targets)
{
    return static_cast<std::size_t>(
        std::count_if(targets.begin(), targets.end(), [](const watch_target& t) { return t.answered; }));
}

void finish_cycle(watchdog_state& w)
{
    if (plain_cycle(w))
        return;
    if (cycle_answered(w.targets, w.settings.reliability)) {
        w.answered_mark = w.sent_mark;
        note_answered(w);
    } else {
        write_timed_out(w);
    }
    // The pause that follows an accepted reply, once for the cycle however
    // many targets answered.
    if (answers_in_cycle(w.targets) > 0)
        sleep_seconds(1);
    if (w.targets.size() > 1)
        note_target_answers(w);
}
}  // namespace

long long next_try_due(int timeout_seconds, int tries, int tries_sent)
{
    if (tries_sent >= tries || tries <= 0)
        return -1;
    return static_cast<long long>(tries_sent) * timeout_seconds * microseconds_per_second / tries;
}

bool reply_answers_try(uint16_t first_sequence, int tries_sent, uint16_t sequence)
{
    // The tries of a cycle carry first_sequence, first_sequence + 1, ...;
    // the difference wraps with the 16-bit field.
    uint16_t try_index = static_cast<uint16_t>(sequence - first_sequence);
    return try_index < tries_sent;
}

int match_reply(const unsigned char* packet, int length, int family, const struct sockaddr_storage& source,
                uint16_t identifier, uint16_t first_sequence, const std::vector<watch_target>& targets)
{
    int header_length = icmp_offset(family, packet, length);
    const unsigned char* icmp = packet + header_length;
    // ICMP header and the send time.
    if (length - header_length < echo_header_length + 8)
        return -1;
    if (icmp[0] != (family == AF_INET6 ? 129 : 0) || get_u16_msb_first(icmp + 4) != identifier)
        return -1;
    uint16_t sequence = get_u16_msb_first(icmp + 6);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const watch_target& t = targets[i];
        if (!t.answered && t.family == family && same_host(t.address, source))
            return reply_answers_try(first_sequence, t.tries, sequence) ? static_cast<int>(i) : -1;
    }
    return -1;
}

bool cycle_answered(const std::vector<watch_target>& targets, int reliability)
{
    return answers_in_cycle(targets) >= static_cast<std::size_t>(std::max(reliability, 0));
}

int wait_within_budget(int highest_fd, fd_set& watched, long long& budget_left, long long slice)
{
    slice = std::min(slice, budget_left);
    struct timeval timeout {};
    timeout.tv_sec = static_cast<time_t>(slice / microseconds_per_second);
    timeout.tv_usec = static_cast<suseconds_t>(slice % microseconds_per_second);
    long long started = monotonic_microseconds();
    int ready = wait_readable(highest_fd, watched, timeout);
    int wait_error = errno;
    long long waited = monotonic_microseconds() - started;
    budget_left = ready == 0 ? budget_left - slice : std::max(0LL, budget_left - waited);
    errno = wait_error;
    return ready;
}

int watch_cycle(watchdog_state& w, bool first_cycle, int& highest_fd)
{
    const watchdog_settings& settings = w.settings;
    const bool plain = plain_cycle(w);
    sleep_seconds(first_cycle ? settings.startup_delay : settings.interval);
    start_cycle(w);
    int tries_sent = 1;

    // All waits of a cycle share one budget, kept on the monotonic clock;
    // the plain cycle's pause after a reply happens outside the waits and
    // costs the budget nothing.
    const long long budget = static_cast<long long>(settings.timeout) * microseconds_per_second;
    long long budget_left = budget;
    bool spent = false;
    fd_set watched;
    watched_sockets(w, watched, highest_fd);
    while (plain ? w.event_count < 2 : !spent && answers_in_cycle(w.targets) < w.targets.size()) {
        // A wait lasts until the next try is due, at most what is left.
        long long slice = budget_left;
        if (!plain) {
            long long elapsed = budget - budget_left;
            long long due = next_try_due(settings.timeout, settings.tries, tries_sent);
            if (due >= 0 && due <= elapsed) {
                send_try(w);
                due = next_try_due(settings.timeout, settings.tries, ++tries_sent);
            }
            // A try overdue after a long read goes out after a wait that
            // only looks.
            if (due >= 0)
                slice = std::max(0LL, due - elapsed);
        }
        int ready = wait_within_budget(highest_fd, watched, budget_left, slice);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            close_watchdog(w);
            return -1;
        }
        spent = ready == 0 && budget_left == 0;
        if (plain) {
            if (ready == 0) {
                if (w.event_count == 1 && w.reply_flag == -1)
                    write_timed_out(w);
                ++w.event_count;
            } else if (ready == 1 && w.socket_fd != -1 && FD_ISSET(w.socket_fd, &watched)) {
                receive_reply(w);
            }
        } else if (ready > 0) {
            if (w.socket_fd != -1 && FD_ISSET(w.socket_fd, &watched))
                receive_target_reply(w, w.socket_fd, w.family);
            if (w.second_socket_fd != -1 && FD_ISSET(w.second_socket_fd, &watched))
                receive_target_reply(w, w.second_socket_fd, other_family(w.family));
        }
        // A wait leaves in the set only what it found readable: nothing
        // after a timeout, which is how the plain cycle's later waits end
        // at once.
        if (!spent)
            watched_sockets(w, watched, highest_fd);
    }
    finish_cycle(w);
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
