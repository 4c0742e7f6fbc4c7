// The watchdog's loop: one cycle after another, counting the unanswered
// ones, and the reboot when they reach the failure count. With an interface
// to restart, the first time they reach it since an answered cycle brings
// the uplink's interface up again instead, and the count starts over.
#include "watchdog.h"

#include "commands.h"
#include "paths.h"
#include "run_log.h"
#include "system.h"
#include "system_io.h"
#include "text.h"

namespace {
// A restart writes nothing to flash: only the run log line, then ifup.
void restart_interface(watchdog_state& w)
{
    const std::string& name = w.settings.restart_interface;
    std::string stamp;
    time_stamp(stamp);
    append_line(log_line(stamp, "Restarting interface " + name), paths::pingwdog_log);
    command_batch batch;
    interface_up(batch, name);
    run_batch(batch);
    w.interface_restarted = true;
    // The failure count starts over.
    w.answered_mark = w.sent_mark;
}
}  // namespace

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
        if (w.sent_mark == w.answered_mark)
            w.interface_restarted = false;
        if (!reboot_due(w, failure_count))
            continue;
        if (!w.settings.restart_interface.empty() && !w.interface_restarted) {
            restart_interface(w);
            // As at start: the uplink gets the start-up delay, in place of
            // the interval, to come back.
            first_cycle = true;
        } else if (!reboot_limit_reached(w)) {
            // With the reboot limit reached the watchdog goes on watching;
            // the difference grows past the failure count until a reply.
            reboot_sequence(w);
            return 0;
        }
    }
}
