// The watchdog's loop: one cycle after another, counting the unanswered
// ones, and the reboot when they reach the failure count.
#include "watchdog.h"

#include "commands.h"
#include "paths.h"
#include "run_log.h"
#include "system.h"
#include "system_io.h"
#include "text.h"


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
