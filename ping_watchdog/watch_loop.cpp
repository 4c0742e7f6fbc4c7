// The watchdog's cycles: sleep, send, wait for the reply, count the
// unanswered requests, and reboot when they reach the failure count.
#include "watchdog.h"

#include "commands.h"
#include "paths.h"
#include "run_log.h"
#include "system.h"
#include "system_io.h"
#include "text.h"

#include <algorithm>
#include <cerrno>

int wait_within_budget(int highest_fd, fd_set& watched, long long& budget_left)
{
    struct timeval timeout {};
    timeout.tv_sec = static_cast<time_t>(budget_left / 1000000);
    timeout.tv_usec = static_cast<suseconds_t>(budget_left % 1000000);
    long long started = monotonic_microseconds();
    int ready = wait_readable(highest_fd, watched, timeout);
    int wait_error = errno;
    long long waited = monotonic_microseconds() - started;
    budget_left = ready == 0 ? 0 : std::max(0LL, budget_left - waited);
    errno = wait_error;
    return ready;
}

int watch_cycle(watchdog_state& w, bool first_cycle, int& highest_fd)
{
    if (w.targets.size() > 1)
        return watch_targets_cycle(w, first_cycle);
    const watchdog_settings& settings = w.settings;
    sleep_seconds(first_cycle ? settings.startup_delay : settings.interval);
    send_echo_request(w);
    w.reply_flag = -1;
    w.event_count = 0;

    fd_set watched;
    FD_ZERO(&watched);
    int fd = w.socket_fd;
    if (fd != -1 && fd < FD_SETSIZE) {
        FD_SET(fd, &watched);
        if (fd > highest_fd)
            highest_fd = fd;
    }
    // All waits of a cycle share one budget; after a timeout the set is
    // empty and the budget spent, so later waits of the cycle return at once.
    // The pause after an accepted reply happens outside the waits and costs
    // the budget nothing.
    long long budget_left = wait_budget_microseconds;
    while (w.event_count < 2) {
        int ready = wait_within_budget(highest_fd, watched, budget_left);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            close_watchdog(w);
            return -1;
        }
        if (ready == 0) {
            if (w.event_count == 1 && w.reply_flag == -1)
                write_timed_out(w);
            ++w.event_count;
        } else if (ready == 1 && fd != -1 && FD_ISSET(fd, &watched)) {
            receive_reply(w);
        }
    }
    return 0;
}

bool reboot_due(const watchdog_state& w, uint16_t failure_count)
{
    // With a failure count of 0 every answered cycle would match: a reboot
    // loop on a healthy device. 0 therefore means never.
    if (failure_count == 0)
        return false;
    int64_t unanswered = static_cast<int64_t>(w.sent_mark) - w.answered_mark;
    return unanswered == failure_count;
}

void reboot_sequence(watchdog_state& w)
{
    write_result_text(w, "It will be reboot  after 3 seconds!!!");
    std::string stamp;
    time_stamp(stamp);
    append_line(log_line(stamp, "Rebooted by ping watchdog") + ".[IP]=[" + w.settings.target_address + "]",
                paths::reboot_history);
    sleep_seconds(1);
    count_reboot(w);
    reboot_device();
    close_watchdog(w);
}

int watch_loop(watchdog_state& w, uint16_t failure_count)
{
    int highest_fd = -2;
    bool first_cycle = true;
    for (;;) {
        if (watch_cycle(w, first_cycle, highest_fd) != 0)
            return -1;
        first_cycle = false;
        // With the reboot limit reached the watchdog goes on watching; the
        // difference grows past the failure count until a reply.
        if (reboot_due(w, failure_count) && !reboot_limit_reached(w)) {
            reboot_sequence(w);
            return 0;
        }
    }
}
